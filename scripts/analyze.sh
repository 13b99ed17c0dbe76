#!/usr/bin/env bash
# Static analysis of the program's logic, platform/win32 and the simulated
# subset: clang-tidy (its checks in .clang-tidy) and cppcheck with all its
# checks, each once as the i686 product build sees the sources and once as the
# host build does. Any finding fails. Needs the windows and host presets
# configured (scripts/test.sh does that first); writes under build/analysis.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in clang-tidy cppcheck; do
  command -v "$tool" >/dev/null ||
    { echo "analyze: $tool is missing and scripts/setup.sh did not install it" >&2; exit 1; }
done
for db in build/windows/compile_commands.json build/host/compile_commands.json; do
  [ -e "$db" ] || { echo "analyze: no $db: configure the presets first (cmake --preset ...)" >&2; exit 1; }
done

product=(app/*.cpp removal/*.cpp platform/win32/*.cpp)
# The host build: the same, over the simulated subset.
host=("${product[@]}" platform/sim/*.cpp)

# clang parses the product build's commands but for two options only GCC has
# (both change code generation only).
mkdir -p build/analysis/windows
sed -e 's/ -malign-data=abi//' -e 's/ -fno-tree-loop-distribute-patterns//' \
  build/windows/compile_commands.json >build/analysis/windows/compile_commands.json

status=0
tidy() {  # build folder, files: one clang-tidy per file, one per core
  printf '%s\n' "${@:2}" | xargs -P "$(nproc)" -n 1 clang-tidy --quiet -p "$1" 2>/dev/null ||
    { echo "analyze: clang-tidy found the above (build $1)" >&2; status=1; }
}
tidy build/analysis/windows "${product[@]}"
tidy build/host "${host[@]}"

# cppcheck reads no system headers; its windows and C++ library configurations
# describe them instead, so their absence is no finding.
common=(--enable=all --inconclusive --inline-suppr --error-exitcode=1 -q --std=c++11
        --suppress=missingIncludeSystem -Iapp -Iremoval -Iplatform
        --template='{file}:{line}: {severity} ({id}): {message}')
# From cppcheck 2.11 on, every branch is followed only when asked for (else it
# says where it stopped).
[[ $(cppcheck --help) == *--check-level* ]] && common+=(--check-level=exhaustive)
cppcheck "${common[@]}" --platform=win32A --library=windows -D_WIN32 -DWIN32_LEAN_AND_MEAN \
  "${product[@]}" || { echo "analyze: cppcheck found the above (product build)" >&2; status=1; }
# unusedFunction is left out here alone: the simulator's own interface (Reset,
# FailCall, AddFile, ...) is called by the tests, which are not analysed. The
# product run above has every function's caller and keeps the check.
# constParameter too is left out for the simulator alone: it declares Windows's
# own signatures, whose pointers are not const (LPDWORD, LPMSG,
# LPSECURITY_ATTRIBUTES). cppcheck 2.11 renamed the check constParameterPointer;
# the name is the one this cppcheck knows, since a suppression that matches
# nothing is a finding too.
const_parameter=constParameter
[[ $(cppcheck --errorlist) == *'"constParameterPointer"'* ]] && const_parameter=constParameterPointer
cppcheck "${common[@]}" --platform=unix64 --suppress=unusedFunction --suppress="$const_parameter:platform/sim/*" \
  "${host[@]}" || { echo "analyze: cppcheck found the above (host build)" >&2; status=1; }

[ "$status" -eq 0 ] && echo "analyze: clang-tidy and cppcheck: no findings (product and host builds)"
exit "$status"
