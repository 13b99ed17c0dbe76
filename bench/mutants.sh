#!/usr/bin/env bash
# A report, not a test: one-line mutants of the product's sources against the
# host tests (bench/mutants.py says how). Fails while a mutant survives that
# bench/mutants_equivalent.txt does not name. Takes the committed tree.
# usage: bench/mutants.sh [--jobs N] [--only PATH_PART] [--timeout S]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
mkdir -p build
echo "$(date -u +%Y-%m-%d), $(nproc) cores, $(git rev-parse --short HEAD)"
exec python3 bench/mutants.py "$@"
