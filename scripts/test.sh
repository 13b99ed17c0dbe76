#!/usr/bin/env bash
# Every test: installs what is missing, builds zovovar.exe and the host build,
# then runs the static analysis (scripts/analyze.sh), the host tests, the Wine
# end-to-end tests and the platform checks, and the host tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
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
# A failing stage does not hide the ones after it; the command fails at the end.
status=0
bash scripts/analyze.sh || status=1
cmake --build --preset host -j"$jobs"
ctest --preset host -j"$jobs" || status=1

cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize -j"$jobs"
ctest --preset host-sanitize -j"$jobs" || status=1
exit "$status"
