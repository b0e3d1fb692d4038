#!/usr/bin/python3
"""End to end: the real InstallQvn.exe under Wine, driven like a user.

usage: e2e_setup.py WINE-RUN BUILD-DIR BIN-DIR [SHOTS-DIR]

Makes a test product and its medium (packed with PackFile itself, the setup
program's list left empty, as another tool lays a medium), takes the
release medium the build laid with the medium tool (list filled, both
programs signed), runs the page driver
through each scenario in a prefix of its own, then checks what landed on
disk: every file byte for byte, the empty server folder, no document copy
left in the temporary folder, and both shortcuts read by an independent
reader (lnkinfo).
"""
import ctypes
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import zlib

import tally

PLAN = [("Ostrel.exe", ""), ("Ov.INI", ""), ("VELLSVR.exe", ""), ("KQSVR.exe", ""),
        ("OsGuide.pdf", ""), ("KQ1.avi", "KQ"), ("KQ2.avi", "KQ"), ("KQ3.avi", "KQ")]
DOCS = ["LicenseQvn.txt", "ReadfirstQvn.txt"]

def check(cond, what):
    """A shared check that also says at once what failed: the runs are long."""
    if not tally.check(cond, what):
        print("FAILED:", what, flush=True)


def dos(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def make_product(folder):
    rnd = random.Random(7)
    os.makedirs(folder)
    for i, (name, _) in enumerate(PLAN):
        size = [30000, 120, 9000, 7000, 2500, 40000, 25000, 16000][i]
        data = bytes(rnd.choice(b"ABCDEFGH\x00\xff") if rnd.random() < 0.7 else rnd.randrange(256)
                     for _ in range(size))
        open(os.path.join(folder, name), "wb").write(data)
    open(os.path.join(folder, "LicenseQvn.txt"), "wb").write(
        b"LICENSE AGREEMENT\r\n\r\n" + b"".join(b"%d. Term number %d of the agreement.\r\n" % (i, i)
                                                for i in range(1, 40)))
    open(os.path.join(folder, "ReadfirstQvn.txt"), "wb").write(
        b"Thank you for installing.\r\nStart it from the Start Menu.")


LARGE_ZEROS = 2050  # MiB of zeros between the head and the tail


def make_large(path, zero_mib=LARGE_ZEROS):
    """A packed file of 64 KiB of random bytes, zero_mib MiB of zeros and
    1 MiB of random bytes (by default 2 GiB + 1 MiB + 64 KiB plain; the
    benchmark makes one of over 3 GiB), made in moments: after a
    full flush, deflate codes every further MiB of zeros the same, and the
    zeros' Adler-32 is reckoned (they leave its sum a alone and add a to b
    once each)."""
    rnd = random.Random(11)
    head, tail = rnd.randbytes(65536), rnd.randbytes(1 << 20)
    zeros = bytes(1 << 20)
    raw = zlib.compressobj(9, zlib.DEFLATED, -15)
    first = raw.compress(head) + raw.flush(zlib.Z_FULL_FLUSH)
    mib = raw.compress(zeros) + raw.flush(zlib.Z_FULL_FLUSH)
    assert raw.compress(zeros) + raw.flush(zlib.Z_FULL_FLUSH) == mib
    last = raw.compress(tail) + raw.flush(zlib.Z_FINISH)
    adler = zlib.adler32(head)
    a, b = adler & 0xFFFF, adler >> 16
    b = (b + zero_mib * (1 << 20) * a) % 65521
    adler = zlib.adler32(tail, (b << 16) | a)
    length = len(head) + zero_mib * len(zeros) + len(tail)
    with open(path, "wb") as f:
        f.write(struct.pack("<I", length) + b"\x78\xda" + first + mib)
        for _ in range(zero_mib - 1):
            f.write(mib)
        f.write(last + struct.pack(">I", adler))
    return head, tail, length


def check_large(path, head, tail, length):
    whole = os.path.isfile(path) and os.path.getsize(path) == length
    if whole:
        zeros = bytes(1 << 20)
        with open(path, "rb") as f:
            whole = f.read(len(head)) == head
            for _ in range(LARGE_ZEROS):
                whole = whole and f.read(len(zeros)) == zeros
            whole = whole and f.read() == tail
    check(whole, f"a file of {length} bytes installed byte for byte")
    if os.path.exists(path):
        os.remove(path)


def finished(out, scenario):
    """The driver passed: exit code 0 after its own closing summary (a run
    that ends early with 0 fails)."""
    return out.returncode == 0 and re.search(rf"^{re.escape(scenario)}: \d+ passed, 0 failed", out.stdout, re.M)


class Setup:
    def __init__(self, wine, build, bindir):
        self.wine, self.bindir = wine, bindir
        self.root = os.path.join(build, "e2e")
        self.prefix = os.path.join(self.root, "prefix")
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.drive = os.path.join(self.prefix, "drive_c")

    def run(self, *args, timeout=300, env=None):
        out = subprocess.run([self.wine, self.prefix] + list(args), capture_output=True, text=True,
                             timeout=timeout, errors="replace", env=env)
        if out.returncode != 0:
            # A crash of the program under test is told on Wine's standard error.
            print(out.stderr.strip()[-2000:], flush=True)
        return out

    def make_medium(self, product, medium):
        os.makedirs(medium)
        jobs = []
        for name in [p for p, _ in PLAN] + DOCS:
            jobs += ["1", dos(os.path.join(product, name)), dos(os.path.join(medium, name))]
        out = self.run(os.path.join(self.bindir, "packcli.exe"), *jobs)
        check(out.returncode == 0 and "0" not in out.stdout.split(), "medium packed by PackFile")
        for name in ("InstallQvn.exe", "Brannic.dll", "iQvn.exe"):
            shutil.copy(os.path.join(self.bindir, name), medium)

    def lay_listed_medium(self, product, medium):
        """The medium as the medium tool lays it: the setup program's list
        filled with the digest of every file it reads from there."""
        out = subprocess.run([os.path.join(self.bindir, "qvnpack"), "medium", product, medium] +
                             [os.path.join(self.bindir, n) for n in ("Brannic.dll", "InstallQvn.exe", "iQvn.exe")],
                             capture_output=True, text=True)
        check(out.returncode == 0, f"medium laid by the medium tool {out.stderr.strip()}")

    @property
    def install(self):
        return os.path.join(self.drive, "Program Files", "Ostrel")

    @property
    def menu(self):
        return os.path.join(self.drive, "Documents and Settings", "All Users", "Start Menu", "Programs",
                            "Quorvane")

    def clean(self):
        shutil.rmtree(self.install, ignore_errors=True)
        shutil.rmtree(self.menu, ignore_errors=True)

    def drive_pages(self, scenario, medium, product, shots=None, missing=None, license=None, held=None, run_seconds=None):
        license = license or os.path.join(product, "LicenseQvn.txt")
        args = [os.path.join(self.bindir, "e2e_driver.exe"), scenario, dos(medium), dos(license),
                dos(os.path.join(product, "ReadfirstQvn.txt"))]
        if shots:
            args += ["--shots", dos(shots)]
        if missing:
            args += ["--missing", ",".join(missing)]
        if held:
            args += ["--held", dos(held)]
        if run_seconds:
            args += ["--run-seconds", str(run_seconds)]
        out = self.run(*args, timeout=300 + (run_seconds or 0))
        print(out.stdout.strip(), flush=True)
        check(finished(out, scenario), f"{scenario}: every page as expected")


IN_OPEN = 0x20


class Watcher:
    """Watches a folder with inotify for the first open of a file called
    name; on it calls act() (if given), once. opened tells whether it came."""

    def __init__(self, folder, name, act=None):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, folder.encode(), IN_OPEN) < 0:
            raise OSError(ctypes.get_errno(), "inotify")
        self.name, self.act, self.opened, self.done = name.encode(), act, False, False
        self.thread = threading.Thread(target=self.loop, daemon=True)
        self.thread.start()

    def loop(self):
        import select
        while not self.done and not self.opened:
            if not select.select([self.fd], [], [], 0.2)[0]:
                continue
            data = os.read(self.fd, 65536)
            at = 0
            while at < len(data):
                _, mask, _, size = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + size].rstrip(b"\0")
                at += 16 + size
                if mask & IN_OPEN and name == self.name and not self.opened:
                    self.opened = True
                    if self.act:
                        self.act()

    def stop(self):
        self.done = True
        self.thread.join()
        os.close(self.fd)


def lnk(path):
    """What lnkinfo reads from a shortcut. Newer versions of it print each
    backslash doubled: a value is taken in the form the file itself holds
    (as ANSI or UTF-16 text)."""
    out = subprocess.run(["lnkinfo", path], capture_output=True, text=True).stdout
    raw = open(path, "rb").read()
    held = lambda v: any(v.encode(c, "replace") in raw for c in ("latin-1", "utf-16-le"))
    info = {}
    for line in out.splitlines():
        if ":" in line:
            key, value = line.split(":", 1)
            value = value.strip()
            single = value.replace("\\\\", "\\")
            info[key.strip()] = single if single != value and held(single) and not held(value) else value
    return info


def check_installed(s, product, brannic_from=None, missing=()):
    for name, sub in PLAN:
        path = os.path.join(s.install, sub, name)
        if name in missing:
            check(not os.path.exists(path), f"{name} not installed")
        else:
            check(os.path.isfile(path) and open(path, "rb").read() == open(os.path.join(product, name), "rb").read(),
                  f"{name} installed byte for byte")
    brannic = os.path.join(s.install, "Brannic.dll")
    check(os.path.isfile(brannic) and open(brannic, "rb").read()
          == open(brannic_from or os.path.join(s.bindir, "Brannic.dll"), "rb").read(), "Brannic.dll copied plain")
    vell = os.path.join(s.install, "Vell")
    check(os.path.isdir(vell) and not os.listdir(vell), "server folder exists and is empty")
    temp = os.path.join(s.drive, "windows", "temp")
    left = [n for n in os.listdir(temp) if n.lower() in (d.lower() for d in DOCS)] if os.path.isdir(temp) else []
    check(not left, "no document copy left in the temporary folder")
    for file, target in (("Ostrel.lnk", "Ostrel.exe"), ("Ostrel Guide.lnk", "OsGuide.pdf")):
        path = os.path.join(s.menu, file)
        check(os.path.isfile(path), f"shortcut {file} written")
        if not os.path.isfile(path):
            continue
        info = lnk(path)
        want = "C:\\Program Files\\Ostrel\\" + target
        check(info.get("Local path", "").lower() == want.lower(), f"{file} target {want} ({info.get('Local path')})")
        check(info.get("Working directory", "").lower() == "c:\\program files\\ostrel",
              f"{file} working folder ({info.get('Working directory')})")
        check(info.get("Icon location", "").lower() == want.lower(),
              f"{file} icon location ({info.get('Icon location')})")
        check(info.get("Icon index", "0") == "0", f"{file} icon index 0")


def main():
    wine, build, bindir = sys.argv[1:4]
    shots = sys.argv[4] if len(sys.argv) > 4 else None
    s = Setup(wine, build, bindir)
    product = os.path.join(s.root, "product")
    medium = os.path.join(s.root, "medium")
    make_product(product)
    s.make_medium(product, medium)

    # The whole installation, with No answered on every confirmation first.
    s.clean()
    if shots:
        os.makedirs(shots, exist_ok=True)
    s.drive_pages("install", medium, product, shots)
    check_installed(s, product)

    # A second run over the installed product replaces everything again,
    # from a release medium (laid by the medium tool, both programs signed);
    # its Brannic.dll cannot be changed while the setup holds it.
    release = os.path.join(s.root, "medium-signed")
    shutil.copytree(os.path.join(bindir, "signed", "medium"), release)
    signed = os.path.join(bindir, "signed", "product")
    s.drive_pages("install", release, signed, held=os.path.join(release, "Brannic.dll"))
    check_installed(s, signed, os.path.join(release, "Brannic.dll"))

    # Confirmed cancels end the process on each page.
    for n in (1, 2, 3):
        s.clean()
        s.drive_pages(f"cancel-{n}", medium, product)
        check(not os.path.exists(os.path.join(s.install, "Ostrel.exe")), f"cancel-{n} installs nothing")

    # KQ2.avi missing from the medium: the finish page, captioned
    # "Installation Incomplete", names it.
    partial = os.path.join(s.root, "medium-no-kq2")
    shutil.copytree(medium, partial)
    os.remove(os.path.join(partial, "KQ2.avi"))
    s.clean()
    s.drive_pages("install", partial, product, missing=["KQ2.avi"])
    check_installed(s, product, missing=("KQ2.avi",))

    # No licence document: an empty box, and Yes still leads on.
    nolicense = os.path.join(s.root, "medium-no-license")
    shutil.copytree(medium, nolicense)
    os.remove(os.path.join(nolicense, "LicenseQvn.txt"))
    s.clean()
    empty = os.path.join(s.root, "empty.txt")
    open(empty, "wb").close()
    s.drive_pages("install", nolicense, product, license=empty)
    check_installed(s, product)

    # A product file of over 2 GiB, unpacked in constant memory: distinct
    # bytes before and past the 2 GiB mark land where they belong.
    # The clip folder lies on the machine's disk: the build may lie in a
    # folder held in memory (the emulated machine's /tmp), which 2 GiB fill.
    large = os.path.join(s.root, "medium-large")
    shutil.copytree(medium, large)
    head, tail, length = make_large(os.path.join(large, "KQ3.avi"))
    s.clean()
    clips = tempfile.mkdtemp(prefix="qvn-e2e-", dir="/var/tmp")
    os.makedirs(s.install)
    os.symlink(clips, os.path.join(s.install, "KQ"))
    s.drive_pages("install", large, product, run_seconds=1200)
    check_large(os.path.join(clips, "KQ3.avi"), head, tail, length)
    shutil.rmtree(clips)
    s.clean()

    subprocess.run(["env", f"WINEPREFIX={s.prefix}", "wineserver", "-k"], capture_output=True)
    return tally.report()


if __name__ == "__main__":
    sys.exit(main())
