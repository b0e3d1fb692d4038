#!/usr/bin/python3
"""The reference manual: every export documented, on its family's page,
with its decorated name and ordinal; an undocumented export fails it.

usage: manual.py GENMANUAL EXPORTS QEL_H DOXYGEN
"""
import html
import os
import re
import subprocess
import sys
import tempfile

from tally import check, report


def build(tool, exports, header, out, doxygen):
    r = subprocess.run([sys.executable, tool, exports, header, out, doxygen],
                       capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


def main():
    tool, exports, header, doxygen = sys.argv[1:5]
    text = open(header).read()
    names = [l.split("#", 1)[0].strip() for l in open(exports)]
    names = sorted((n for n in names if n), key=lambda n: n.encode("ascii"))
    with tempfile.TemporaryDirectory() as d:
        rc, log = build(tool, exports, header, os.path.join(d, "ok"), doxygen)
        check(rc == 0, "the manual builds without a warning")
        if rc:
            print(log[-2000:])
        pages = ""
        htmldir = os.path.join(d, "ok", "html")
        groups = [f for f in os.listdir(htmldir) if f.startswith("group__")] if rc == 0 else []
        check(len(groups) == 8, f"one page per family (got {len(groups)})")
        for g in groups:
            pages += html.unescape(re.sub(r"<[^>]+>", "", open(os.path.join(htmldir, g)).read()))
        missing = [n for o, n in enumerate(names, 1) if not re.search(rf"{re.escape(n)}, ordinal {o}\s", pages)]
        check(not missing, f"every export on its family's page with its ordinal (missing {missing[:3]})")

        # qelDivide's comment taken away (a blank line in its place): the
        # warning about it fails the manual.
        doc = "/* Quotient with the sign of the true quotient"
        start = text.index(doc)
        bare = text[:start] + text[text.index("*/", start) + 2:]
        open(os.path.join(d, "qel.h"), "w").write(bare)
        rc, log = build(tool, exports, os.path.join(d, "qel.h"), os.path.join(d, "bare"), doxygen)
        check(rc != 0 and "qelDivide" in log, "an undocumented export fails the manual")

        # An export that qel.h does not declare.
        extra = os.path.join(d, "exports.txt")
        open(extra, "w").write(open(exports).read() + "_qelUnheard@4\n")
        rc, log = build(tool, extra, header, os.path.join(d, "extra"), doxygen)
        check(rc != 0 and "_qelUnheard@4" in log, "an export missing from qel.h fails the manual")

        # qelDivide's x86_64 name for Visual C++ with a wrong decoration.
        open(os.path.join(d, "qel.h"), "w").write(text.replace("=_qelDivide@8 ", "=_qelDivide@4 "))
        rc, log = build(tool, exports, os.path.join(d, "qel.h"), os.path.join(d, "alias"), doxygen)
        check(rc != 0 and "names differ from the export list: qelDivide" in log,
              "a wrong x86_64 name in qel.h fails the manual")
    return report()


if __name__ == "__main__":
    sys.exit(main())
