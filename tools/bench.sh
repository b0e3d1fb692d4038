#!/usr/bin/env bash
# Size and speed report: one table of the shipped files' sizes, the codec
# against raw zlib, an install run against a plain copy, and the time to
# the first page. Figures are measured here, under 64-bit Wine for the
# timings; the sizes are those of the shipped i686 files. Then, in the
# emulated machine, the shipped i686 setup installs a product file of over
# 3 GiB: its time and peak working set against a plain copy of that file
# by Wine's own copy command in the same guest (QVN_BENCH_LARGE=0 skips it).
set -eu
cd "$(dirname "$0")/.."
tools/build.sh win32 win64 >/dev/null
work=$PWD/build/bench
rm -rf "$work"
mkdir -p "$work/run"
prefix=$work/prefix
run="$PWD/tests/wine-run.sh $prefix"
bin=build/win64/bin
cp $bin/InstallQvn.exe $bin/Brannic.dll $bin/iQvn.exe $bin/bench_install.exe $bin/bench_packfile.exe "$work/run/"

echo "measuring the codec (1 and 64 MiB) ..."
(cd "$work/run" && $run bench_packfile.exe 1 64) >"$work/codec.txt" 2>/dev/null
echo "measuring the install run and the first page ..."
(cd "$work/run" && $run bench_install.exe 7) >"$work/install.txt" 2>/dev/null
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true

: >"$work/large.txt"
if [ "${QVN_BENCH_LARGE:-1}" != 0 ] && guest=$(tools/guest/build.sh); then
  echo "measuring a 3 GiB product file in the emulated machine ..."
  share=$work/guest
  mkdir -p "$share/medium" "$share/product"
  tools/build.sh native >/dev/null
  build/native/bin/qvnpack sample "$share/sample" >/dev/null
  for f in "$share/sample"/*; do build/native/bin/qvnpack pack "$f" "$share/medium/${f##*/}" >/dev/null; done
  cp "$share/sample"/*.txt "$share/product/"
  cp build/win32/bin/InstallQvn.exe build/win32/bin/Brannic.dll build/win32/bin/iQvn.exe "$share/medium/"
  cp build/win32/bin/e2e_driver.exe tests/wine-run.sh tests/e2e_setup.py tests/tally.py "$share/"
  cat >"$share/job.sh" <<'JOB'
set -eu
mkdir -p /root/bench && cd /root/bench
cp -r /mnt/medium /mnt/product /mnt/e2e_driver.exe /mnt/wine-run.sh /mnt/e2e_setup.py /mnt/tally.py .
python3 -c 'import e2e_setup; e2e_setup.make_large("medium/KQ3.avi", 3072)'
export QVN_PREFIX_TEMPLATE=/root/prefix32
Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:1
# The peak working set of the program named $1 while it runs: VmHWM,
# sampled twice a second until the file $2 appears.
peak() {
  p=0
  while [ ! -e "$2" ]; do
    for pid in $(pgrep -x "$1"); do
      v=$(awk '/^VmHWM/ {print $2}' /proc/$pid/status 2>/dev/null || true)
      [ -n "$v" ] && [ "$v" -gt "$p" ] && p=$v
    done
    sleep 0.5
  done
  echo "$p"
}
now() { date +%s.%N; }
peak InstallQvn.exe done.setup >peak.setup &
t0=$(now)
./wine-run.sh /root/bench/prefix /root/bench/e2e_driver.exe install 'Z:\root\bench\medium' \
  'Z:\root\bench\product\LicenseQvn.txt' 'Z:\root\bench\product\ReadfirstQvn.txt' --run-seconds 3000 >driver.log || true
t1=$(now)
touch done.setup
installed="/root/bench/prefix/drive_c/Program Files/Ostrel/KQ/KQ3.avi"
plain=$(stat -c %s "$installed")
# The disk holds one such file at a time: the copy's source is a sparse
# file of the same size, so that, like the setup, it reads little and
# writes the whole size.
rm -f "$installed"
truncate -s "$plain" /root/bench/prefix/drive_c/source.avi
peak cmd.exe done.copy >peak.copy &
t2=$(now)
./wine-run.sh /root/bench/prefix cmd /c copy /b 'C:\source.avi' 'C:\copy.avi' >/dev/null
t3=$(now)
touch done.copy
wait
{
  echo "large file: $plain bytes plain, $(stat -c %s medium/KQ3.avi) packed"
  echo "large install run (s): $(python3 -c "print($t1 - $t0)")"
  echo "large plain copy (s): $(python3 -c "print($t3 - $t2)")"
  echo "large setup peak (KiB): $(cat peak.setup)"
  echo "large copy peak (KiB): $(cat peak.copy)"
} >/mnt/large.txt
grep -q '^install: [0-9]* passed, 0 failed' driver.log || { cat driver.log; exit 1; }
JOB
  if tools/guest/run.sh "$guest" "$share" 3600 >/dev/null; then cp "$share/large.txt" "$work/large.txt"
  else echo "the large-file run failed:"; tail -n 20 "$share/job.log"; fi
fi

/usr/bin/python3 - "$work" build/win32/bin/InstallQvn.exe build/win32/bin/Brannic.dll <<'PY'
import re, sys, pefile
work, exe, dll = sys.argv[1:4]
pe = pefile.PE(exe)
total = len(open(exe, "rb").read())
rsrc = sum(s.SizeOfRawData for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")
imports = sorted(e.dll.decode() for e in pe.DIRECTORY_ENTRY_IMPORT)
codec = open(f"{work}/codec.txt").read()
row = [l.split() for l in codec.splitlines() if l.strip().startswith("64 MiB")]
ratio = float(row[0][5]) if row else float("nan")
peak = float(row[0][9]) if row else float("nan")
own = float(row[0][8]) if row else float("nan")
inst = open(f"{work}/install.txt").read()
def num(key):
    m = re.search(key + r": ([0-9.]+)", inst)
    return float(m.group(1)) if m else float("nan")
rows = [
    ("InstallQvn.exe (i686), total", f"{total / 1024:.1f} KiB", ""),
    ("InstallQvn.exe without resources", f"{(total - rsrc) / 1024:.1f} KiB", "<= 32 KiB"),
    ("Brannic.dll (i686)", f"{len(open(dll, 'rb').read()) / 1024:.1f} KiB", "<= 56 KiB"),
    ("imported DLLs", ", ".join(imports), "Windows' own only"),
    ("PackFile unpack / uncompress, 64 MiB", f"{ratio:.2f}", "<= 1.3"),
    ("  PackFile / (uncompress + file write)", f"{own:.2f}", ""),
    ("peak memory / plain size, 64 MiB", f"{peak:.2f}", "<= 2.1"),
    ("install run (s)", f"{num('install run'):.3f}", ""),
    ("plain copy, same flushes (s)", f"{num('plain copy'):.3f}", ""),
    ("install run / plain copy", f"{num('install/copy'):.2f}", "<= 1.5"),
    ("  of which the two shortcuts (s)", f"{num('shortcuts'):.3f}", ""),
    ("  files and folders only / plain copy", f"{num('files/copy'):.2f}", "<= 1.5"),
    ("process start to first page (s)", f"{num('first page'):.3f}", ""),
]
large = open(f"{work}/large.txt").read()
def big(key):
    m = re.search(key + r": ([0-9.]+)", large)
    return float(m.group(1)) if m else float("nan")
if large:
    rows += [
        ("3 GiB file, i686 setup in the guest: install run (s)", f"{big('large install run'):.1f}", ""),
        ("  Wine's copy of the same file (s)", f"{big('large plain copy'):.1f}", ""),
        ("  setup's peak working set (MiB)", f"{big('large setup peak') / 1024:.1f}", "a few MiB"),
        ("  copy's peak working set (MiB)", f"{big('large copy peak') / 1024:.1f}", ""),
    ]
w = max(len(r[0]) for r in rows)
print(f"{'measure':{w}}  {'value':>38}  target")
for name, value, target in rows:
    print(f"{name:{w}}  {value:>38}  {target}")
print("\ncodec detail:\n" + codec)
if large:
    print("large file:\n" + large)
PY
