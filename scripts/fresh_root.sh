#!/usr/bin/env bash
# What a newcomer does, on a fresh machine of one Debian release: makes a
# minimal root of that release with debootstrap (main, updates and security,
# as an installed system has them, from the Debian mirror this machine's apt
# uses), clones the committed tree into it, and runs the README's two
# commands there, saying each one's exit code and time. Not part of the test
# command: it downloads about a gigabyte. Needs root.
#
# The root is entered as the root of its own mount and PID namespaces
# (pivot_root, not chroot, so that the emulated Wine route can still make its
# user namespace there). Every mount lives in those namespaces and ends with
# them; the root itself is removed at the end, or on Ctrl-C. The logs stay,
# and the last line says where.
#
# usage: scripts/fresh_root.sh RELEASE     (bookworm or trixie)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

say() { echo "fresh_root: $*" >&2; }
case "${1:-}" in
  bookworm | trixie) release=$1 ;;
  *) say "usage: scripts/fresh_root.sh bookworm|trixie (a Debian release, by name); got '${1:-}'"; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { say "needs root: debootstrap and the root's mounts do"; exit 1; }
for tool in unshare pivot_root git; do
  command -v "$tool" >/dev/null || { say "needs $tool"; exit 1; }
done

# The mirrors this machine's apt names (sources.list, or deb822 .sources).
uris=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
  grep -E '^[[:space:]]*(deb|URIs:)[[:space:]]' | grep -oE '(https?|ftp)://[^[:space:]]+' || true)
mirror=${MIRROR:-$(echo "$uris" | grep -E '/debian/?$' | head -n 1 || true)}
security=${SECURITY_MIRROR:-$(echo "$uris" | grep -E '/debian-security/?$' | head -n 1 || true)}
[ -n "$mirror" ] && [ -n "$security" ] ||
  { say "this machine's apt sources name no Debian mirror (…/debian and …/debian-security); set MIRROR and SECURITY_MIRROR"; exit 1; }

logs=/var/tmp/zovovar-fresh-logs/$release-$(date -u +%Y%m%dT%H%M%SZ)
mkdir -p "$logs"
work=$(mktemp -d "/var/tmp/zovovar-fresh-$release.XXXXXX")
root=$work/root
child=

cleanup() {
  trap - EXIT INT TERM
  # The step's unshare ends its namespaces' first process, and so every
  # process and mount of them, when it ends itself (--kill-child).
  [ -z "$child" ] || { kill -KILL "$child" 2>/dev/null || true; wait "$child" 2>/dev/null || true; }
  # The namespace's processes end a moment after: what one still writes then
  # is taken by the next try.
  for _ in 1 2 3 4 5; do
    rm -rf --one-file-system "$work" 2>/dev/null && break
    sleep 1
  done
  if [ -e "$work" ]; then say "could not remove $work; logs in $logs"; else say "root removed; logs in $logs"; fi
}
trap cleanup EXIT
trap 'say "interrupted"; exit 130' INT TERM

# A step runs in mount and PID namespaces of its own, so that no mount and no
# process of it outlives it, and in the background, so that Ctrl-C is
# answered at once.
step() {  # log name, command...
  unshare --mount --pid --fork --kill-child --mount-proc --propagation private "${@:2}" >"$logs/$1.log" 2>&1 &
  child=$!
  wait "$child"
  local code=$?
  child=
  return "$code"
}

if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  step host-apt sh -c 'apt-get update -q; DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap' ||
    { say "could not install debootstrap (see $logs/host-apt.log)"; exit 1; }
fi

say "making a $release root from $mirror (log: $logs/debootstrap.log)"
started=$(date +%s)
step debootstrap debootstrap --variant=minbase --include=git "$release" "$root" "$mirror" ||
  { say "debootstrap failed (see $logs/debootstrap.log)"; exit 1; }
rm -f "$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $release $release-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $release-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
git clone -q "$repo" "$root/root/zovovar"
say "root made in $(($(date +%s) - started)) s; tree $(git -C "$repo" rev-parse --short HEAD)"

# Runs a command as the newcomer's shell in the root, within a step's
# namespaces: the root pivoted to (a chroot would keep the emulated route
# from making its user namespace), with proc, sys and dev as a machine has
# them. Arguments: the root, the command.
enter='
    root=$1; shift
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root/.old"
    cd "$root"
    pivot_root . .old
    umount -l /.old
    rmdir /.old
    exec chroot . /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      ${ZOVOVAR_WINE_EMULATED:+ZOVOVAR_WINE_EMULATED=$ZOVOVAR_WINE_EMULATED} \
      /bin/bash -c "cd /root/zovovar && $*"'

status=0
for command in "bash scripts/demo.sh" "bash scripts/test.sh"; do
  name=$(basename "${command#bash }" .sh)
  started=$(date +%s)
  code=0
  step "$name" sh -ec "$enter" enter "$root" "$command" || code=$?
  say "$release: $command: exit $code in $(($(date +%s) - started)) s (log: $logs/$name.log)"
  [ "$code" -eq 0 ] || status=1
done
exit "$status"
