#!/usr/bin/python3
"""The medium tool: sample product, medium layout, packing both ways.

usage: medium_tool.py QVNPACK
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

from tally import check, report

PACKED = ["Ostrel.exe", "Ov.INI", "VELLSVR.exe", "KQSVR.exe", "OsGuide.pdf",
          "KQ1.avi", "KQ2.avi", "KQ3.avi", "LicenseQvn.txt", "ReadfirstQvn.txt"]



def run(*args):
    return subprocess.run(list(args), capture_output=True).returncode


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as d:
        product, medium = os.path.join(d, "product"), os.path.join(d, "medium")
        os.mkdir(product)
        os.mkdir(medium)
        check(run(tool, "sample", product) == 0, "sample written")
        for doc in ("LicenseQvn.txt", "ReadfirstQvn.txt"):
            text = open(os.path.join(product, doc), "rb").read()
            check(text and text.count(b"\n") == text.count(b"\r\n"), f"{doc} has CRLF line ends")
        brannic = os.path.join(d, "Brannic.dll")
        setup = os.path.join(d, "InstallQvn.exe")
        open(brannic, "wb").write(b"MZ brannic stand-in")
        open(setup, "wb").write(b"MZ setup stand-in")
        check(run(tool, "medium", product, medium, brannic, setup) == 0, "medium laid out")
        check(sorted(os.listdir(medium)) == sorted(PACKED + ["Brannic.dll", "InstallQvn.exe"]),
              "medium holds exactly the packed files and the plain copies")
        for name in PACKED:
            plain = open(os.path.join(product, name), "rb").read()
            blob = open(os.path.join(medium, name), "rb").read()
            check(blob[:4] == struct.pack("<I", len(plain)) and zlib.decompress(blob[4:]) == plain,
                  f"{name} packed and readable by zlib")
        check(open(os.path.join(medium, "Brannic.dll"), "rb").read() == b"MZ brannic stand-in",
              "Brannic.dll copied as it is")

        # Single files both ways, and with Python's zlib in between.
        src = os.path.join(d, "x")
        data = bytes(range(256)) * 50
        open(src, "wb").write(data)
        check(run(tool, "pack", src, src + ".pk") == 0, "pack")
        check(run(tool, "unpack", src + ".pk", src + ".out") == 0, "unpack")
        check(open(src + ".out", "rb").read() == data, "round trip")
        open(src + ".py", "wb").write(struct.pack("<I", len(data)) + zlib.compress(data, 9))
        check(run(tool, "unpack", src + ".py", src + ".out2") == 0
              and open(src + ".out2", "rb").read() == data, "unpacks what Python packed")
        open(src + ".bad", "wb").write(struct.pack("<I", 99) + b"garbage")
        check(run(tool, "unpack", src + ".bad", src + ".out3") == 1, "refuses a bad packed file")
        check(not os.path.exists(src + ".out3"), "writes nothing for a bad packed file")
        check(run(tool, "medium", os.path.join(d, "nothing"), medium, brannic) == 1,
              "a missing product folder fails")
        check(run(tool) == 2, "usage")
    return report()


if __name__ == "__main__":
    sys.exit(main())
