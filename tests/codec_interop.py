#!/usr/bin/python3
"""Packed files interoperate with an independent zlib both ways.

usage: codec_interop.py WINE-RUN PREFIX PACKCLI

PackFile (under Wine) packs files that Python's zlib inflates, and unpacks,
byte for byte, files that Python packed; hostile files are refused.
"""
import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

from tally import check, report


def dos(path):
    return "Z:" + path.replace("/", "\\")


def mixed(n, seed):
    rnd = random.Random(seed)
    words = [b"setup ", b"Quorvane ", b"\r\n", b"folder ", b"0042 "]
    out = bytearray()
    while len(out) < n:
        if rnd.random() < 0.2:
            out += bytes([rnd.randrange(256)])
        else:
            out += rnd.choice(words)
    return bytes(out[:n])


def main():
    wine, prefix, cli = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as d:
        sizes = [1, 2, 255, 300, 4096, 100000, 1 << 20]
        jobs, checks = [], []
        for n in sizes:
            data = mixed(n, n)
            plain = os.path.join(d, f"plain{n}")
            open(plain, "wb").write(data)
            # Ours packs, Python inflates.
            ours = os.path.join(d, f"ours{n}.pk")
            jobs.append(("1", plain, ours))
            checks.append(("pack", n, data, ours))
            # Python packs (at several levels), ours unpacks.
            for level in (1, 6, 9):
                theirs = os.path.join(d, f"theirs{n}_{level}.pk")
                open(theirs, "wb").write(struct.pack("<I", n) + zlib.compress(data, level))
                out = os.path.join(d, f"out{n}_{level}")
                jobs.append(("-1", theirs, out))
                checks.append(("unpack", n, data, out))
        stream = zlib.compress(mixed(5000, 9))
        hostile = {
            "len0": struct.pack("<I", 0) + stream,
            "len1": struct.pack("<I", 1) + stream,
            "len4294967295": struct.pack("<I", 4294967295) + stream,
            "smaller": struct.pack("<I", 4000) + stream,
            "larger": struct.pack("<I", 6000) + stream,
            "truncated": (struct.pack("<I", 5000) + stream)[:-7],
            "corrupt": struct.pack("<I", 5000) + stream[:40] + b"\xff\x00\xff" + stream[43:],
            "raw-deflate": struct.pack("<I", 5000) + zlib.compress(mixed(5000, 9))[2:-4],
        }
        for name, blob in hostile.items():
            src = os.path.join(d, name + ".pk")
            open(src, "wb").write(blob)
            out = os.path.join(d, name + ".out")
            jobs.append(("-1", src, out))
            checks.append(("hostile", name, None, out))

        args = [a for mode, s, t in jobs for a in (mode, dos(s), dos(t))]
        run = subprocess.run([wine, prefix, cli] + args, capture_output=True, text=True, timeout=300)
        results = [int(x) for x in run.stdout.split()]
        if run.returncode != 0 or len(results) != len(jobs):
            print("packcli failed:", run.returncode, run.stdout, run.stderr)
            check(False, "packcli ran every job")
            return report()
        for (kind, n, data, path), got in zip(checks, results):
            label = f"{kind} {n}"
            if kind == "pack":
                blob = open(path, "rb").read()
                ok = (got == len(blob) and blob[:4] == struct.pack("<I", n)
                      and zlib.decompress(blob[4:]) == data)
            elif kind == "unpack":
                ok = got == n and open(path, "rb").read() == data
            else:
                ok = got == 0 and not os.path.exists(path)
            check(ok, label)
    return report()


if __name__ == "__main__":
    sys.exit(main())
