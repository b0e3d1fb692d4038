#!/usr/bin/env bash
# Installs the Debian packages the builds, tests and tools need; skips what is there.
# Never wine32 or the i386 architecture: only the 64-bit Wine runs here; the
# 32-bit Wine lives in the emulated machine (qemu, debootstrap, e2fsprogs).
# python3-distutils: Debian's python3-unicorn imports it without depending on it.
# binutils-source: its tarball carries the zlib sources Brannic.dll is built from.
set -eu
pkgs="g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 xvfb xauth
      cmake make googletest python3 python3-pefile python3-unicorn python3-distutils liblnk-utils zlib1g-dev nettle-dev
      clang libclang-rt-14-dev lld llvm doxygen imagemagick git python3-pil fonts-urw-base35 fonts-dejavu-core
      qemu-system-x86 debootstrap e2fsprogs osslsigncode openssl binutils-source"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing
fi
