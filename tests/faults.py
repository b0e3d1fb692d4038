#!/usr/bin/python3
"""The real setup against damaged media and hostile systems.

usage: faults.py WINE-RUN BUILD-DIR BIN-DIR

Each case starts from a fresh copy of a clean prefix, damages the medium or
the system, walks the pages, and then holds the setup to account: the pages
came and went (no crash, no hang, the exit code the finish page calls for),
no document copy is left in
the temporary folder, nothing was written outside the target folders and the
temporary folder, and the finish page tells the truth: it claims success
(caption and text) only when everything is in place, otherwise names what is
not (the first names of a long list and how many more), and always shows the
medium's read-first text.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_setup as e2e  # noqa: E402
import tally  # noqa: E402

SUCCESS = "Setup has successfully installed Quorvane."
PARTIAL = "Setup could not install all of Quorvane. Not installed:"
CLOSING = "\r\nClick Finish to exit Setup.\r\n"


def snapshot(root):
    """Every file below root with its size and modification time, and every
    folder (a folder's own time changes whenever an entry is added to it)."""
    seen = {}
    for top, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(top, name)
            st = os.lstat(path)
            seen[os.path.relpath(path, root)] = "folder" if os.path.isdir(path) else (st.st_size, st.st_mtime_ns)
    return seen


# Where the setup may write, relative to drive_c (lower case).
ALLOWED = ("program files/ostrel",
           "documents and settings/all users/start menu/programs/quorvane",
           "windows/temp")


def allowed(rel):
    rel = rel.lower().replace(os.sep, "/")
    return any(rel == a or rel.startswith(a + "/") for a in ALLOWED)


class Case:
    def __init__(self, runner, name, listed=False):
        self.r, self.name = runner, name
        self.s = runner.setup_for(name)
        self.medium = os.path.join(self.s.root, "medium")
        shutil.copytree(runner.listed if listed else runner.medium, self.medium)
        self.license = os.path.join(runner.product, "LicenseQvn.txt")
        self.readme = os.path.join(runner.product, "ReadfirstQvn.txt")
        self.product = runner.product
        self.skip = None
        self.program = None  # another folder to start the setup program from
        self.out = None

    def medium_file(self, name):
        return os.path.join(self.medium, name)

    def pack_into_medium(self, plain):
        """Packs a plain file with PackFile into the medium, under its name."""
        subprocess.run([self.r.wine, self.s.prefix, os.path.join(self.r.bindir, "packcli.exe"), "1",
                        e2e.dos(plain), e2e.dos(self.medium_file(os.path.basename(plain)))],
                       capture_output=True)

    def no_documents(self):
        """The documents cannot be shown: both texts are expected empty."""
        empty = os.path.join(self.s.root, "empty.txt")
        open(empty, "wb").close()
        self.license = self.readme = empty


class Runner:
    def __init__(self, wine, build, bindir):
        self.wine, self.build, self.bindir = wine, build, bindir
        self.root = os.path.join(build, "faults")
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        # One clean prefix, copied for every case as hard links: Wine replaces
        # its registry files instead of writing into them.
        self.template = os.path.join(self.root, "template")
        base = e2e.Setup(wine, os.path.join(self.root, "base"), bindir)
        self.product = os.path.join(base.root, "product")
        self.medium = os.path.join(base.root, "medium")
        e2e.make_product(self.product)
        base.make_medium(self.product, self.medium)
        self.listed = os.path.join(base.root, "medium-listed")
        base.lay_listed_medium(self.product, self.listed)
        subprocess.run(["env", f"WINEPREFIX={base.prefix}", "wineserver", "-w"], capture_output=True)
        shutil.copytree(base.prefix, self.template, symlinks=True, copy_function=os.link)
        self.table = []

    def setup_for(self, name):
        s = e2e.Setup(self.wine, os.path.join(self.root, name), self.bindir)
        shutil.copytree(self.template, s.prefix, symlinks=True, copy_function=os.link)
        return s

    def run(self, case, runs=1, env=None):
        s = case.s
        before = snapshot(s.drive)
        finish = os.path.join(s.root, "finish.txt")
        for _ in range(runs):
            if os.path.exists(finish):
                os.remove(finish)
            program = ["--program", e2e.dos(case.program)] if case.program else []
            out = case.out = s.run(os.path.join(self.bindir, "e2e_driver.exe"), "install", e2e.dos(case.medium),
                                   e2e.dos(case.license), e2e.dos(case.readme), "--finish-out", e2e.dos(finish),
                                   *program, env=env)
            print(out.stdout.strip(), flush=True)
            e2e.check(e2e.finished(out, "install"), f"{case.name}: pages, texts and the exit code")
        after = snapshot(s.drive)
        outside = sorted(p for p, v in after.items() if before.get(p) != v and not allowed(p))
        e2e.check(not outside, f"{case.name}: nothing written outside the target and temporary folders {outside[:5]}")
        # Only what was there before may lie under a document's name, as it was.
        left = [p for p, v in after.items() if before.get(p) != v and
                os.path.basename(p).lower() in ("licenseqvn.txt", "readfirstqvn.txt")]
        e2e.check(not left, f"{case.name}: no document copy left in the temporary folder {left}")
        caption, _, text = open(finish, "rb").read().decode("latin-1").partition("\n") \
            if os.path.exists(finish) else (None, None, None)
        truth = actual_missing(s, self.product, self.bindir)
        claimed = claimed_missing(text)
        told = claimed is not None and set(claimed[0]) <= set(truth) and len(claimed[0]) + claimed[1] == len(truth)
        e2e.check(told, f"{case.name}: the finish page tells the truth (says {claimed}, is {truth})")
        e2e.check(caption == ("Installation Successful" if not truth else "Installation Incomplete"),
                  f"{case.name}: the finish caption tells the truth ({caption})")
        readme = open(case.readme, "rb").read()[:16384].split(b"\0")[0].decode("latin-1")
        e2e.check(text is not None and text.endswith(readme + CLOSING),
                  f"{case.name}: the finish page shows the medium's read-first text")
        self.table.append((case.name, "success" if not truth else "missing: " + ", ".join(truth)))
        subprocess.run(["env", f"WINEPREFIX={s.prefix}", "wineserver", "-k"], capture_output=True)


def claimed_missing(text):
    """What the finish text says is missing: the names it lists and how many
    more it counts; ([], 0) for success, None if unreadable."""
    if text is None:
        return None
    if text.startswith(SUCCESS + "\r\n"):
        return [], 0
    if not text.startswith(PARTIAL + "\r\n"):
        return None
    names, more = [], 0
    for line in text[len(PARTIAL) + 2:].split("\r\n"):
        if not line:
            break
        if line.startswith("and ") and line.endswith(" more"):
            more = int(line[4:-5])
        else:
            names.append(line)
    return sorted(names), more


def actual_missing(s, product, bindir):
    """What is really not in place, named as the setup names it."""
    missing = []
    folders = [("C:\\Program Files\\Ostrel", s.install),
               ("C:\\Program Files\\Ostrel\\Vell", os.path.join(s.install, "Vell")),
               ("C:\\Program Files\\Ostrel\\KQ", os.path.join(s.install, "KQ")),
               ("C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Quorvane", s.menu)]
    for name, path in folders:
        if not os.path.isdir(path):
            missing.append(name)
    for name, sub in e2e.PLAN:
        path = os.path.join(s.install, sub, name)
        want = open(os.path.join(product, name), "rb").read()
        if not os.path.isfile(path) or open(path, "rb").read() != want:
            missing.append(name)
    brannic = os.path.join(s.install, "Brannic.dll")
    if not os.path.isfile(brannic) or open(brannic, "rb").read() != \
            open(os.path.join(bindir, "Brannic.dll"), "rb").read():
        missing.append("Brannic.dll")
    # A shortcut is in place only with its target.
    for link, target in (("Ostrel.lnk", "Ostrel.exe"), ("Ostrel Guide.lnk", "OsGuide.pdf")):
        if not os.path.isfile(os.path.join(s.menu, link)) or target in missing:
            missing.append(link)
    return sorted(missing)


def packed_header(path, length):
    blob = open(path, "rb").read()
    open(path, "wb").write(struct.pack("<I", length) + blob[4:])


def main():
    wine, build, bindir = (os.path.abspath(a) for a in sys.argv[1:4])
    r = Runner(wine, build, bindir)
    only = sys.argv[4:]

    def case(name):
        return name if not only or name in only else None

    if case("missing"):
        c = Case(r, "missing")
        os.remove(c.medium_file("KQ2.avi"))
        os.remove(c.medium_file("OsGuide.pdf"))
        r.run(c)
    if case("truncated"):
        c = Case(r, "truncated")
        blob = open(c.medium_file("Ostrel.exe"), "rb").read()
        open(c.medium_file("Ostrel.exe"), "wb").write(blob[:len(blob) // 2])
        r.run(c)
    if case("corrupt"):
        c = Case(r, "corrupt")
        blob = bytearray(open(c.medium_file("VELLSVR.exe"), "rb").read())
        for i in range(len(blob) // 2, len(blob) // 2 + 16):
            blob[i] ^= 0x5A
        open(c.medium_file("VELLSVR.exe"), "wb").write(blob)
        r.run(c)
    if case("lying-lengths"):
        c = Case(r, "lying-lengths")
        sizes = {n: os.path.getsize(os.path.join(r.product, n)) for n, _ in e2e.PLAN}
        packed_header(c.medium_file("KQ1.avi"), 0)
        packed_header(c.medium_file("KQ3.avi"), sizes["KQ3.avi"] - 1)
        packed_header(c.medium_file("KQSVR.exe"), sizes["KQSVR.exe"] + 1)
        packed_header(c.medium_file("Ov.INI"), 4294967295)
        r.run(c)
    if case("read-only-destination"):
        # Ov.INI, and an older Brannic.dll of the very same size, that cannot
        # be replaced. File modes do not stop root: there each file is also
        # bound over itself read-only.
        c = Case(r, "read-only-destination")
        os.makedirs(c.s.install)
        old = {"Ov.INI": b"old settings", "Brannic.dll": b"\0" * os.path.getsize(c.medium_file("Brannic.dll"))}
        bound = []
        try:
            for name, content in old.items():
                path = os.path.join(c.s.install, name)
                open(path, "wb").write(content)
                os.chmod(path, 0o444)
                if os.geteuid() == 0 and subprocess.run(["mount", "--bind", path, path],
                                                        capture_output=True).returncode == 0:
                    bound.append(path)
                    subprocess.run(["mount", "-o", "remount,bind,ro", path], capture_output=True)
            if os.geteuid() == 0 and len(bound) < len(old):
                print("SKIPPED read-only-destination: binding a file read-only is not permitted here")
                r.table.append(("read-only-destination", "skipped: mount not permitted"))
            else:
                r.run(c)
        finally:
            for path in bound:
                subprocess.run(["umount", "-l", path])
    if case("full-disk"):
        c = Case(r, "full-disk")
        os.makedirs(os.path.join(c.s.install, "KQ"))
        mount = os.path.join(c.s.install, "KQ")
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=48k", "tmpfs", mount],
                          capture_output=True).returncode != 0:
            print("SKIPPED full-disk: mounting a small tmpfs is not permitted here")
            r.table.append(("full-disk", "skipped: mount not permitted"))
        else:
            try:
                # A reinstall that runs out of room keeps the old file whole.
                old = os.path.join(mount, "KQ1.avi")
                open(old, "wb").write(b"an older KQ1.avi " * 2400)
                r.run(c)
                e2e.check(open(old, "rb").read() == b"an older KQ1.avi " * 2400 and os.listdir(mount) == ["KQ1.avi"],
                          "full-disk: the old KQ1.avi stays byte for byte, no temporary file left")
            finally:
                subprocess.run(["umount", "-l", mount])
    if case("no-program-files"):
        c = Case(r, "no-program-files")
        os.rename(os.path.join(c.s.drive, "Program Files"), os.path.join(c.s.drive, "Program Files.away"))
        r.run(c)
        os.rename(os.path.join(c.s.drive, "Program Files.away"), os.path.join(c.s.drive, "Program Files"))
    if case("no-temp-folder"):
        c = Case(r, "no-temp-folder")
        temp = os.path.join(c.s.drive, "windows", "temp")
        shutil.rmtree(temp)
        open(temp, "wb").write(b"a file where the folder should be")
        r.run(c)  # the documents do not need it
    if case("long-license"):
        c = Case(r, "long-license")
        text = b"".join(b"Clause %05d of a very long licence agreement.\r\n" % i for i in range(2200))
        c.license = os.path.join(c.s.root, "LicenseQvn.txt")
        open(c.license, "wb").write(text)
        assert len(text) > 100 * 1024
        c.pack_into_medium(c.license)
        r.run(c)
    if case("odd-documents"):
        c = Case(r, "odd-documents")
        c.license = os.path.join(c.s.root, "LicenseQvn.txt")
        c.readme = os.path.join(c.s.root, "ReadfirstQvn.txt")
        open(c.license, "wb").write(b"Text before a NUL byte.\r\n\x00and text after it\r\n")
        open(c.readme, "wb").write(b"One long line with no line end at all " * 20)
        for doc in (c.license, c.readme):
            c.pack_into_medium(doc)
        r.run(c)
    if case("planted-documents"):
        # Another user's files under the documents' names in the shared
        # temporary folder: a licence text while the medium has none, and a
        # hard link to a file of their choosing at the read-first name.
        c = Case(r, "planted-documents")
        os.remove(c.medium_file("LicenseQvn.txt"))
        c.no_documents()
        c.readme = os.path.join(r.product, "ReadfirstQvn.txt")
        temp = os.path.join(c.s.drive, "windows", "temp")
        os.makedirs(temp, exist_ok=True)
        open(os.path.join(temp, "LicenseQvn.txt"), "wb").write(b"PLANTED LICENCE: you agree to everything")
        victim = os.path.join(c.s.drive, "windows", "victim.ini")
        open(victim, "wb").write(b"[precious]\r\nkeep=me\r\n")
        os.link(victim, os.path.join(temp, "ReadfirstQvn.txt"))
        r.run(c)
        e2e.check(open(victim, "rb").read() == b"[precious]\r\nkeep=me\r\n",
                  "planted-documents: the hard link's target keeps its contents")
    if case("no-icon-file"):
        c = Case(r, "no-icon-file")
        os.remove(c.medium_file("iQvn.exe"))
        r.run(c)
    if case("no-brannic"):
        c = Case(r, "no-brannic")
        os.remove(c.medium_file("Brannic.dll"))
        c.no_documents()
        r.run(c)
    if case("reinstall-over-longer"):
        c = Case(r, "reinstall-over-longer")
        for name, sub in e2e.PLAN:
            folder = os.path.join(c.s.install, sub)
            os.makedirs(folder, exist_ok=True)
            old = open(os.path.join(r.product, name), "rb").read()
            open(os.path.join(folder, name), "wb").write(b"OLDER VERSION " + old + b"stale tail" * 100)
        r.run(c)
    if case("listed-swapped"):
        # On a medium whose setup carries its list: valid packed files under
        # other names, and another program as the icon file.
        c = Case(r, "listed-swapped", listed=True)
        shutil.copy(c.medium_file("KQ3.avi"), c.medium_file("KQ2.avi"))
        shutil.copy(c.medium_file("ReadfirstQvn.txt"), c.medium_file("LicenseQvn.txt"))
        shutil.copy(os.path.join(r.bindir, "packcli.exe"), c.medium_file("iQvn.exe"))
        c.no_documents()
        c.readme = os.path.join(r.product, "ReadfirstQvn.txt")
        r.run(c, env=dict(os.environ, WINEDEBUG="-all,+debugstr"))
        e2e.check(not os.path.exists(os.path.join(c.s.install, "KQ", "KQ2.avi")),
                  "listed-swapped: the swapped file is not installed")
        for name in ("KQ2.avi", "LicenseQvn.txt", "iQvn.exe"):
            e2e.check(f"InstallQvn: refused {name}: digest differs" in c.out.stderr,
                      f"listed-swapped: the debugger channel says why {name} is refused")
    if case("listed-brannic"):
        # Brannic.dll swapped for a DLL of the same exports that leaves a
        # marker when loaded: nothing of it runs, nothing is unpacked or copied.
        c = Case(r, "listed-brannic", listed=True)
        shutil.copy(os.path.join(r.bindir, "planted.dll"), c.medium_file("Brannic.dll"))
        c.no_documents()
        r.run(c)
        e2e.check(not os.path.exists(c.medium_file("Brannic.dll.loaded")),
                  "listed-brannic: the swapped DLL is never loaded")
        left = [n for n in os.listdir(c.s.install)] if os.path.isdir(c.s.install) else []
        e2e.check(sorted(left) == ["KQ", "Vell"], f"listed-brannic: nothing unpacked or copied {left}")
    if case("listed-race"):
        # The medium folder renamed away, and a folder whose Brannic.dll is a
        # foreign DLL renamed into its place, the moment the setup first
        # opens Brannic.dll: only the checked bytes are loaded, from a
        # private folder that is gone once the setup has ended.
        c = Case(r, "listed-race", listed=True)
        foreign, away = c.medium + ".foreign", c.medium + ".away"
        shutil.copytree(c.medium, foreign)
        shutil.copy(os.path.join(r.bindir, "planted.dll"), os.path.join(foreign, "Brannic.dll"))

        def swap():
            os.rename(c.medium, away)
            os.rename(foreign, c.medium)
        watch = e2e.Watcher(c.medium, "Brannic.dll", swap)
        r.run(c, env=dict(os.environ, WINEDEBUG="-all,+loaddll"))
        watch.stop()
        e2e.check(watch.opened, "listed-race: the medium was swapped at the first open of Brannic.dll")
        e2e.check(not any(os.path.exists(os.path.join(m, "Brannic.dll.loaded")) for m in (c.medium, away)),
                  "listed-race: the foreign Brannic.dll never ran")
        loads = [p.replace("\\\\", "\\") for p in re.findall(r'Loaded L"([^"]+)" at', c.out.stderr)
                 if p.lower().endswith("brannic.dll")]
        private = [re.match(r"c:\\users\\[^\\]+\\(.+\\)?temp\\qvn[0-9a-f]{32}\\brannic\.dll$", p.lower())
                   for p in loads]
        e2e.check(len(loads) == 1 and all(private), f"listed-race: Brannic.dll loaded from a private folder {loads}")
        left = [p for p in loads if os.path.exists(os.path.dirname(os.path.join(c.s.drive, *p[3:].split("\\"))))]
        e2e.check(loads and not left, f"listed-race: the private folder is gone after the setup ended {left}")
    if case("foreign-icon-beside"):
        # The setup program started from a folder that also holds a foreign
        # iQvn.exe, with a genuine medium the current folder: the foreign
        # file is never opened.
        c = Case(r, "foreign-icon-beside", listed=True)
        c.program = os.path.join(c.s.root, "program")
        os.makedirs(c.program)
        for name in ("InstallQvn.exe", "Brannic.dll"):
            shutil.copy(c.medium_file(name), c.program)
        shutil.copy(os.path.join(r.bindir, "packcli.exe"), os.path.join(c.program, "iQvn.exe"))
        watch = e2e.Watcher(c.program, "iQvn.exe")
        r.run(c)
        watch.stop()
        e2e.check(not watch.opened, "foreign-icon-beside: the iQvn.exe beside the setup program is never opened")
    if case("twice"):
        c = Case(r, "twice")
        r.run(c, runs=2)

    print("\nfault table:")
    for name, result in r.table:
        print(f"  {name:24} {result}")
    return tally.report()


if __name__ == "__main__":
    sys.exit(main())
