#!/usr/bin/env bash
# Fuzzes both targets with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, each for SECONDS (default 60), and reports the
# executions and findings of each. New inputs go to build/fuzz/corpus, crashes
# to build/fuzz/findings; the seed corpus in tests/fuzz/corpus is only read.
# usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/setup.sh
out=build/fuzz
cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
      -DZOVOVAR_FUZZ=ON -DZOVOVAR_SANITIZE=ON -DZOVOVAR_E2E=OFF >/dev/null
cmake --build "$out" --target fuzz_command_line fuzz_removal -j"$(nproc)" >/dev/null

report="$out/report.txt"
echo "fuzzing $(date -u +%Y-%m-%dT%H:%MZ), ${seconds}s per target, $(nproc) cores" | tee "$report"
status=0
for target in command_line removal; do
  mkdir -p "$out/corpus/$target" "$out/findings"
  log="$out/$target.log"
  if "$out/tests/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$out/findings/$target-" "$out/corpus/$target" "tests/fuzz/corpus/$target" \
       >"$log" 2>&1; then :; else status=1; fi
  runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  found=$(find "$out/findings" -name "$target-*" | wc -l)
  echo "$target: ${runs:-?} executions, $found findings, corpus $(ls "$out/corpus/$target" | wc -l) inputs" | tee -a "$report"
done
[ "$status" -eq 0 ] || echo "a target failed: see $out/*.log and $out/findings" | tee -a "$report"
exit "$status"
