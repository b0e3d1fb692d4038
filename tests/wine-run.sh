#!/bin/sh
# Runs a Windows program under Wine in a prefix of the build's own: 64-bit
# Wine on this machine, 32-bit Wine in the emulated machine.
# usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# Without a display each run gets its own Xvfb. QVN_DLLOVERRIDES adds to the
# DLL overrides; winedbg is kept off so that a crash fails instead of hanging.
# With QVN_PREFIX_TEMPLATE set, a new prefix is a hard-linked copy of that
# one (Wine replaces its registry files rather than writing into them; a
# plain copy on another file system) instead of a new one made by wineboot.
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${QVN_DLLOVERRIDES:+$QVN_DLLOVERRIDES;}mscoree,mshtml=;winedbg.exe=d"
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  # Concurrent first runs wait for one prefix to be made.
  # Windows are left unmanaged: with no window manager on the display,
  # Wine would otherwise wait two seconds for one whenever a window closes.
  if [ -n "${QVN_PREFIX_TEMPLATE:-}" ]; then
    flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || { cp -al "$QVN_PREFIX_TEMPLATE/." "$WINEPREFIX/" 2>/dev/null || cp -a "$QVN_PREFIX_TEMPLATE/." "$WINEPREFIX/"; }'
  else
    flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1;
      wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1; wineserver -w; }'
  fi
fi
# The target system has the common Start Menu folder; a new prefix does not.
menu="$prefix/drive_c/Documents and Settings/All Users/Start Menu/Programs"
[ -d "$menu" ] || mkdir -p "$menu"
# A program started just as the prefix's server shuts down (a moment after
# its last client) fails before any of its code has run: it says "wine
# client error", or it ends without a word, even with exit code 0. Measured
# with a server that closes each connection at once: such a start ends
# after 10-20 ms here (150 ms with xvfb-run), 0.2 s in the emulated machine;
# a whole start of a small program takes 0.02-0.1 s warm and 0.5-2 s cold
# here, 0.6-3 s warm and 6-27 s cold there. Such a run, only when it ended
# within QVN_RETRY_MS of its start (default 2000; 5000 in the emulated
# machine), is started again, at most twice; each retry is written to
# standard error and appended to QVN_RETRY_LOG (default: retries.log beside
# the prefix). Output is kept in files to tell the cases apart and handed
# on afterwards.
log=${QVN_RETRY_LOG:-${prefix%/*}/retries.log}
within=${QVN_RETRY_MS:-2000}
out=$(mktemp) err=$(mktemp)
for attempt in 1 2 3; do
  start=$(date +%s%N)
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1024x768x24" wine "$@" >"$out" 2>"$err"
  else
    wine "$@" >"$out" 2>"$err"
  fi
  rc=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ $ms -lt "$within" ] && [ $attempt -lt 3 ] || break
  if [ $rc -ne 0 ] && grep -q "^wine client error" "$err"; then
    why="wine client error"
  elif [ ! -s "$out" ] && [ ! -s "$err" ]; then
    why="no output"
  else
    break
  fi
  line="${1##*/}: exit code $rc after $ms ms, $why; started again (attempt $((attempt + 1)))"
  echo "wine-run: $line" >&2
  echo "$line" >>"$log"
done
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
# Programs that say nothing (a client that tells its results by its exit
# code) still leave a trace of how they failed.
[ $rc -eq 0 ] || echo "wine-run: $1 ended with exit code $rc after $ms ms" >&2
exit $rc
