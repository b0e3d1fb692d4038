#!/usr/bin/env bash
# Builds the emulated 32-bit Windows runtime once and caches it outside the
# clone: a Debian 12 root with 32-bit Wine, as an ext4 image with its kernel
# and initrd, and a warm 32-bit Wine prefix made in a first boot.
# Its one line on standard output is the cache folder; everything else it
# or its tools print goes to standard error (mke2fs, for one, announces a
# new image file on standard output). The folder's name is a hash of this
# recipe (build.sh, init, prepare.sh), so a change to any of them builds anew.
# usage: tools/guest/build.sh           (QVN_GUEST_CACHE overrides /var/cache/qvn-guest)
set -eu
exec 3>&1 1>&2
answer() { echo "$1" >&3; exit 0; }
here=$(cd "$(dirname "$0")" && pwd)
cache_root=${QVN_GUEST_CACHE:-/var/cache/qvn-guest}
key=$(cat "$here/build.sh" "$here/init" "$here/prepare.sh" | sha256sum | cut -c1-16)
cache=$cache_root/$key
[ -f "$cache/ready" ] && answer "$cache"
log() { echo "guest: $*" >&2; }
mkdir -p "$cache_root"
exec 9>"$cache_root/build.lock"
flock 9
[ -f "$cache/ready" ] && answer "$cache"

# Only one recipe is kept: older guests are 2-3 GB each.
find "$cache_root" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} +
work=$cache.tmp
root=$work/root
rm -rf "$work"
mkdir -p "$root"
started=$(date +%s)

# The machine's own Debian source for bookworm (deb822 or one-line form);
# without one, debootstrap's default.
sources=$(grep -l '^Suites:.*\bbookworm\b' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 || true)
mirror=$( { [ -z "$sources" ] || awk -v RS= '/\nSuites:[^\n]*bookworm( |\n|$)/' "$sources" | sed -n 's/^URIs: *\([^ ]*\).*/\1/p'
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) bookworm .*/\2/p'; } | head -n1)
log "debootstrap from ${mirror:-its default source}"
debootstrap --variant=minbase bookworm "$root" $mirror >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log"; exit 1; }
# The guest keeps the machine's sources for its own packages.
[ -z "$sources" ] || { cp "$sources" "$root/etc/apt/sources.list.d/" && rm -f "$root/etc/apt/sources.list"; }

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
