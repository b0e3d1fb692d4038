#!/usr/bin/python3
"""Builds the reference manual of the library from lib/qel.h with Doxygen.

usage: genmanual.py EXPORTS QEL_H OUTDIR [DOXYGEN]

qel.h stays a plain C header with plain comments. This writes a Doxygen
copy of it into OUTDIR/src: the comment right above one or more
declarations (on the lines right below it) becomes the documentation of
each of them, followed by the
function's decorated name and ordinal taken from the one export list
(ordinals 1..n in the byte order of the names); each function goes into the
page of its family (the export list's "# file.cpp: title" sections), whose
introduction is the note under the header's section heading. The header's
opening comment is the front page, with a table of all exports by ordinal.
Then DOXYGEN (default: doxygen) writes OUTDIR/html and fails on any
warning, so a declaration without a comment fails the manual, as does a
declaration missing from the export list or an export missing from qel.h
or from its x86_64 names for Visual C++ (one line per export).
"""
import os
import re
import subprocess
import sys

FAMILY_RE = re.compile(r"#\s*(\w+)\.cpp:\s*(.+)")
EXPORT_RE = re.compile(r"_([A-Za-z][A-Za-z0-9]*)@(\d+)")
HEADING_RE = re.compile(r"/\* -{4} (.*?) -+ \*/")
DECL_RE = re.compile(r"\b(qel[A-Za-z0-9]+)\s*\(")
# Visual C++ on x86_64: a function's name and its import slot's name stand
# for the decorated ones.
ALIAS_RE = re.compile(r'#pragma comment\(linker, "/alternatename:(\w+)=(\S+) '
                      r'/alternatename:__imp_(\w+)=__imp_(\S+)"\)')


def read_exports(path):
    """{name: (decorated, ordinal, family)} and [(family, title)]."""
    families, members, family = [], {}, None
    for line in open(path, encoding="ascii"):
        m = FAMILY_RE.match(line.strip())
        if m:
            family = m.group(1)
            families.append((family, m.group(2).strip()))
            continue
        line = line.split("#", 1)[0].strip()
        if line:
            m = EXPORT_RE.fullmatch(line)
            if not m or family is None:
                sys.exit(f"{path}: {line!r} is not a decorated name under a family heading")
            members[m.group(1)] = (line, family)
    order = sorted(members.values(), key=lambda v: v[0].encode("ascii"))
    ordinal = {dec: n for n, (dec, _f) in enumerate(order, 1)}
    return {name: (dec, ordinal[dec], fam) for name, (dec, fam) in members.items()}, families


def escape(text):
    """Comment text as Doxygen text: its command characters taken literally."""
    return re.sub(r"([\\@<>&%#$])", r"\\\1", text)


def paragraphs(comment):
    """The comment's text, lines stripped; lines that start a case (mode 1:,
    "[1]":, -, ...) keep their line break."""
    out = []
    for line in comment.splitlines():
        line = line.strip()
        if not line:
            continue
        if out and re.match(r'(mode -?\d|type \d|wait \d|- |"\[\d\]"|qel\w+/\w+:)', line):
            out.append("\n\n")
        elif out:
            out.append("\n")
        out.append(escape(line))
    return "".join(out)


def items(text):
    """The header as a list of ('comment', text, blank_before), ('decl',
    text, blank_before), ('pp', line)."""
    out, i, n, blank = [], 0, len(text), False
    while i < n:
        if text.startswith("/*", i):
            j = text.index("*/", i) + 2
            out.append(("comment", text[i:j], blank))
            i, blank = j, False
        elif text[i] == "\n":
            k = text.find("\n", i + 1)
            if text[i + 1:k if k >= 0 else n].strip() == "":
                blank = True
            i += 1
        elif text[i].isspace():
            i += 1
        elif text[i] == "#":
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(("pp", text[i:j]))
            i, blank = j, False
        else:
            eol = text.find("\n", i)
            eol = n if eol < 0 else eol
            if "{" in text[i:eol] or "}" in text[i:eol]:
                j = eol         # extern "C" { and its closing brace
            else:
                j = text.index(";", i) + 1 if ";" in text[i:] else n
            out.append(("decl", text[i:j], blank))
            i, blank = j, False
    return out


def convert(exports, families, header):
    """The Doxygen copy of the header; exits on a mismatch with the list."""
    parts = items(header)
    errors, out, seen, aliases = [], [], set(), []
    front = parts[0][1][2:-2] if parts and parts[0][0] == "comment" else ""
    out.append("/** \\file qel.h\n\\brief The library's functions, declared for C and C++ "
               "programs. */\n")
    page = ["/** \\mainpage The qel library of InstallQvn.exe\n", paragraphs(front), "\n\n"]
    page.append("\\section families Families\n\n")
    for fam, title in families:
        page.append(f"- \\ref {fam}\n")
    page.append("\n\\section ordinals Exports by ordinal\n\n")
    page.append("<table>\n<tr><th>Ordinal</th><th>Decorated name</th><th>Function</th><th>Family</th></tr>\n")
    for name, (dec, ordinal, fam) in sorted(exports.items(), key=lambda kv: kv[1][1]):
        page.append(f"<tr><td>{ordinal}</td><td><tt>{escape(dec)}</tt></td>"
                    f"<td>{name}()</td><td>\\ref {fam}</td></tr>\n")
    page.append("</table>\n*/\n")
    out.append("".join(page))

    intros = {}
    section = None
    pending = None          # the comment right above the next declaration
    for k, part in enumerate(parts[1:], 1):
        kind = part[0]
        if kind == "comment":
            m = HEADING_RE.fullmatch(part[1].strip())
            if m:
                section = {"title": m.group(1), "notes": [], "names": []}
                intros.setdefault("sections", []).append(section)
                pending = None
                continue
            nxt = parts[k + 1] if k + 1 < len(parts) else None
            if nxt and nxt[0] == "decl" and DECL_RE.search(nxt[1]):
                pending = part[1][2:-2]
            elif section is not None:
                section["notes"].append(part[1][2:-2])
                pending = None
            continue
        if kind == "pp":
            m = ALIAS_RE.fullmatch(part[1].strip())
            if m:
                aliases.append(m.groups())
            # Conditions only: QELAPI is predefined for Doxygen, and the
            # system headers are not read.
            if re.match(r"#\s*(if|ifdef|ifndef|else|endif)\b", part[1]):
                out.append(part[1] + "\n")
            continue
        m = DECL_RE.search(part[1])
        if not m:
            out.append(part[1] + "\n")
            continue
        name = m.group(1)
        seen.add(name)
        if name not in exports:
            errors.append(f"{name} is declared in qel.h but not in the export list")
            out.append(part[1] + "\n")
            continue
        dec, ordinal, fam = exports[name]
        if section is not None:
            section["names"].append(fam)
        if pending is not None:
            doc = paragraphs(pending)
            out.append(f"/** {doc}\n\n\\par Export\n<tt>{escape(dec)}</tt>, ordinal {ordinal}\n"
                       f"\\ingroup {fam}\n*/\n")
        else:
            # Left without documentation on purpose: Doxygen's warning about
            # it fails the manual.
            out.append(f"/** \\ingroup {fam} */\n")
        out.append(part[1] + "\n")
        # Twins share one comment: declarations on the lines right below it.
        if k + 1 < len(parts) and not (parts[k + 1][0] == "decl" and not parts[k + 1][2]):
            pending = None

    for name in sorted(set(exports) - seen):
        errors.append(f"{exports[name][0]} is in the export list but not declared in qel.h")
    want = sorted((name, dec, name, dec) for name, (dec, _o, _f) in exports.items())
    if sorted(aliases) != want:
        wrong = {a[0] for a in set(aliases) ^ set(want)} | {a[0] for a in aliases if aliases.count(a) > 1}
        errors.append(f"qel.h's x86_64 names differ from the export list: {', '.join(sorted(wrong))}")

    # Each family's page: its title and the notes under its header section.
    notes = {}
    for sec in intros.get("sections", []):
        for fam in set(sec["names"]):
            notes.setdefault(fam, []).extend(sec["notes"])
    groups = []
    for fam, title in families:
        body = "\n\n".join(paragraphs(n) for n in notes.get(fam, []))
        groups.append(f"/** \\defgroup {fam} {escape(title[0].upper() + title[1:])}\n"
                      f"Functions of {fam}.cpp.\n\n{body}\n*/\n")
    out.insert(2, "".join(groups))
    return "".join(out), errors


DOXYFILE = """\
PROJECT_NAME           = "InstallQvn library"
PROJECT_BRIEF          = "The qel functions that InstallQvn.exe exports"
OUTPUT_DIRECTORY       = {out}
INPUT                  = {src}/qel.h
STRIP_FROM_PATH        = {src}
FULL_PATH_NAMES        = NO
GENERATE_HTML          = YES
HTML_OUTPUT            = html
GENERATE_LATEX         = NO
MARKDOWN_SUPPORT       = NO
JAVADOC_AUTOBRIEF      = YES
OPTIMIZE_OUTPUT_FOR_C  = YES
EXTRACT_ALL            = NO
SORT_MEMBER_DOCS       = NO
SHOW_INCLUDE_FILES     = NO
HTML_TIMESTAMP         = NO
HAVE_DOT               = NO
CLASS_GRAPH            = NO
ENABLE_PREPROCESSING   = YES
MACRO_EXPANSION        = YES
EXPAND_ONLY_PREDEF     = YES
PREDEFINED             = _WIN32 QELAPI= QELIMPORT= __cplusplus
SEARCH_INCLUDES        = NO
QUIET                  = YES
WARNINGS               = YES
WARN_IF_UNDOCUMENTED   = YES
WARN_IF_DOC_ERROR      = YES
WARN_AS_ERROR          = FAIL_ON_WARNINGS
"""


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    exports_path, header_path, outdir = sys.argv[1:4]
    doxygen = sys.argv[4] if len(sys.argv) == 5 else "doxygen"
    exports, families = read_exports(exports_path)
    text, errors = convert(exports, families, open(header_path, encoding="ascii").read())
    for e in errors:
        print(f"genmanual: {e}", file=sys.stderr)
    if errors:
        return 1
    src = os.path.join(outdir, "src")
    os.makedirs(src, exist_ok=True)
    with open(os.path.join(src, "qel.h"), "w") as f:
        f.write(text)
    doxyfile = os.path.join(outdir, "Doxyfile")
    with open(doxyfile, "w") as f:
        f.write(DOXYFILE.format(out=os.path.abspath(outdir), src=os.path.abspath(src)))
    r = subprocess.run([doxygen, doxyfile])
    if r.returncode == 0:
        print(f"manual: {os.path.join(os.path.abspath(outdir), 'html', 'index.html')}")
    return r.returncode


if __name__ == "__main__":
    sys.exit(main())
