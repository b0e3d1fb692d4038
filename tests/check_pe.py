#!/usr/bin/python3
"""Static checks of the shipped i686 files.

usage: check_pe.py InstallQvn.exe Brannic.dll exports.txt

Export table (names, ordinals in byte order, module name), imports from
Windows' own DLLs only, PE32 with ASLR and DEP, and Brannic.dll's zlib.
"""
import sys

import pefile

from tally import check, report

# DLLs that ship with every Windows; nothing of a compiler's runtime.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
                "shell32.dll", "ole32.dll", "advapi32.dll", "msvcrt.dll"}


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
    imports = [e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    for name in imports:
        check(name in WINDOWS_DLLS, f"{label}: imports only Windows' own DLLs, not {name}")


def main():
    exe_path, dll_path, list_path = sys.argv[1:4]
    exe = pefile.PE(exe_path)
    common(exe, "InstallQvn.exe")
    check(exe.OPTIONAL_HEADER.Subsystem == 2, "InstallQvn.exe: GUI subsystem")
    check(not exe.FILE_HEADER.Characteristics & 0x2000, "InstallQvn.exe: an executable, not a DLL")

    exp = exe.DIRECTORY_ENTRY_EXPORT
    check(exe.get_string_at_rva(exp.struct.Name) == b"InstallQvn.exe", "export table names InstallQvn.exe")
    check(exp.struct.Base == 1, "ordinals start at 1")
    got = sorted(((s.ordinal, s.name.decode() if s.name else None) for s in exp.symbols))
    want_names = sorted(listed_names(list_path), key=lambda n: n.encode("ascii"))
    want = list(enumerate(want_names, 1))
    check(got == want, "exports are exactly the listed names, ordinals 1..n in byte order")
    if got != want:
        for g, w in zip(got, want):
            if g != w:
                print("  first difference: got", g, "want", w)
                break
        print("  got", len(got), "want", len(want))

    dll = pefile.PE(dll_path)
    common(dll, "Brannic.dll")
    check(dll.FILE_HEADER.Characteristics & 0x2000, "Brannic.dll: a DLL")
    names = {s.name.decode() for s in dll.DIRECTORY_ENTRY_EXPORT.symbols if s.name}
    check({"compress", "uncompress", "compressBound"} <= names, "Brannic.dll exports zlib's three calls")

    return report()


if __name__ == "__main__":
    sys.exit(main())
