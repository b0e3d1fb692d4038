#!/usr/bin/python3
"""The shipped files do not depend on where or when they are built.

usage: reproducible.py CMAKE SOURCE TOOLCHAIN BUILD_TYPE FILE...

Copies the source tree to a folder of another name, builds InstallQvn.exe,
Brannic.dll, iQvn.exe and InstallQvn.lib there (a fresh folder, another
time), and compares each FILE of the build under test byte for byte with
its namesake.
"""
import os
import shutil
import subprocess
import sys
import tempfile

from tally import check, report

SKIP = {".git", "build", "out", "corpus", "__pycache__"}


def main():
    cmake, source, toolchain, build_type = sys.argv[1:5]
    files = sys.argv[5:]
    with tempfile.TemporaryDirectory(prefix="qvn-repro-") as d:
        src, bld = os.path.join(d, "elsewhere-src"), os.path.join(d, "elsewhere-build")
        shutil.copytree(source, src, ignore=lambda _dir, names: [n for n in names if n in SKIP])
        toolchain = os.path.join(src, os.path.relpath(toolchain, source))
        env = dict(os.environ)
        env.pop("SOURCE_DATE_EPOCH", None)
        for cmd in ([cmake, "-S", src, "-B", bld, f"-DCMAKE_TOOLCHAIN_FILE={toolchain}",
                     f"-DCMAKE_BUILD_TYPE={build_type}"],
                    [cmake, "--build", bld, "-j2", "--target", "InstallQvn", "Brannic", "iQvn", "qel_msvclib"]):
            r = subprocess.run(cmd, capture_output=True, text=True, env=env)
            if not check(r.returncode == 0, " ".join(cmd)):
                print(r.stdout[-3000:], r.stderr[-3000:])
                return report()
        for path in files:
            name = os.path.basename(path)
            mine, other = open(path, "rb").read(), open(os.path.join(bld, "bin", name), "rb").read()
            same = mine == other
            check(same, f"{name} is byte for byte the same from another folder")
            if not same and len(mine) == len(other):
                diff = [hex(i) for i in range(len(mine)) if mine[i] != other[i]]
                print(f"  {name}: {len(diff)} bytes differ, first at {diff[:4]}")
    return report()


if __name__ == "__main__":
    sys.exit(main())
