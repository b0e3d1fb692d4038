#!/usr/bin/env bash
# Installs what is missing, builds the three presets and runs every test:
# native (ASan/UBSan, fuzz smoke runs), win64 under Wine with one Xvfb for
# the whole run, and win32 (the static checks of the shipped i686 files
# here, every runtime test in both emulated machines, Wine 8 and Wine 10,
# each built first when it is not cached); then the main command's headless
# walk of the shipped setup in the Wine 8 machine. It ends with each
# machine's ctest summary and one line naming every program that
# tests/wine-run.sh started again, here and in the emulated machines.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
# The emulated machines build, one after the other (mostly downloading and
# unpacking), while the presets compile and the native and win64 suites
# run; each builder answers with its folder, as it does for the main
# command, and the guest suites ask it again (waiting for its build).
mkdir -p build
{ tools/guest/build.sh bookworm >build/guest-dir && tools/guest/build.sh trixie >build/guest-trixie-dir; } \
  2>build/guest-build.log &
guest_build=$!
tools/build.sh native win64 win32
jobs=$(nproc)

# One display for every windowed test.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true; WINEPREFIX="$PWD/build/win64/wineprefix" wineserver -k 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  sleep 1
fi

# wine-run.sh's logs of this run: the Windows builds' tests (ENVIRONMENT in
# tests/CMakeLists.txt), the guest's (brought back by suites.sh) and the
# main command's walk (there or here).
here_logs="build/win64/retries.log build/win32/retries.log build/walk-retries.log"
guest_logs="build/win32/guest/retries.log build/win32/guest-trixie/retries.log out/guest/retries.log"
rm -f $here_logs $guest_logs
export QVN_RETRY_LOG=$PWD/build/walk-retries.log

status=0
for preset in native win64 win32; do
  if [ "$preset" = win32 ]; then
    wait $guest_build || { echo "the emulated machines could not be built:"; tail -n 30 build/guest-build.log; }
  fi
  echo "== ctest $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
done
for machine in guest guest-trixie; do
  if [ -f build/win32/$machine/job.log ]; then
    echo "== the i686 tests in the emulated machine ($machine)"
    cat build/win32/$machine/job.log
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
for machine in guest:"Wine 8 (bookworm)" guest-trixie:"Wine 10 (trixie)"; do
  summary=$(grep -E "tests passed|tests failed" "build/win32/${machine%%:*}/job.log" 2>/dev/null | tail -n 1)
  echo "emulated machine, ${machine#*:}: ${summary:-no result}"
done
here=$(started_again $here_logs) guest=$(started_again $guest_logs)
if [ -z "$here$guest" ]; then
  echo "retries: none"
else
  echo "retries: ${here:-none here}${guest:+ (in the emulated machines: $guest)}"
fi
exit $status
