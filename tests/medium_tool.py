#!/usr/bin/python3
"""The medium tool: sample product, medium layout with SHA256SUMS and the
setup program's list, signing, their verification, packing both ways.

usage: medium_tool.py QVNPACK SETUP (a program that carries the empty list)
"""
import errno
import os
import pwd
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

from tally import check, report

PACKED = ["Ostrel.exe", "Ov.INI", "VELLSVR.exe", "KQSVR.exe", "OsGuide.pdf",
          "KQ1.avi", "KQ2.avi", "KQ3.avi", "LicenseQvn.txt", "ReadfirstQvn.txt"]
LISTED = PACKED + ["Brannic.dll", "iQvn.exe"]



def run(*args):
    return subprocess.run(list(args), capture_output=True).returncode


def run_within(*args):
    """Runs the tool with text output; a run that hangs is killed and fails (code None)."""
    try:
        return subprocess.run(list(args), capture_output=True, text=True, timeout=30)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(args, None, "", "timed out")


def list_offset(path):
    """The file offset of a setup program's list."""
    import pefile
    pe = pefile.PE(path)
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries if t.id == 10 else []:
            if n.id == 300:
                return pe.get_offset_from_rva(n.directory.entries[0].data.struct.OffsetToData)
    return None


def setup_list(path):
    """The names and digests in a setup program's list."""
    at = list_offset(path)
    if at is None:
        return None
    data = open(path, "rb").read()[at:]
    count = struct.unpack_from("<I", data, 8)[0]
    return {data[16 + 64 * i:48 + 64 * i].rstrip(b"\0").decode(): data[48 + 64 * i:80 + 64 * i].hex()
            for i in range(count)}


def with_list(src, dst, sums):
    """A copy of the setup program src whose list holds sums (name: hex digest)."""
    blob, at = bytearray(open(src, "rb").read()), list_offset(src)
    blob[at + 8:at + 16 + 64 * 16] = struct.pack("<II", len(sums), 0) + bytes(64 * 16)
    for i, (name, digest) in enumerate(sorted(sums.items())):
        blob[at + 16 + 64 * i:at + 80 + 64 * i] = name.encode().ljust(32, b"\0") + bytes.fromhex(digest)
    open(dst, "wb").write(blob)


def as_nobody(*args):
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] + list(args)


def sums_of(medium):
    return dict(reversed(l.split("  ")) for l in open(os.path.join(medium, "SHA256SUMS")).read().splitlines())


def resum(medium):
    """SHA256SUMS rewritten to match the medium as it now is."""
    names = sorted(n for n in os.listdir(medium) if n != "SHA256SUMS")
    out = subprocess.run(["sha256sum"] + names, cwd=medium, capture_output=True, text=True).stdout
    open(os.path.join(medium, "SHA256SUMS"), "w").write(out)


def tree(top):
    """Every name under top, with the bytes of each regular file."""
    return {os.path.join(p, n): open(os.path.join(p, n), "rb").read() if os.path.isfile(os.path.join(p, n)) else None
            for p, dirs, files in os.walk(top) for n in dirs + files}


def main():
    tool, standin = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as d:
        # Neither folder exists yet: the tool makes them.
        product, medium = os.path.join(d, "product"), os.path.join(d, "out", "medium")
        check(run(tool, "sample", product) == 0, "sample written")
        for doc in ("LicenseQvn.txt", "ReadfirstQvn.txt"):
            text = open(os.path.join(product, doc), "rb").read()
            check(text and text.count(b"\n") == text.count(b"\r\n"), f"{doc} has CRLF line ends")
        brannic = os.path.join(d, "Brannic.dll")
        setup = os.path.join(d, "InstallQvn.exe")
        iqvn = os.path.join(d, "iQvn.exe")
        open(brannic, "wb").write(b"MZ brannic stand-in")
        open(iqvn, "wb").write(b"MZ icon stand-in")
        open(setup, "wb").write(b"MZ setup stand-in")
        r = run_within(tool, "medium", product, os.path.join(d, "noroom"), brannic, setup)
        check(r.returncode == 1 and "no room for the medium's list" in r.stderr, "a setup without the list is refused")
        shutil.copy(standin, setup)
        check(run(tool, "medium", product, medium, brannic, setup, iqvn) == 0, "medium laid out")
        sums = sums_of(medium)
        check(setup_list(os.path.join(medium, "InstallQvn.exe")) == {n: sums[n] for n in LISTED},
              "the setup's list holds every packed file, Brannic.dll and iQvn.exe, as SHA256SUMS")
        check(setup_list(setup) == {}, "the input setup program is left as it was")
        check(sorted(os.listdir(medium)) == sorted(LISTED + ["InstallQvn.exe", "SHA256SUMS"]),
              "medium holds exactly the packed files, the plain copies and SHA256SUMS")
        for name in PACKED:
            plain = open(os.path.join(product, name), "rb").read()
            blob = open(os.path.join(medium, name), "rb").read()
            check(blob == struct.pack("<I", len(plain)) + zlib.compress(plain),
                  f"{name} packed as zlib's compress packs it, behind its length")
        sums = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=medium, capture_output=True, text=True)
        check(sums.returncode == 0 and sums.stdout.count(": OK") == len(LISTED) + 1,
              "sha256sum -c accepts SHA256SUMS for every file")
        again = os.path.join(d, "again")
        run(tool, "medium", product, again, brannic, setup, iqvn)
        check(open(os.path.join(again, "SHA256SUMS")).read() == open(os.path.join(medium, "SHA256SUMS")).read(),
              "two media laid out from the same files have the same SHA256SUMS")
        check(run(tool, "verify", medium) == 0, "verify accepts the medium")
        # Faults that verify must find, one at a time, each named.
        ostrel = os.path.join(again, "Ostrel.exe")
        good = open(ostrel, "rb").read()
        for fault, data in (("truncated", good[:-9]), ("corrupt", good[:40] + bytes([good[40] ^ 0x55]) + good[41:]),
                            ("longer header", struct.pack("<I", 24577) + good[4:])):
            open(ostrel, "wb").write(data)
            r = subprocess.run([tool, "verify", again], capture_output=True, text=True)
            check(r.returncode == 1 and "Ostrel.exe" in r.stderr, f"verify finds a {fault} packed file")
        open(ostrel, "wb").write(good)
        # A packed file swapped for another valid one, SHA256SUMS rewritten
        # to match: only the setup's list still knows.
        shutil.copy(os.path.join(again, "KQ3.avi"), os.path.join(again, "KQ2.avi"))
        resum(again)
        r = subprocess.run([tool, "verify", again], capture_output=True, text=True)
        check(r.returncode == 1 and "KQ2.avi: the setup program's list" in r.stderr, "verify holds the medium to the list")
        open(os.path.join(again, "Brannic.dll"), "ab").write(b"!")
        r = subprocess.run([tool, "verify", again], capture_output=True, text=True)
        check(r.returncode == 1 and "Brannic.dll" in r.stderr, "verify finds a copy that SHA256SUMS does not match")
        check(open(os.path.join(medium, "Brannic.dll"), "rb").read() == b"MZ brannic stand-in",
              "Brannic.dll copied as it is")

        # Signed with a throw-away certificate, by osslsigncode and by the
        # release engineer's own command (in a folder whose name needs quoting).
        cert, key = os.path.join(d, "cert.pem"), os.path.join(d, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=Test", "-addext", "extendedKeyUsage=codeSigning"],
                       capture_output=True, check=True)
        program_dll = os.path.join(d, "program.dll")
        shutil.copy(standin, program_dll)
        signed, other = os.path.join(d, "signed"), os.path.join(d, "it's signed")
        command = f"osslsigncode sign -certs {cert} -key {key} -h sha256 -in {{in}} -out {{out}}"
        check(run(tool, "medium", product, signed, program_dll, setup, iqvn, "--sign", cert, key) == 0 and
              run(tool, "medium", product, other, program_dll, setup, iqvn, "--sign-command", command) == 0,
              "signed media laid")
        for m in (signed, other):
            for program in ("InstallQvn.exe", "Brannic.dll"):
                check(run("osslsigncode", "verify", "-CAfile", cert, "-in", os.path.join(m, program)) == 0,
                      f"{program} signed in {m}")
            check(subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=m, capture_output=True).returncode
                  == 0, f"sha256sum -c accepts the signed medium {m}")
            check(setup_list(os.path.join(m, "InstallQvn.exe"))["Brannic.dll"] == sums_of(m)["Brannic.dll"],
                  "the list holds the signed Brannic.dll")
        check(run(tool, "verify", signed, "--ca", cert) == 0, "verify --ca accepts the signed medium")
        # A validly signed setup whose list vouches for too little.
        listed = sums_of(signed)
        for what, entries, said in (("an empty list", {}, "its list is empty"),
                                    ("a list that leaves out KQ3.avi",
                                     {n: listed[n] for n in LISTED if n != "KQ3.avi"}, "does not name KQ3.avi")):
            short = os.path.join(d, "short")
            shutil.copytree(signed, short)
            with_list(setup, os.path.join(d, "short.exe"), entries)
            os.remove(os.path.join(short, "InstallQvn.exe"))
            subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-in",
                            os.path.join(d, "short.exe"), "-out", os.path.join(short, "InstallQvn.exe")],
                           capture_output=True, check=True)
            resum(short)
            r = run_within(tool, "verify", short, "--ca", cert)
            check(r.returncode == 1 and said in r.stderr, f"verify --ca refuses {what}")
            shutil.rmtree(short)
        r = run_within(tool, "verify", medium, "--ca", cert)
        check(r.returncode == 1 and "InstallQvn.exe: no valid signature" in r.stderr, "verify --ca refuses an unsigned one")
        program = os.path.join(signed, "InstallQvn.exe")
        blob = bytearray(open(program, "rb").read())
        blob[1024] ^= 1
        open(program, "wb").write(blob)
        resum(signed)
        r = run_within(tool, "verify", signed, "--ca", cert)
        check(r.returncode == 1 and "InstallQvn.exe: no valid signature" in r.stderr,
              "verify --ca refuses a changed byte in the signed setup")
        r = run_within(tool, "medium", product, os.path.join(d, "unsigned"), program_dll, setup, "--sign-command", "false")
        check(r.returncode == 1 and "Brannic.dll failed" in r.stderr and
              not os.path.exists(os.path.join(d, "unsigned", "Brannic.dll")), "a failing signer fails the medium")

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
        # Destructive cases: each fails with a message naming the fault, without
        # hanging, and leaves every file as it was and nothing half-written.
        keep, fifo, folder = (os.path.join(d, n) for n in ("keep", "fifo", "folder"))
        open(keep, "wb").write(data)
        os.mkfifo(fifo)
        os.mkdir(folder)
        nobrannic, dotdot = os.path.join(d, "nobrannic"), os.path.join(d, "dotdot")
        for m in (nobrannic, dotdot):
            shutil.copytree(medium, m)
        os.remove(os.path.join(nobrannic, "Brannic.dll"))
        sums = open(os.path.join(medium, "SHA256SUMS")).read()
        open(os.path.join(nobrannic, "SHA256SUMS"), "w").write(
            "".join(l for l in sums.splitlines(True) if "Brannic.dll" not in l))
        open(os.path.join(dotdot, "SHA256SUMS"), "a").write("0" * 64 + "  " + "../" * 40 + "dev/zero\n")
        # Medium folders the tool must not lay into: another user's, one that
        # others may write, a link, and one with a link planted at an output
        # name whose target must stay as it is.
        theirs, shared, linked, planted, victim = (os.path.join(d, n) for n in
                                                   ("theirs", "shared", "linked", "planted", "victim"))
        os.mkdir(theirs)
        os.chown(theirs, pwd.getpwnam("nobody").pw_uid, -1)
        os.mkdir(shared)
        os.chmod(shared, 0o777)
        os.symlink(folder, linked)
        open(victim, "wb").write(b"not to be overwritten")
        os.mkdir(planted)
        os.symlink(victim, os.path.join(planted, "SHA256SUMS"))
        before = tree(d)
        for what, args, named in (
                ("pack onto its own input", ["pack", keep, keep], keep),
                ("a failed unpack over a file", ["unpack", src + ".bad", keep], src + ".bad"),
                ("a medium laid into a folder that is not empty",
                 ["medium", product, medium, os.path.join(medium, "Brannic.dll")], "it is not empty"),
                ("a FIFO as input", ["medium", product, medium, fifo], "a FIFO"),
                ("a folder as input", ["medium", product, medium, brannic, folder], "a folder"),
                ("verify without Brannic.dll", ["verify", nobrannic], "Brannic.dll"),
                ("verify with a ../ name in SHA256SUMS", ["verify", dotdot], "../dev/zero"),
                ("a medium folder of another user", ["medium", product, theirs, brannic], "belongs to another user"),
                ("a medium folder others may write", ["medium", product, shared, brannic], "others may write"),
                ("a medium folder that is a link", ["medium", product, linked, brannic], "a symbolic link"),
                ("a link planted at an output name", ["medium", product, planted, brannic], "not empty")):
            r = run_within(tool, *args)
            check(r.returncode == 1 and named in r.stderr and tree(d) == before, f"{what} is refused")
        # A disk that fills up at close (a 128 KiB tmpfs, 128 KiB of noise packed).
        full = os.path.join(d, "full")
        os.mkdir(full)
        if run("mount", "-t", "tmpfs", "-o", "size=128k", "tmpfs", full) != 0:
            print("skipped: a full disk (cannot mount a tmpfs here)")
        else:
            try:
                open(keep, "wb").write(random.Random(1).randbytes(128 * 1024))
                r = run_within(tool, "pack", keep, os.path.join(full, "keep.pk"))
                check(r.returncode == 1 and os.strerror(errno.ENOSPC) in r.stderr and os.listdir(full) == [],
                      "a full disk is reported, nothing left on it")
            finally:
                run("umount", full)
        # What the 4-byte length field holds: one byte more (a sparse file)
        # is refused, said why; a file past 2 GiB unpacks.
        big = os.path.join(d, "big")
        with open(big, "wb") as f:
            f.truncate(1 << 32)
        r = subprocess.run([tool, "pack", big, big + ".pk"], capture_output=True, text=True)
        check(r.returncode == 1 and "too large for the packed format" in r.stderr and not os.path.exists(big + ".pk"),
              "a file larger than the length field holds is refused")
        z = zlib.compressobj()
        with open(big + ".pk", "wb") as f:
            f.write(struct.pack("<I", (1 << 31) + 1))
            for _ in range(32):
                f.write(z.compress(bytes(1 << 26)))
            f.write(z.compress(b"\0") + z.flush())
        check(run(tool, "unpack", big + ".pk", "/dev/null") == 0, "a file of 2 GiB and 1 byte unpacks")
        os.remove(big + ".pk")
        check(run(tool) == 2, "usage")

        # Another user who may write the folder the release is laid in (mode
        # 1777) makes the medium folder first, or makes it while the signer
        # runs, and swaps the program the signer reads for a foreign one: no
        # foreign program is signed.
        os.chmod(d, 0o711)
        release = os.path.join(d, "release")
        os.mkdir(release)
        os.chmod(release, 0o1777)
        foreign = os.path.join(d, "foreign.exe")
        blob = bytearray(open(setup, "rb").read())
        blob[0x4E:0x56] = b"FOREIGN!"
        open(foreign, "wb").write(blob)
        os.chmod(foreign, 0o644)
        swap = os.path.join(d, "swap.sh")
        open(swap, "w").write(f"""setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c \\
  'cp "$0" "$1.x" && mv -f "$1.x" "$1"; mkdir -m 777 "$2"' {foreign} "$1" "$3" 2>/dev/null
exec osslsigncode sign -certs {cert} -key {key} -h sha256 -in "$1" -out "$2"
""")
        first, during = os.path.join(release, "first"), os.path.join(release, "during")
        subprocess.run(as_nobody("mkdir", "-m", "777", first), check=True)
        for m in (first, during):
            r = run_within(tool, "medium", product, m, program_dll, setup, iqvn,
                           "--sign-command", f"sh {swap} {{in}} {{out}} {m}")
            check(r.returncode == 1 and "cannot lay the medium" in r.stderr and
                  not any(b"FOREIGN!" in open(os.path.join(m, n), "rb").read() for n in os.listdir(m)),
                  f"a watcher cannot get a foreign program signed in {os.path.basename(m)}")
    return report()


if __name__ == "__main__":
    sys.exit(main())
