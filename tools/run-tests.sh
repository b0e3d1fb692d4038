#!/usr/bin/env bash
# Installs what is missing, builds the three presets and runs every test:
# native (ASan/UBSan, fuzz smoke runs), win32 (the static checks of the
# shipped i686 files here, every runtime test in the emulated machine, which
# is built first when it is not cached) and win64 under Wine with one Xvfb
# for the whole run.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
# The emulated machine builds (mostly downloading and unpacking) while the
# presets compile; guest_suites waits for it.
mkdir -p build
tools/guest/build.sh >build/guest-build.log 2>&1 &
guest_build=$!
tools/build.sh native win64 win32
wait $guest_build || { echo "the emulated machine could not be built:"; tail -n 30 build/guest-build.log; }
jobs=$(nproc)

# One display for every windowed test.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null; WINEPREFIX="$PWD/build/win64/wineprefix" wineserver -k 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  sleep 1
fi

status=0
for preset in native win32 win64; do
  echo "== ctest $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
  if [ "$preset" = win32 ] && [ -f build/win32/guest/job.log ]; then
    echo "== the i686 tests in the emulated machine"
    cat build/win32/guest/job.log
  fi
done
exit $status
