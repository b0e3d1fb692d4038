#!/usr/bin/env bash
# Runs every fuzz target (tests/fuzz/NAME.cpp) of the native build for
# SECONDS each, one after another, on a scratch copy of its seed corpus
# (tests/fuzz/corpus/NAME/, which stays as committed), and writes a short
# report: executions, coverage, corpus growth and findings per target.
#
# usage: tools/fuzz.sh [SECONDS]        (default 600)
# QVN_FUZZ_BUILD names the build folder (default build/native); it is
# configured with the native preset when it has not been yet.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${QVN_FUZZ_BUILD:-build/native}

targets=$(for f in tests/fuzz/*.cpp; do basename "$f" .cpp; done)
[ -f "$build/CMakeCache.txt" ] || cmake --preset native -B "$build" >/dev/null
# shellcheck disable=SC2046
cmake --build "$build" -j 2 --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done) >/dev/null

out="$build/fuzz-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
report="$out/report.txt"
{
  echo "Fuzz run $(date -u '+%Y-%m-%d %H:%M UTC'), ${seconds} s per target, $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
  printf '%-10s %12s %10s %8s %8s %14s %9s\n' target executions exec/s cov ft corpus findings
} >"$report"

status=0
for t in $targets; do
  work="$out/$t"
  mkdir -p "$work/corpus" "$work/findings"
  cp tests/fuzz/corpus/"$t"/* "$work/corpus/" 2>/dev/null || true
  seeds=$(ls "$work/corpus" | wc -l)
  echo "fuzzing $t for ${seconds} s ..."
  "$build/bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" >"$work/log.txt" 2>&1 || status=1
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log.txt")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log.txt")
  last=$(grep -a -E '^#[0-9]+' "$work/log.txt" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(ls "$work/corpus" | wc -l)
  findings=$(ls "$work/findings" | wc -l)
  printf '%-10s %12s %10s %8s %8s %14s %9s\n' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
    "$seeds -> $corpus" "$findings" >>"$report"
  for f in "$work/findings"/*; do
    [ -e "$f" ] && echo "  finding: $f (log: $work/log.txt)" >>"$report"
  done
done
cat "$report"
echo "report: $report"
exit $status
