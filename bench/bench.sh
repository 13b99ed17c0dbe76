#!/usr/bin/env bash
# Builds what the benchmark needs and prints its two figures.
# usage: bench/bench.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
echo "$(date -u +%Y-%m-%d), $(nproc) cores, $(uname -m)"
exec /usr/bin/python3 bench/bench.py build/windows/zovovar.exe build/windows/minimal.exe \
     build/windows/minimal_imports.exe "$@"
