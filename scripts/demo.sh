#!/usr/bin/env bash
# The main job, end to end: installs what is missing, builds zovovar.exe, puts
# the camera's driver package on a throwaway Windows 98 prefix under
# build/demo, runs the uninstaller and reports what went and what stayed.
# Arguments go to demo.py: --silent, --screenshot FILE.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
exec /usr/bin/python3 scripts/demo.py build/windows/zovovar.exe build/demo "$@"
