#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the
# demonstration need and this machine lacks, then says how Wine's 32-bit
# programs run here (winelab/route.py): natively, or under qemu-i386 where the
# kernel runs 64-bit code only or ZOVOVAR_WINE_EMULATED=1 asks for it.
# Quick when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

# command that proves it -> package that brings it
needs=(
  "i686-w64-mingw32-g++:g++-mingw-w64-i686"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "cmake:cmake"
  "g++:g++"
  "make:make"
  "clang++:clang"
  "clang-tidy:clang-tidy"
  "cppcheck:cppcheck"
  "Xvfb:xvfb"
  "xauth:xauth"
  "xdotool:xdotool"
  "import:imagemagick"
  "/usr/bin/python3:python3"
  "mcopy:mtools"
  "xorriso:xorriso"
  "isoinfo:genisoimage"
  "7z:p7zip-full"
  "unzip:unzip"
  "strace:strace"
)
files=(
  "/usr/include/gtest/gtest.h:libgtest-dev"
  "/usr/lib/i386-linux-gnu/wine/i386-windows/cmd.exe:wine32:i386"
  "/usr/lib/wine/wine-preloader:wine32-preloader:i386"
  "/usr/lib/wine/wineserver64:wine64"
  "/usr/share/wine/fonts/marlett.ttf:fonts-wine"
  "/usr/sbin/mkfs.fat:dosfstools"
  "/usr/lib/python3/dist-packages/pefile.py:python3-pefile"
)

missing=()
for pair in "${needs[@]}"; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
done
for pair in "${files[@]}"; do
  [ -e "${pair%%:*}" ] || missing+=("${pair#*:}")
done
command -v wine >/dev/null 2>&1 || missing+=(wine)

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
log=/tmp/zovovar-setup.log
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
updated=

apt_install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@" >>"$log" 2>&1
}

install() {
  [ $# -gt 0 ] || return 0
  if [ -n "$SUDO" ] && ! command -v sudo >/dev/null; then
    echo "setup: need root (or sudo) to install: $*" >&2
    exit 1
  fi
  echo "setup: installing $*"
  : >"$log"
  if [[ " $* " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=
  fi
  if [ -z "$updated" ]; then
    # A mirror in the middle of a sync can serve an index that does not match
    # its Release file: once more, then go on with the lists there are.
    $SUDO apt-get update -q >>"$log" 2>&1 || $SUDO apt-get update -q >>"$log" 2>&1 ||
      echo "setup: some package lists did not download (twice); going on with those there are" >&2
    updated=1
  fi
  # Lists updated in part can offer a library at a security version whose
  # i386 twin they lack: then the release itself is the target.
  apt_install "$@" || { [ -n "$codename" ] && apt_install -t "$codename" "$@"; } ||
    { grep '^E:' "$log" | tail -3 >&2
      echo "setup: could not install $* from Debian's packages; check this machine's apt sources" \
        "and network (apt-get's words: $log), then run again" >&2
      exit 1; }
  echo "setup: done"
}

install "${missing[@]}"
# libFuzzer comes with the runtime of the clang installed, named after its
# major version: libclang-rt-14-dev on Debian 12, libclang-rt-19-dev on 13.
fuzz_probe='extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }'
fuzzer_links() {
  echo "$fuzz_probe" | clang++ -x c++ -fsanitize=fuzzer - -o /tmp/zovovar-fuzz-probe >/dev/null 2>&1
}
if ! fuzzer_links; then
  install "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
  fuzzer_links || { echo "setup: clang++ -fsanitize=fuzzer still does not link" >&2; exit 1; }
fi
rm -f /tmp/zovovar-fuzz-probe
# The locales from which Wine takes the double-byte ANSI code pages: 932
# (Japanese), 936 (Simplified Chinese), 949 (Korean), 950 (Traditional
# Chinese). Listed in /etc/locale.gen, as Debian keeps its locales, so that a
# later locale-gen on this machine makes them again instead of removing them.
locales=("ja_JP.UTF-8 UTF-8" "zh_CN.UTF-8 UTF-8" "ko_KR.UTF-8 UTF-8" "zh_TW.UTF-8 UTF-8")
[ -e /usr/sbin/locale-gen ] || install locales
for entry in "${locales[@]}"; do
  if ! grep -qx "$entry" /etc/locale.gen 2>/dev/null; then
    echo "$entry" | $SUDO tee -a /etc/locale.gen >/dev/null
    generate=1
  fi
  # locale -a spells ja_JP.UTF-8 as ja_JP.utf8
  fold=$(echo "${entry%% *}" | tr 'A-Z' 'a-z' | tr -d -)
  locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d - | grep -qx "$fold" || generate=1
done
[ -z "${generate:-}" ] || $SUDO /usr/sbin/locale-gen >/dev/null
# wine32 brings the i386 loader. Where it cannot run, or the emulated route is
# asked for, qemu's user-mode emulation runs it.
if [ "${ZOVOVAR_WINE_EMULATED:-}" = 1 ] || ! /lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; then
  [ -x /usr/bin/qemu-i386-static ] || install qemu-user-static
fi
exec /usr/bin/python3 winelab/route.py
