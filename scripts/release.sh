#!/usr/bin/env bash
# The release: installs what is missing, then builds zovovar.exe from this
# clean checkout and writes dist/ (scripts/release.py says what it holds).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
exec /usr/bin/python3 scripts/release.py "$@"
