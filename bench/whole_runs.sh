#!/usr/bin/env bash
# Whole runs compared on any number of drawn machines: the host build over the
# simulator against the real zovovar.exe under Wine, in one Wine session.
# Prints the machines, how many differ (each with both end states) and the time.
#   bash bench/whole_runs.sh [--emulated] [MACHINES] [SEED]     (300 and 1 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --emulated ]; then export ZOVOVAR_WINE_EMULATED=1; shift; fi
bash scripts/setup.sh >/dev/null
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
cmake --preset host >/dev/null && cmake --build --preset host --target contract >/dev/null
/usr/bin/python3 tests/contract/whole_runs.py build/host/tests/contract build/windows/contract.exe \
  build/windows/zovovar.exe build/whole-runs --machines "${1:-300}" --seed "${2:-1}"
