#!/usr/bin/env bash
# Installs what is missing, builds the three presets and runs every test:
# native (ASan/UBSan, fuzz smoke runs), win32 (the static checks of the
# shipped i686 files here, every runtime test in the emulated machine, which
# is built first when it is not cached) and win64 under Wine with one Xvfb
# for the whole run; then the main command's headless walk of the shipped
# setup in the emulated machine. The last line names every program that
# tests/wine-run.sh started again, here and in the emulated machine.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
# The emulated machine builds (mostly downloading and unpacking) while the
# presets compile; its builder answers with its folder, as it does for the
# main command, and guest_suites asks it again (waiting for the build).
mkdir -p build
tools/guest/build.sh >build/guest-dir 2>build/guest-build.log &
guest_build=$!
tools/build.sh native win64 win32
if wait $guest_build; then
  echo "emulated machine: $(cat build/guest-dir)"
else
  echo "the emulated machine could not be built:"
  tail -n 30 build/guest-build.log
fi
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

# wine-run.sh's logs of this run: the Windows builds' tests (ENVIRONMENT in
# tests/CMakeLists.txt), the guest's (brought back by suites.sh) and the
# main command's walk (there or here).
here_logs="build/win64/retries.log build/win32/retries.log build/walk-retries.log"
guest_logs="build/win32/guest/retries.log out/guest/retries.log"
rm -f $here_logs $guest_logs
export QVN_RETRY_LOG=$PWD/build/walk-retries.log

status=0
for preset in native win32 win64; do
  echo "== ctest $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
  if [ "$preset" = win32 ] && [ -f build/win32/guest/job.log ]; then
    echo "== the i686 tests in the emulated machine"
    cat build/win32/guest/job.log
  fi
done

# The main command as a newcomer without a display runs it: the shipped
# setup walked in the emulated machine (the walk checks every page's
# caption and texts), one picture of each page, the installed tree listed.
echo "== the main command's headless walk"
walked=0
if env -u DISPLAY tools/run-main.sh >build/run-main.log 2>&1; then
  for page in page1-welcome page2-license page3-information page4-finish; do
    [ -s "out/screenshots/$page.png" ] && walked=$((walked + 1))
  done
fi
if [ "$walked" = 4 ]; then
  sed -n '/^medium laid out/,$p' build/run-main.log
  echo "main command: the four pages photographed in out/screenshots"
else
  echo "main command FAILED ($walked of four pages photographed); its output ends:"
  tail -n 40 build/run-main.log
  status=1
fi

# "NAME, NAME (2 times)" of the programs in the given logs.
started_again() {
  cat "$@" 2>/dev/null | sed 's/:.*//' | sort | uniq -c |
    awk '{ printf "%s%s%s", n++ ? ", " : "", $2, ($1 > 1 ? " (" $1 " times)" : "") }'
}
here=$(started_again $here_logs) guest=$(started_again $guest_logs)
if [ -z "$here$guest" ]; then
  echo "retries: none"
else
  echo "retries: ${here:-none here}${guest:+ (in the emulated machine: $guest)}"
fi
exit $status
