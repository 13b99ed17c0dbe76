#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the
# demonstration need and this machine lacks. Quick when all is there.
set -euo pipefail

# command that proves it -> package that brings it
needs=(
  "i686-w64-mingw32-g++:g++-mingw-w64-i686"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "cmake:cmake"
  "g++:g++"
  "make:make"
  "clang++:clang"
  "Xvfb:xvfb"
  "xauth:xauth"
  "xdotool:xdotool"
  "import:imagemagick"
  "/usr/bin/python3:python3"
)
files=(
  "/usr/include/gtest/gtest.h:libgtest-dev"
  "/usr/lib/i386-linux-gnu/wine/i386-windows/cmd.exe:wine32:i386"
  "/usr/lib/python3/dist-packages/pefile.py:python3-pefile"
  "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev"
)

missing=()
for pair in "${needs[@]}"; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
done
for pair in "${files[@]}"; do
  [ -e "${pair%%:*}" ] || missing+=("${pair#*:}")
done
command -v wine >/dev/null 2>&1 || missing+=(wine)

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
else
  SUDO=
fi

echo "setup: installing ${missing[*]}"
trap 'echo "setup: could not install ${missing[*]} from Debian'"'"'s packages (see apt-get above)" >&2' ERR
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" \
  >/tmp/zovovar-setup.log 2>&1 || { tail -20 /tmp/zovovar-setup.log >&2; false; }
echo "setup: done"
