#!/usr/bin/env bash
# Two clean builds of zovovar.exe, in folders of different names, are
# byte-identical, and identical to the one under test.
# usage: reproducible.sh SOURCE_DIR WORK_DIR EXE
set -euo pipefail
src=$1 work=$2 exe=$3
rm -rf "$work"
for n in 1 second-build; do
  cmake -S "$src" -B "$work/$n" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/$n" >/dev/null
done
cmp "$work/1/zovovar.exe" "$work/second-build/zovovar.exe"
cmp "$work/1/zovovar.exe" "$exe"
echo "reproducible: $(sha256sum < "$exe" | cut -c1-16) ($(stat -c %s "$exe") bytes)"
