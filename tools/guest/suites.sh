#!/usr/bin/env bash
# Runs every test of the i686 build labelled "guest" in the emulated
# machine, in one boot: the build's programs and the test scripts are copied
# to the guest's own disk at the same paths (Wine reads PE files on the
# shared folder with pages missing), ctest runs there against the warm
# 32-bit prefix, and its output comes back as BUILD/guest/job.log, the
# programs that wine-run.sh started again as BUILD/guest/retries.log.
# With QVN_GUEST_FLAVOUR=trixie the machine is the Wine 10 one, and BUILD/guest
# is BUILD/guest-trixie.
# usage: suites.sh BUILD-DIR SOURCE-DIR [CTEST-ARGS...]
set -eu
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)
shift 2
here=$(cd "$(dirname "$0")" && pwd)
flavour=${QVN_GUEST_FLAVOUR:-bookworm}
guest=$("$here/build.sh" "$flavour")
share=$build/guest
[ "$flavour" = bookworm ] || share=$build/guest-$flavour
rm -rf "$share"
mkdir -p "$share"

# What the tests need: the programs, ctest's files and the test scripts.
(cd / && find "${build#/}/bin" "${src#/}/tests" -type f ! -name '*.a' ! -path '*/fuzz/*' -print
 cd / && find "${build#/}" -name CTestTestfile.cmake ! -path "${share#/}/*" -print) >"$share/files"
tar -C / -cf "$share/tree.tar" -T "$share/files"

quoted=""
for a in "$@"; do quoted="$quoted '$a'"; done
cat >"$share/job.sh" <<JOB
set -u
tar -xf /mnt/tree.tar -C /
# New prefixes start as hard-linked copies of the warm one.
export QVN_PREFIX_TEMPLATE=/root/prefix32
Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:1
# Programs start slower here: a failure within this many ms is a start that
# met the prefix's server shutting down.
export QVN_RETRY_MS=5000
cd '$build'
started=\$(date +%s)
ctest -L guest -j2 --output-on-failure --output-junit /mnt/ctest.xml$quoted
rc=\$?
echo "guest: ctest ran \$(( \$(date +%s) - started )) s"
cp retries.log /mnt/retries.log 2>/dev/null
again=\$(sed 's/:.*//' retries.log 2>/dev/null | sort -u | paste -sd ' ' -)
echo "guest: started again: \${again:-none}"
pkill -x wineserver; pkill -f '\\.exe'; sleep 1
exit \$rc
JOB
set +e
"$here/run.sh" "$guest" "$share" "${QVN_GUEST_SECONDS:-2700}"
rc=$?
set -e
cat "$share/job.log" 2>/dev/null
exit $rc
