#!/usr/bin/env bash
# Every test: installs what is missing, builds zovovar.exe and the host build,
# then runs the host tests, the Wine end-to-end tests and the platform checks,
# and beside them the static analysis (scripts/analyze.sh) and the host tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer.
# --emulated runs the Wine tests through qemu-i386 even where i386 code runs
# natively (winelab/route.py).
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  --emulated) export ZOVOVAR_WINE_EMULATED=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--emulated]" >&2; exit 2 ;;
esac

bash scripts/setup.sh
jobs=$(nproc)

cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"

# The Wine tests mostly wait on Wine, one at a time: the analysis and the
# sanitizer build run beside them, at a lower priority, and each part's
# output is shown whole once all have ended. A failing part does not hide the
# others; the command fails at the end.
logs=build/test-logs
mkdir -p "$logs"
ctest --preset host -j"$jobs" >"$logs/host.txt" 2>&1 &
host=$!
trap 'kill "$host" 2>/dev/null || true' EXIT
status=0
(
  failed=0
  nice bash scripts/analyze.sh || failed=1
  cmake --preset host-sanitize >/dev/null && nice cmake --build --preset host-sanitize -j"$jobs" &&
    nice ctest --preset host-sanitize -j"$jobs" || failed=1
  exit "$failed"
) >"$logs/beside.txt" 2>&1 || status=1
wait "$host" || status=1
cat "$logs/host.txt" "$logs/beside.txt"
exit "$status"
