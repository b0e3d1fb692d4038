#!/usr/bin/python3
"""Packs and unpacks one large file with the medium tool and prints the
time and peak memory of each direction.

usage: bench_qvnpack.py QVNPACK [MEGABYTES]     (default 1536, 1.5 GB)

The file mixes random bytes (a quarter) with repeated text, so that it packs
like a product of programs and media. It is written to a scratch folder in
the system's temporary folder (three times its size is needed there) and
removed afterwards. The unpacked copy is compared with the original.
"""
import filecmp
import os
import resource
import subprocess
import sys
import tempfile
import time


def timed(args):
    start = time.monotonic()
    proc = subprocess.Popen(args)
    _pid, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(args)}")
    return seconds, usage.ru_maxrss / 1024      # ru_maxrss is in KiB on Linux


def main():
    tool = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 1536
    with tempfile.TemporaryDirectory(prefix="qvnpack-bench-") as d:
        plain, packed, back = (os.path.join(d, n) for n in ("plain", "packed", "back"))
        text = b"".join(b"Quorvane clip frame %08d: Ostrel server data\r\n" % i for i in range(16384))
        with open(plain, "wb") as f:
            for _ in range(megabytes):
                block = os.urandom(256 * 1024) + text
                f.write(block[:1 << 20])
        size = os.path.getsize(plain)
        pack_s, pack_mb = timed([tool, "pack", plain, packed])
        unpack_s, unpack_mb = timed([tool, "unpack", packed, back])
        same = filecmp.cmp(plain, back, shallow=False)
        mib = size / (1 << 20)
        print(f"qvnpack on {mib:.0f} MiB ({size} bytes), packed to {os.path.getsize(packed) / (1 << 20):.0f} MiB")
        print(f"{'direction':<10}{'seconds':>10}{'MiB/s':>10}{'peak MiB':>10}")
        print(f"{'pack':<10}{pack_s:>10.1f}{mib / pack_s:>10.1f}{pack_mb:>10.1f}")
        print(f"{'unpack':<10}{unpack_s:>10.1f}{mib / unpack_s:>10.1f}{unpack_mb:>10.1f}")
        print(f"round trip {'identical' if same else 'DIFFERS'}; target: peak below 64 MiB "
              f"({'met' if max(pack_mb, unpack_mb) < 64 and same else 'NOT met'})")
        return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
