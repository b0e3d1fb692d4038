#!/usr/bin/env bash
# Builds the product, lays out the distribution medium from the built-in
# sample product, and runs the setup under Wine.
#
# out/medium        the shipping medium: the i686 InstallQvn.exe and Brannic.dll
# out/medium-win64  the same medium with the x86_64 build, which runs here
# With a display the user clicks through the real pages; without one, the
# pages are walked by themselves under Xvfb and each is saved as a PNG.
set -eu
cd "$(dirname "$0")/.."
tools/build.sh native win32 win64

out=$PWD/out
rm -rf "$out"
mkdir -p "$out/product" "$out/medium" "$out/medium-win64" "$out/screenshots"
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
if [ -n "${DISPLAY:-}" ]; then
  echo "starting the setup; click through its pages"
  (cd "$out/medium-win64" && $run InstallQvn.exe)
else
  echo "no display: walking the pages under Xvfb"
  $run build/win64/bin/e2e_driver.exe install "$(dos "$out/medium-win64")" \
    "$(dos "$out/product/LicenseQvn.txt")" "$(dos "$out/product/ReadfirstQvn.txt")" \
    --shots "$(dos "$out/screenshots")"
  for bmp in "$out"/screenshots/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
  done
  echo "screenshots of the four pages: $out/screenshots"
fi
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
echo "installed into: $prefix/drive_c/Program Files/Ostrel"
ls -lR "$prefix/drive_c/Program Files/Ostrel" "$prefix/drive_c/Documents and Settings/All Users/Start Menu/Programs/Quorvane"
