#!/usr/bin/env bash
# A report, not a test: the Wine tests N times in a row on this machine's
# route (--emulated forces qemu), each with its wall time, how many steps hung
# and were made once more (winelab's "hung; ... once more" lines), and whether
# it passed. Every EVERY-th run (0: none) makes the template prefixes afresh
# first, as CI's first run on a new machine does. Needs the host and windows
# presets built (scripts/test.sh). Logs: build/e2e-runs/run-N.log.
# usage: bench/e2e_runs.sh [--emulated] [N [EVERY]]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --emulated ]; then export ZOVOVAR_WINE_EMULATED=1; shift; fi
runs=${1:-30} every=${2:-5}
logs=build/e2e-runs
rm -rf "$logs" && mkdir -p "$logs"
passed=0 restarts=0 total=0
for n in $(seq 1 "$runs"); do
  fresh=""
  if [ "$every" -gt 0 ] && [ $(( (n - 1) % every )) -eq 0 ]; then
    rm -rf build/wine-templates
    fresh=" (templates made afresh)"
  fi
  start=$(date +%s)
  if ctest --preset host -L e2e -V >"$logs/run-$n.log" 2>&1; then result=passed; passed=$((passed + 1))
  else result=FAILED; fi
  took=$(( $(date +%s) - start )) total=$((total + took))
  again=$(grep -c "hung; ending it and starting it once more" "$logs/run-$n.log" || true)
  restarts=$((restarts + again))
  echo "run $n: $result in ${took} s, $again made once more$fresh"
done
echo "e2e runs: $passed of $runs passed, $restarts steps made once more, $((total / runs)) s a run on average"
echo "$passed passed, $((runs - passed)) failed"
[ "$passed" -eq "$runs" ]
