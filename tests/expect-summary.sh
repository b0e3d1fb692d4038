#!/bin/sh
# Runs a test program (or its runner and the program) and passes only when
# it exits 0 and has printed its closing summary, a line that matches
# PATTERN (grep -E): a program that ends early with exit code 0, because a
# function under test ended the process or the run was killed with 0,
# fails. A failure stays one whatever the program printed.
# usage: expect-summary.sh PATTERN COMMAND [ARGS...]
pattern=$1
shift
out=$(mktemp)
"$@" >"$out" 2>&1
rc=$?
cat "$out"
if [ $rc -eq 0 ] && ! grep -Eq -- "$pattern" "$out"; then
  echo "expect-summary: exit code 0 but no closing summary (/$pattern/): $*"
  rc=1
fi
rm -f "$out"
exit $rc
