# First boot: the warm 32-bit prefix every later boot starts from, with
# windows unmanaged (no window manager: Wine would wait 2 s on every close)
# and the common Start Menu folder the setup expects.
set -eu
export WINEPREFIX=/root/prefix32 WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:1
# On a busy machine the emulated one is slow and wineboot can give up
# before the prefix is made: try again from where it stopped.
for try in 1 2 3; do
  wineboot -i && break
  echo "wineboot failed ($?), attempt $try" >&2
  wineserver -k 2>/dev/null || true
  sleep 2
done
wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f
wineserver -w
mkdir -p "$WINEPREFIX/drive_c/Documents and Settings/All Users/Start Menu/Programs"
test -f "$WINEPREFIX/system.reg"
du -sh "$WINEPREFIX"
