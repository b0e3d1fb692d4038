#!/usr/bin/python3
"""Writes InstallQvn.lib, the import library of InstallQvn.exe in Microsoft's
form, from the module definition shipped beside it.

usage: msvclib.py ARCH DEF LIB      (ARCH: i686 or x86_64; DEF: InstallQvn.def)

The archive holds the two linker members (the symbol index in member
order and the sorted one that Microsoft's linker searches), the long-names
member (empty unless the module name is longer than 15 characters), then:
  - the import descriptor object: the executable's entry of the import
    directory, its name, and references to the two objects below;
  - the null import descriptor object: the entry that ends the directory;
  - the null thunk data object: the zero that ends the executable's lookup
    and address tables;
  - one short import object per export. Its symbol is the decorated name
    itself (_qelPlus@8) and its name type "the import name is the symbol",
    so the caller imports _qelPlus@8 as it stands on both architectures and
    also defines __imp__qelPlus@8 for callers that use dllimport.
Nothing else: no alias objects, which x86 links with /SAFESEH (the default
of Microsoft's tools and of lld-link) refuse for want of an @feat.00 symbol;
the three descriptor objects hold data only and pass.

On x86_64 a caller of qel.h references the undecorated qelPlus; qel.h maps
it to _qelPlus@8 for Visual C++-mode compilers (/alternatename).

Hints are the index of the name in the executable's export name table
(the byte order of the names; here ordinal - 1). Members carry no time
stamp, so the same list gives the same bytes. A line of the module
definition that is not LIBRARY, EXPORTS or "name @ordinal" fails.
"""
import re
import struct
import sys

MACHINES = {"i686": 0x014C, "x86_64": 0x8664}
# IMAGE_REL_I386_DIR32NB and IMAGE_REL_AMD64_ADDR32NB: an image-relative address.
ADDR32NB = {"i686": 7, "x86_64": 3}
IMAGE_FILE_32BIT_MACHINE = 0x0100
# Initialised data, read and write, aligned to 2, 4 or 8 bytes.
DATA_ALIGN = {2: 0xC0200040, 4: 0xC0300040, 8: 0xC0400040}
SYM_EXTERNAL, SYM_STATIC, SYM_SECTION = 2, 3, 104
IMPORT_CODE, IMPORT_NAME = 0, 1


def read_def(path):
    """The DLL name and [(decorated name, ordinal)] of a LIBRARY/EXPORTS file.
    Any other line (NONAME, DATA, PRIVATE, an alias, a second LIBRARY ...)
    fails: each would change what a caller imports."""
    dll, names, section = None, [], None
    for number, line in enumerate(open(path, encoding="ascii"), 1):
        text = line.split(";", 1)[0].strip()
        words = text.split()
        library = re.fullmatch(r'LIBRARY\s+("?)([^\s"/\\]+)\1', text)
        export = re.fullmatch(r"([^\s=@]+(?:@\d+)?)\s+@(\d+)", text)
        if not words:
            continue
        if library and section is None:
            dll, section = library.group(2), "LIBRARY"
        elif words == ["EXPORTS"] and section == "LIBRARY":
            section = "EXPORTS"
        elif export and section == "EXPORTS":
            name, ordinal = export.group(1), int(export.group(2))
            if not 0 < ordinal < 0x10000 or any(name == n or ordinal == o for n, o in names):
                sys.exit(f"{path}:{number}: ordinal out of range or name or ordinal given twice: {text}")
            names.append((name, ordinal))
        else:
            sys.exit(f"{path}:{number}: not understood: {line.rstrip()}")
    if not names:
        sys.exit(f"{path}: no LIBRARY line or no exports")
    return dll, names


def coff(machine, characteristics, sections, symbols):
    """An object file. sections: [(name, data, flags, [(offset, symbol index,
    type)])]; symbols: [(name, section number, storage class)], value 0."""
    strings = b""
    sym_table = b""
    for name, section, cls in symbols:
        raw = name.encode("ascii")
        if len(raw) <= 8:
            field = raw.ljust(8, b"\0")
        else:
            field = struct.pack("<II", 0, 4 + len(strings))
            strings += raw + b"\0"
        sym_table += field + struct.pack("<IhHBB", 0, section, 0, cls, 0)
    offset = 20 + 40 * len(sections)
    headers = body = b""
    for name, data, flags, relocs in sections:
        reloc_at = offset + len(data) if relocs else 0
        headers += struct.pack("<8sIIIIIIHHI", name.encode("ascii"), 0, 0, len(data), offset,
                               reloc_at, 0, len(relocs), 0, flags)
        body += data + b"".join(struct.pack("<IIH", *r) for r in relocs)
        offset += len(data) + 10 * len(relocs)
    header = struct.pack("<HHIIIHH", machine, len(sections), 0, offset, len(symbols), 0,
                         characteristics)
    return header + headers + body + sym_table + struct.pack("<I", 4 + len(strings)) + strings


def descriptors(arch, dll):
    """The three objects that make the executable's import directory entry:
    [(object, [symbols it defines])]."""
    machine, ptr = MACHINES[arch], 8 if arch == "x86_64" else 4
    chars = IMAGE_FILE_32BIT_MACHINE if arch == "i686" else 0
    base = dll.rsplit(".", 1)[0]
    descriptor, null_descriptor = f"__IMPORT_DESCRIPTOR_{base}", "__NULL_IMPORT_DESCRIPTOR"
    null_thunk = f"\x7f{base}_NULL_THUNK_DATA"
    name = dll.encode("ascii") + b"\0"
    rel = ADDR32NB[arch]
    # The directory entry: its lookup table (.idata$4), name (.idata$6) and
    # address table (.idata$5), each image-relative.
    entry = coff(machine, chars,
                 [(".idata$2", bytes(20), DATA_ALIGN[4], [(12, 2, rel), (0, 3, rel), (16, 4, rel)]),
                  (".idata$6", name, DATA_ALIGN[2], [])],
                 [(descriptor, 1, SYM_EXTERNAL), (".idata$2", 1, SYM_SECTION),
                  (".idata$6", 2, SYM_STATIC), (".idata$4", 0, SYM_SECTION),
                  (".idata$5", 0, SYM_SECTION), (null_descriptor, 0, SYM_EXTERNAL),
                  (null_thunk, 0, SYM_EXTERNAL)])
    end = coff(machine, chars, [(".idata$3", bytes(20), DATA_ALIGN[4], [])],
               [(null_descriptor, 1, SYM_EXTERNAL)])
    thunk_end = coff(machine, chars,
                     [(".idata$5", bytes(ptr), DATA_ALIGN[ptr], []),
                      (".idata$4", bytes(ptr), DATA_ALIGN[ptr], [])],
                     [(null_thunk, 1, SYM_EXTERNAL)])
    return [(entry, [descriptor]), (end, [null_descriptor]), (thunk_end, [null_thunk])]


def short_import(arch, dll, symbol, hint):
    """A short import object: a function imported by the name symbol."""
    data = symbol.encode("ascii") + b"\0" + dll.encode("ascii") + b"\0"
    return struct.pack("<HHHHIIHH", 0, 0xFFFF, 0, MACHINES[arch], 0, len(data), hint,
                       IMPORT_CODE | IMPORT_NAME << 2) + data


def member(name, data):
    assert len(name) <= 16
    header = f"{name:<16}{0:<12}{0:<6}{0:<6}{0:<8}{len(data):<10}`\n".encode("ascii")
    return header + data + b"\n" * (len(data) & 1)


def archive(dll, objects):
    """The archive of objects [(data, [symbols])] with both linker members."""
    symbols = [(s.encode("ascii"), i) for i, (_d, names) in enumerate(objects) for s in names]
    ordered = sorted(symbols)
    # A module name longer than a member header's 15 characters is written
    # to the long-names member and named there by its offset.
    short = len(dll) < 16
    longnames = b"" if short else dll.encode("ascii") + b"\0"
    bodies = [member(dll + "/" if short else "/0", data) for data, _names in objects]

    def head(offsets):
        first = struct.pack(f">I{len(symbols)}I", len(symbols), *(offsets[i] for _s, i in symbols))
        second = struct.pack(f"<I{len(offsets)}II{len(ordered)}H", len(offsets), *offsets,
                             len(ordered), *(i + 1 for _s, i in ordered))
        return [b"!<arch>\n", member("/", first + b"".join(s + b"\0" for s, _i in symbols)),
                member("/", second + b"".join(s + b"\0" for s, _i in ordered)),
                member("//", longnames)]

    offsets = [sum(map(len, head([0] * len(objects))))]
    for body in bodies[:-1]:
        offsets.append(offsets[-1] + len(body))
    return b"".join(head(offsets) + bodies)


def main():
    arch, def_path, lib_path = sys.argv[1:4]
    dll, names = read_def(def_path)
    objects = descriptors(arch, dll)
    # The hint is the name's index in the export name table, which is in
    # byte order.
    table = sorted(symbol.encode("ascii") for symbol, _ordinal in names)
    for symbol, _ordinal in names:
        objects.append((short_import(arch, dll, symbol, table.index(symbol.encode("ascii"))),
                        ["__imp_" + symbol, symbol]))
    with open(lib_path, "wb") as f:
        f.write(archive(dll, objects))


if __name__ == "__main__":
    main()
