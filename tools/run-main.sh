#!/usr/bin/env bash
# Builds the product, lays out the distribution medium from the built-in
# sample product, and runs the setup under Wine.
#
# out/medium        the shipping medium: the i686 InstallQvn.exe and Brannic.dll
# out/medium-win64  the same medium with the x86_64 build, which runs here
# With a display the user clicks through the real pages of the x86_64 build
# under 64-bit Wine; without one, the shipped i686 setup runs in the
# emulated machine (tools/guest), its pages walked by themselves and each
# saved as a PNG (the x86_64 build under Xvfb where that machine cannot be
# built).
set -eu
cd "$(dirname "$0")/.."
tools/build.sh native win32 win64

out=$PWD/out
rm -rf "$out"
# The medium tool makes each medium folder itself (it refuses one that
# exists and others may write).
mkdir -p "$out/product" "$out/screenshots"
build/native/bin/qvnpack sample "$out/product"
for arch in win32 win64; do
  medium=$out/medium
  [ "$arch" = win64 ] && medium=$out/medium-win64
  build/native/bin/qvnpack medium "$out/product" "$medium" \
    "build/$arch/bin/Brannic.dll" "build/$arch/bin/InstallQvn.exe" "build/$arch/bin/iQvn.exe"
done
echo "medium laid out in $out/medium (i686, shipping) and $out/medium-win64"

prefix=$out/prefix
run="$PWD/tests/wine-run.sh $prefix"
dos() { echo "Z:$1" | tr / '\\'; }
shots_to_png() {
  for bmp in "$out"/screenshots/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
  done
  echo "screenshots of the four pages: $out/screenshots"
}
list_installed() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  echo "installed into: $prefix/drive_c/Program Files/Ostrel"
  ls -lR "$prefix/drive_c/Program Files/Ostrel" "$prefix/drive_c/Documents and Settings/All Users/Start Menu/Programs/Quorvane"
}

if [ -n "${DISPLAY:-}" ]; then
  # The x86_64 build runs on this machine's 64-bit Wine, on this display.
  echo "starting the setup; click through its pages"
  (cd "$out/medium-win64" && $run InstallQvn.exe)
  list_installed
elif guest=$(tools/guest/build.sh); then
  # The shipped i686 setup, in the emulated machine's 32-bit Wine: its
  # pages walked and photographed, then what it installed listed.
  echo "no display: walking the pages of the i686 setup in the emulated machine"
  share=$out/guest
  mkdir -p "$share"
  rm -f "$share/retries.log"
  tar -C "$out" -cf "$share/medium.tar" medium product/LicenseQvn.txt product/ReadfirstQvn.txt
  cp tests/wine-run.sh build/win32/bin/e2e_driver.exe "$share/"
  cat >"$share/job.sh" <<'JOB'
set -eu
mkdir -p /root/run && cd /root/run
tar -xf /mnt/medium.tar
cp /mnt/wine-run.sh /mnt/e2e_driver.exe .
export QVN_PREFIX_TEMPLATE=/root/prefix32
export QVN_RETRY_LOG=/mnt/retries.log
Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:1
mkdir -p shots
./wine-run.sh /root/run/prefix /root/run/e2e_driver.exe install 'Z:\root\run\medium' \
  'Z:\root\run\product\LicenseQvn.txt' 'Z:\root\run\product\ReadfirstQvn.txt' --shots 'Z:\root\run\shots'
WINEPREFIX=/root/run/prefix wineserver -w
mkdir -p /mnt/screenshots && cp shots/* /mnt/screenshots/
cd "/root/run/prefix/drive_c" && ls -lR "Program Files/Ostrel" "Documents and Settings/All Users/Start Menu/Programs/Quorvane" >/mnt/installed.txt
JOB
  tools/guest/run.sh "$guest" "$share" 900 || { cat "$share/job.log"; exit 1; }
  mv "$share"/screenshots/* "$out/screenshots/"
  shots_to_png
  echo "installed (in the emulated machine) under C:\\:"
  cat "$share/installed.txt"
else
  echo "the emulated machine could not be built: walking the x86_64 setup under 64-bit Wine and Xvfb"
  $run build/win64/bin/e2e_driver.exe install "$(dos "$out/medium-win64")" \
    "$(dos "$out/product/LicenseQvn.txt")" "$(dos "$out/product/ReadfirstQvn.txt")" \
    --shots "$(dos "$out/screenshots")"
  shots_to_png
  list_installed
fi
