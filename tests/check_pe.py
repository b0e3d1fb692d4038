#!/usr/bin/python3
"""Static checks of the shipped i686 files, and of the x86_64 build's unwind data.

usage: check_pe.py InstallQvn.exe Brannic.dll exports.txt InstallQvn.lib [client.exe...]
       check_pe.py InstallQvn.exe       (x86_64)
       check_pe.py --lld LLD-LINK MACHINE MSVCLIB ARCH InstallQvn.def InstallQvn.lib

Export table (the library's 101 names, ordinals in byte order, module
name), imports from Windows' own DLLs only, PE32 with ASLR and DEP, no
time stamps, and Brannic.dll's zlib (its calls by ordinal, no TLS, no C
runtime or unwind sections). InstallQvn.lib in Microsoft's form:
the two linker members, the three import descriptor objects and one short
import object per export, nothing else. Each client.exe is a program linked
against an import library (GNU's or Microsoft's format): it imports every
function by its decorated name from InstallQvn.exe; msvc_client*.exe, built
in Visual C++ mode, imports exactly the functions it calls, each with the
hint that finds its name in the export table at once.
x86_64: what the entry thunks jump to and call has unwind codes.

With --lld (either architecture): InstallQvn.lib, and the library that
msvclib.py writes for a module name too long for a member header, against
what lld-link /def: writes from the same .def: the same members in the same
order, byte-equal descriptor objects, short import objects equal but for
the hint, which lld-link sets to the ordinal and msvclib.py to the index in
the export name table. A .def line that msvclib.py does not understand
fails it.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

import pefile

from tally import check, report

# DLLs that ship with every Windows; nothing of a compiler's runtime.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
                "shell32.dll", "ole32.dll", "advapi32.dll", "msvcrt.dll"}

# The setup program itself imports only what the core of Windows maps for
# every process (no C runtime); the shell, COM, common dialogs and common
# controls pull in further DLLs and are loaded by full path from the system
# folder instead.
SETUP_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll"}


# Brannic.dll's exports by ordinal: the three classic calls keep the ordinals
# that older setups were linked against; the streaming calls follow.
BRANNIC_EXPORTS = ["compress", "compressBound", "uncompress", "deflate", "deflateEnd", "deflateInit_",
                   "inflate", "inflateEnd", "inflateInit_"]

# The library's whole interface, in the byte order of the names (upper-case
# letters before lower-case ones): ordinal n is the n-th name here.
INTERFACE = [
    "_qelAbsXX@4", "_qelAbsYY@4", "_qelAlert@20", "_qelAsc@4", "_qelCharOEM@16",
    "_qelChgDir@4", "_qelChr@4", "_qelClearStr@8", "_qelCopyFile@8", "_qelDate@8",
    "_qelDelFile@4", "_qelDeleteCbo@8", "_qelDeleteLst@8", "_qelDivide@8", "_qelDoTask@4",
    "_qelEnableWnd@12", "_qelEnvironIO@16", "_qelEquDW@4", "_qelEquW@4", "_qelFileSize@4",
    "_qelFill@16", "_qelFindFile@8", "_qelGetDir@8", "_qelGetDirName@8", "_qelGetDrive@8",
    "_qelGetDriveType@4", "_qelGetFileName@16", "_qelGetFont@28", "_qelGetHiW@4",
    "_qelGetLoW@4", "_qelGetMsg@4", "_qelGetRGB@12", "_qelGetSysDir@8", "_qelGetWinDir@8",
    "_qelHex@4", "_qelHexVal@4", "_qelInfoAddr@12", "_qelInsertCbo@16", "_qelInsertLst@16",
    "_qelIsChrValid@8", "_qelIsStrEqual@8", "_qelIsStrNull@4", "_qelLInstr@12", "_qelLStr@12",
    "_qelMakDir@4", "_qelMask@8", "_qelMemBank@8", "_qelMemClr@8", "_qelMemCopy@12",
    "_qelMemFill@12", "_qelMenu@12", "_qelMinus@8", "_qelMultiply@8", "_qelNumRange@12",
    "_qelPaintHDC@16", "_qelPaintRCPAINT@16", "_qelPathPlus@12", "_qelPeekMsg@0",
    "_qelPentium@0", "_qelPlus@8", "_qelProgressBar@16", "_qelPutImage@16", "_qelRInstr@12",
    "_qelRStr@12", "_qelReadCbo@12", "_qelReadFile@16", "_qelReadLst@12", "_qelReadStr@16",
    "_qelRemDir@4", "_qelRenFile@8", "_qelSetCbo@12", "_qelSetDrive@4", "_qelSetFocus@8",
    "_qelSetFont@8", "_qelSetLst@12", "_qelSetMenuItem@12", "_qelShell@12", "_qelShowWnd@12",
    "_qelStr@4", "_qelStrCmp@8", "_qelStrIns@12", "_qelStrLPart@16", "_qelStrLen@4",
    "_qelStrMid@16", "_qelStrPlus@8", "_qelStrRPart@16", "_qelStrVal@4", "_qelText@12",
    "_qelTime@8", "_qelTimeTick@0", "_qelTimer@16", "_qelVerifyGPIN@8", "_qelWndPosition@28",
    "_qelWndProcAddr@16", "_qelWndRegister@32", "_qelWriteCbo@16", "_qelWriteFile@16",
    "_qelWriteLst@16", "_qelWriteReadFile@20", "_qelWriteStr@12", "_qelWriteTxt@20",
]
INTERFACE_COUNT = 101

# What tests/msvc_client.c calls.
MSVC_CLIENT_IMPORTS = ["_qelGetSysDir@8", "_qelHex@4", "_qelMemBank@8", "_qelPlus@8", "_qelStrLen@4"]
DESCRIPTOR_SYMBOLS = ["__IMPORT_DESCRIPTOR_InstallQvn", "__NULL_IMPORT_DESCRIPTOR",
                      "\x7fInstallQvn_NULL_THUNK_DATA"]


def listed_names(path):
    names = []
    for line in open(path):
        line = line.split("#", 1)[0].strip()
        if line:
            names.append(line)
    return names


def common(pe, label):
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], f"{label}: i386 machine")
    check(pe.OPTIONAL_HEADER.Magic == 0x10B, f"{label}: PE32 optional header")
    dll = pe.OPTIONAL_HEADER.DllCharacteristics
    check(dll & 0x0040, f"{label}: dynamic base (ASLR)")
    check(dll & 0x0100, f"{label}: NX compatible (DEP)")
    relocs = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(relocs.Size > 0, f"{label}: base relocations kept")
    stamps = [pe.FILE_HEADER.TimeDateStamp]
    stamps += [d.struct.TimeDateStamp for d in (getattr(pe, "DIRECTORY_ENTRY_EXPORT", None),
                                                  getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)) if d]
    check(stamps == [0] * len(stamps), f"{label}: no time stamps (file header, exports, resources)")
    imports = [e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    for name in imports:
        check(name in WINDOWS_DLLS, f"{label}: imports only Windows' own DLLs, not {name}")


def archive_members(data):
    """[(offset, name field, date field, data)] of an archive."""
    members, at = [], 8
    while at < len(data):
        size = int(data[at + 48:at + 58])
        members.append((at, data[at:at + 16].rstrip(), data[at + 16:at + 28].strip(),
                        data[at + 60:at + 60 + size]))
        at += 60 + size + (size & 1)
    return members


def check_msvclib(path):
    data = open(path, "rb").read()
    members = archive_members(data)
    if not check(data[:8] == b"!<arch>\n" and [m[1] for m in members[:3]] == [b"/", b"/", b"//"],
                 "InstallQvn.lib: an archive with both linker members and the long-names member"):
        return
    check(all(m[2] == b"0" for m in members), "InstallQvn.lib: no time stamps on its members")
    # The sorted index of the second linker member: member offsets, then
    # each symbol's member.
    index = members[1][3]
    n = struct.unpack_from("<I", index)[0]
    offsets = struct.unpack_from(f"<{n}I", index, 4)
    k = struct.unpack_from("<I", index, 4 + 4 * n)[0]
    which = struct.unpack_from(f"<{k}H", index, 8 + 4 * n)
    names = index[8 + 4 * n + 2 * k:].decode("ascii").split("\0")[:k]
    defines = {}
    for name, i in zip(names, which):
        defines.setdefault(offsets[i - 1], []).append(name)
    objects = members[3:]
    check(offsets == tuple(m[0] for m in objects), "InstallQvn.lib: the index lists every member")
    shorts = [m for m in objects if m[3][:4] == b"\0\0\xff\xff"]
    others = sorted(s for m in objects if m not in shorts for s in defines.get(m[0], []))
    check(others == sorted(DESCRIPTOR_SYMBOLS) and len(objects) - len(shorts) == 3,
          "InstallQvn.lib: besides short import objects only the three import descriptor objects")
    imported = []
    for at, _name, _date, obj in shorts:
        machine, stamp, _size, _hint, kinds = struct.unpack_from("<HIIHH", obj, 6)
        symbol, dll = obj[20:].decode("ascii").split("\0")[:2]
        ok = (machine == 0x14C and stamp == 0 and kinds == 1 << 2 and dll == "InstallQvn.exe"
              and sorted(defines.get(at, [])) == ["__imp_" + symbol, symbol])
        check(ok, f"InstallQvn.lib: {symbol} imports the code of its own name, no time stamp")
        imported.append(symbol)
    check(sorted(imported) == sorted(INTERFACE), "InstallQvn.lib: one short import object per export")


def check_unwind(pe):
    covered = [(r.struct.BeginAddress, r.struct.EndAddress) for r in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", [])
               if r.unwindinfo and r.unwindinfo.CountOfCodes]

    def target(rva):  # of the jmp (rel8 after EB, else rel32) or call at rva
        c = pe.get_data(rva, 5)
        return rva + 2 + struct.unpack("<b", c[1:2])[0] if c[0] == 0xEB else rva + 5 + struct.unpack("<i", c[1:])[0]

    # A thunk: cmpq $QEL_BIND_BOUND, state(%rip); jne; jmp function; leaq
    # function(%rip), %rax; jmp to the slow path, which calls the binder
    # after its prologue and leaves through an epilogue the unwinder
    # recognises: add $32, %rsp, five pops, a jump out of the function.
    slow = set()
    for sym in pe.DIRECTORY_ENTRY_EXPORT.symbols:
        code = pe.get_data(sym.address, 32)
        lea = code.find(b"\x48\x8d\x05", 10)
        if check(code[:3] == b"\x48\x83\x3d" and lea > 0 and code[lea + 7] in (0xE9, 0xEB), f"{sym.name}: an entry thunk"):
            slow.add(target(sym.address + lea + 7))
    for rva in slow:
        code = pe.get_data(rva, 64)
        call = rva + code.find(b"\xE8")
        for what, at in (("the slow path", rva), ("the binder", target(call))):
            check(any(b <= at < e for b, e in covered), f"{what} at {at:#x} has unwind codes")
        out = code.find(b"\x48\x83\xC4\x20") + 11
        begin, end = next(((b, e) for b, e in covered if b <= rva < e), (0, 0))
        check(code[out - 7:out] == b"\x58\x41\x59\x41\x58\x5A\x59" and code[out] in (0xE9, 0xEB)
              and not begin <= target(rva + out) < end, f"the slow path at {rva:#x} leaves through an epilogue")


def library(path):
    """An import library's symbols in member order and its objects [(name, data)],
    long names looked up in either style (null or "/\\n" ended)."""
    longnames, objects, symbols = b"", [], None
    for _at, name, _date, body in archive_members(open(path, "rb").read()):
        if name == b"/" and symbols is None:
            count = struct.unpack_from(">I", body)[0]
            symbols = body[4 + 4 * count:].split(b"\0")[:count]
        elif name == b"//":
            longnames = body
        elif name != b"/":
            if name[:1] == b"/":
                name = re.split(b"[\0\n]", longnames[int(name[1:]):])[0]
            objects.append((name.rstrip(b"/").decode(), body))
    return symbols, objects


# Lines that msvclib.py must refuse, each added to a good .def.
BAD_DEF_LINES = ["\t_qelPlus@8 @60 NONAME", "\t_qelPlus@8 @60 DATA", "\t_qelPlus@8 @60 PRIVATE",
                 "\tqelPlus=_qelPlus@8 @60", "\tqelPlus = _qelPlus@8", "\t_qelPlus@8",
                 "\t_qelPlus@8 @102", "\t_qelExtra@4 @60", "LIBRARY Other.exe", "NAME Other.exe"]


def against_lld(lld_link, machine, msvclib, arch, def_path, lib_path):
    text = open(def_path).read()
    with tempfile.TemporaryDirectory() as tmp:
        long_def, long_lib = os.path.join(tmp, "long.def"), os.path.join(tmp, "long.lib")
        open(long_def, "w").write(text.replace('"InstallQvn.exe"', '"InstallQvnWithALongName.exe"'))
        subprocess.run([sys.executable, msvclib, arch, long_def, long_lib], check=True)
        for ours, source in ((lib_path, def_path), (long_lib, long_def)):
            label = open(source).readline().split()[1]
            lld = os.path.join(tmp, "lld.lib")
            subprocess.run([lld_link, f"/def:{source}", f"/machine:{machine}", f"/out:{lld}"], check=True)
            (our_symbols, our_objects), (lld_symbols, lld_objects) = library(ours), library(lld)
            check([n for n, _ in our_objects] == [n for n, _ in lld_objects] and our_symbols == lld_symbols,
                  f"{label} {arch}: the members and symbols of lld-link's library, in its order")
            check(our_objects[:3] == lld_objects[:3], f"{label} {arch}: byte-equal descriptor objects")
            ours_short, lld_short = [o for _n, o in our_objects[3:]], [o for _n, o in lld_objects[3:]]
            check(len(ours_short) == len(lld_short) == INTERFACE_COUNT and
                  all(a[:16] + a[18:] == b[:16] + b[18:] for a, b in zip(ours_short, lld_short)),
                  f"{label} {arch}: short import objects equal but for the hint")
            table = sorted(o[20:].split(b"\0")[0] for o in ours_short)
            hints = [(struct.unpack_from("<H", a, 16)[0], struct.unpack_from("<H", b, 16)[0],
                      table.index(a[20:].split(b"\0")[0])) for a, b in zip(ours_short, lld_short)]
            check(all(ours == index and theirs == index + 1 for ours, theirs, index in hints),
                  f"{label} {arch}: hint the index in the export name table (lld-link's: the ordinal)")
        for line in BAD_DEF_LINES:
            bad_def, bad_lib = os.path.join(tmp, "bad.def"), os.path.join(tmp, "bad.lib")
            open(bad_def, "w").write(text + line + "\n")
            run = subprocess.run([sys.executable, msvclib, arch, bad_def, bad_lib],
                                 capture_output=True, text=True)
            where = f"bad.def:{len(text.splitlines()) + 1}:"
            check(run.returncode != 0 and where in run.stderr and not os.path.exists(bad_lib),
                  f"msvclib.py refuses {line.strip()!r}: {run.stderr.strip()}")
    return report()


def main():
    if sys.argv[1] == "--lld":
        return against_lld(*sys.argv[2:8])
    exe_path = sys.argv[1]
    exe = pefile.PE(exe_path)
    if exe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        check_unwind(exe)
        return report()
    dll_path, list_path, lib_path = sys.argv[2:5]
    for e in getattr(exe, "DIRECTORY_ENTRY_IMPORT", []):
        name = e.dll.decode().lower()
        check(name in SETUP_IMPORTS, f"InstallQvn.exe: imports only the core DLLs, not {name}")
    common(exe, "InstallQvn.exe")
    check(exe.OPTIONAL_HEADER.Subsystem == 2, "InstallQvn.exe: GUI subsystem")
    check(not exe.FILE_HEADER.Characteristics & 0x2000, "InstallQvn.exe: an executable, not a DLL")
    # No C runtime start-up: nothing a loader would run before SetupMain,
    # through an import table nobody bound when a host loads the executable.
    check(not exe.OPTIONAL_HEADER.DATA_DIRECTORY[9].VirtualAddress, "InstallQvn.exe: no TLS directory")
    sections = {s.Name.rstrip(b"\0").decode() for s in exe.sections}
    check(not sections & {".CRT", ".tls"}, f"InstallQvn.exe: no C runtime sections ({sorted(sections)})")

    exp = exe.DIRECTORY_ENTRY_EXPORT
    check(exe.get_string_at_rva(exp.struct.Name) == b"InstallQvn.exe", "export table names InstallQvn.exe")
    check(exp.struct.Base == 1, "ordinals start at 1")
    check(len(INTERFACE) == INTERFACE_COUNT and len(set(INTERFACE)) == INTERFACE_COUNT,
          "the interface has 101 distinct names")
    check(INTERFACE == sorted(INTERFACE, key=lambda n: n.encode("ascii")), "the interface is in byte order")
    check(INTERFACE.index("_qelStrLPart@16") + 1 == INTERFACE.index("_qelStrLen@4"),
          "_qelStrLPart@16 comes right before _qelStrLen@4")
    check(sorted(listed_names(list_path)) == sorted(INTERFACE), "exports.txt lists exactly the interface")
    got = sorted(((s.ordinal, s.name.decode() if s.name else None) for s in exp.symbols))
    want = list(enumerate(INTERFACE, 1))
    check(len(exp.symbols) == INTERFACE_COUNT, f"{INTERFACE_COUNT} exports (got {len(exp.symbols)})")
    check(got == want, "exports are exactly the interface's names, ordinals 1..101 in byte order")
    if got != want:
        for g, w in zip(got, want):
            if g != w:
                print("  first difference: got", g, "want", w)
                break
    addresses = [s.address for s in exp.symbols]
    text = next(sec for sec in exe.sections if sec.Name.rstrip(b"\0") == b".text")
    check(len(set(addresses)) == len(addresses), "every export has its own entry")
    check(all(text.contains_rva(a) for a in addresses), "every export enters code, none is forwarded")

    dll = pefile.PE(dll_path)
    common(dll, "Brannic.dll")
    check(dll.FILE_HEADER.Characteristics & 0x2000, "Brannic.dll: a DLL")
    exports = sorted((s.ordinal, s.name.decode() if s.name else None) for s in dll.DIRECTORY_ENTRY_EXPORT.symbols)
    check(exports == list(enumerate(BRANNIC_EXPORTS, 1)),
          f"Brannic.dll exports zlib's calls at their ordinals, the three classic ones first ({exports})")
    check(not dll.OPTIONAL_HEADER.DATA_DIRECTORY[9].VirtualAddress, "Brannic.dll: no TLS directory")
    sections = {s.Name.rstrip(b"\0").decode() for s in dll.sections}
    check(not sections & {".CRT", ".tls", ".eh_frame"},
          f"Brannic.dll: no C runtime sections, no unwind tables ({sorted(sections)})")

    check_msvclib(lib_path)

    for path in sys.argv[5:]:
        client = pefile.PE(path)
        label = path.rsplit("/", 1)[-1]
        imported, hints = {}, {}
        for entry in getattr(client, "DIRECTORY_ENTRY_IMPORT", []):
            imported.setdefault(entry.dll.decode().lower(), []).extend(
                i.name.decode() for i in entry.imports if i.name)
            hints.update((i.name.decode(), i.hint) for i in entry.imports if i.name)
        lib = imported.pop("installqvn.exe", [])
        want = MSVC_CLIENT_IMPORTS if label.startswith("msvc_client") else INTERFACE
        check(sorted(lib) == sorted(want), f"{label} imports its {len(want)} functions by decorated name")
        if sorted(lib) != sorted(want):
            print(f"  {label}: missing {sorted(set(want) - set(lib))[:5]}, "
                  f"unexpected {sorted(set(lib) - set(want))[:5]}")
        if want is MSVC_CLIENT_IMPORTS:
            check(all(hints[n] == INTERFACE.index(n) for n in lib),
                  f"{label}: each import's hint is its name's place in the export table")
        for name in imported:
            check(name in WINDOWS_DLLS, f"{label}: otherwise imports only Windows' own DLLs, not {name}")

    return report()


if __name__ == "__main__":
    sys.exit(main())
