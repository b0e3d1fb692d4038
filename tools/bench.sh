#!/usr/bin/env bash
# Size and speed report: one table of the shipped files' sizes, the codec
# against raw zlib, an install run against a plain copy, and the time to
# the first page. Figures are measured here, under 64-bit Wine for the
# timings; the sizes are those of the shipped i686 files.
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
    ("InstallQvn.exe without resources", f"{(total - rsrc) / 1024:.1f} KiB", "<= 48 KiB"),
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
w = max(len(r[0]) for r in rows)
print(f"{'measure':{w}}  {'value':>38}  target")
for name, value, target in rows:
    print(f"{name:{w}}  {value:>38}  {target}")
print("\ncodec detail:\n" + codec)
PY
