#!/usr/bin/env bash
# Builds an emulated 32-bit Windows runtime once and caches it outside the
# clone: a Debian root with 32-bit Wine, as an ext4 image with its kernel
# and initrd, and a warm 32-bit Wine prefix made in a first boot. Two
# flavours, two Wine versions years apart: bookworm (Debian 12, Wine 8, the
# default) and trixie (Debian 13, Wine 10).
# Its one line on standard output is the cache folder; everything else it
# or its tools print goes to standard error (mke2fs, for one, announces a
# new image file on standard output). The folder's name is the flavour and
# a hash of the flavour and this recipe (build.sh, init, prepare.sh), so a
# change to any of them builds anew; one copy of each flavour is kept.
# usage: tools/guest/build.sh [bookworm|trixie]   (QVN_GUEST_CACHE overrides /var/cache/qvn-guest)
set -eu
exec 3>&1 1>&2
answer() { echo "$1" >&3; exit 0; }
flavour=${1:-bookworm}
case $flavour in
  bookworm | trixie) ;;
  *) echo "guest: no such flavour: $flavour (bookworm or trixie)" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
cache_root=${QVN_GUEST_CACHE:-/var/cache/qvn-guest}
key=$( { echo "$flavour"; cat "$here/build.sh" "$here/init" "$here/prepare.sh"; } | sha256sum | cut -c1-16)
cache=$cache_root/$flavour-$key
[ -f "$cache/ready" ] && answer "$cache"
log() { echo "guest: $*" >&2; }
mkdir -p "$cache_root"
exec 9>"$cache_root/$flavour.lock"
flock 9
[ -f "$cache/ready" ] && answer "$cache"

# One recipe of each flavour is kept (older guests are 2-3 GB each), and
# none from before guests had flavours.
find "$cache_root" -mindepth 1 -maxdepth 1 -type d \( -name "$flavour-*" -o ! -name "*-*" \) \
  ! -name "$flavour-$key" -exec rm -rf {} +
work=$cache.tmp
root=$work/root
rm -rf "$work"
mkdir -p "$root"
started=$(date +%s)

# The machine's own Debian archive (deb822 or one-line form: the entry of
# a release, not of its updates or security fixes); without one,
# debootstrap's default. A guest of the machine's own release keeps the
# machine's sources for its packages; another takes the same archive.
sources=$(grep -l '^Suites:.*\b\(bookworm\|trixie\)\b' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 || true)
mirror=$( { [ -z "$sources" ] || awk -v RS= '/\nSuites:[^\n]*(bookworm|trixie)( |\n|$)/' "$sources" | sed -n 's/^URIs: *\([^ ]*\).*/\1/p'
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) \(bookworm\|trixie\) .*/\2/p'; } | head -n1)
log "debootstrap $flavour from ${mirror:-its default source}"
debootstrap --variant=minbase "$flavour" "$root" $mirror >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log"; exit 1; }
if [ -n "$sources" ] && grep -q "^Suites:.*\b$flavour\b" "$sources"; then
  cp "$sources" "$root/etc/apt/sources.list.d/" && rm -f "$root/etc/apt/sources.list"
fi

# Services never start in the chroot.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
for d in proc sys dev dev/pts; do mount --bind "/$d" "$root/$d"; done
trap 'for d in dev/pts dev sys proc; do umount -l "$root/$d" 2>/dev/null; done' EXIT

# The 32-bit Wine, a display, and what the suites need inside: Python with
# pefile, lnkinfo, ctest. libglib2.0-0:i386's maintainer script cannot run
# its 32-bit helper in this chroot ("Exec format error"); Wine does not need
# what it would have made.
log "installing the kernel, 32-bit Wine and the test tools"
chroot "$root" /bin/sh -eu -c '
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends linux-image-amd64 initramfs-tools kmod
  apt-get install -y -qq --no-install-recommends wine wine32 wine64 xvfb xauth xfonts-base \
    python3 python3-pefile liblnk-utils cmake procps psmisc
  apt-get clean
  rm -rf /var/lib/apt/lists/*' >"$work/install.log" 2>&1 ||
  { tail -n 30 "$work/install.log"; exit 1; }
for d in dev/pts dev sys proc; do umount -l "$root/$d"; done
trap - EXIT

install -m 755 "$here/init" "$root/sbin/qvn-init"
cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
cp "$root"/boot/initrd.img-* "$work/initrd.img"
rm -rf "$root"/boot/*
log "making the disk image"
mke2fs -q -F -t ext4 -L qvnguest -d "$root" "$work/disk.img" 8G
rm -rf "$root"

# First boot, writing to the image: the warm 32-bit prefix.
log "first boot: creating the 32-bit Wine prefix"
mkdir -p "$work/share"
cp "$here/prepare.sh" "$work/share/job.sh"
"$here/run.sh" --writable "$work" "$work/share" 900
mv "$work" "$cache"
rm -rf "$cache/share"
touch "$cache/ready"
log "built in $(( $(date +%s) - started )) s: $cache"
answer "$cache"
