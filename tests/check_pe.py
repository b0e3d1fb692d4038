#!/usr/bin/python3
"""Static checks of the shipped i686 files.

usage: check_pe.py InstallQvn.exe Brannic.dll exports.txt [client.exe...]

Export table (the library's 101 names, ordinals in byte order, module
name), imports from Windows' own DLLs only, PE32 with ASLR and DEP, no
time stamps, and Brannic.dll's zlib. Each client.exe is a program linked
against an import library (GNU's or Microsoft's format): it imports every
function by its decorated name from InstallQvn.exe.
"""
import sys

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


def main():
    exe_path, dll_path, list_path = sys.argv[1:4]
    exe = pefile.PE(exe_path)
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
    names = {s.name.decode() for s in dll.DIRECTORY_ENTRY_EXPORT.symbols if s.name}
    check({"compress", "uncompress", "compressBound"} <= names, "Brannic.dll exports zlib's three calls")

    for path in sys.argv[4:]:
        client = pefile.PE(path)
        label = path.rsplit("/", 1)[-1]
        imported = {}
        for entry in getattr(client, "DIRECTORY_ENTRY_IMPORT", []):
            imported.setdefault(entry.dll.decode().lower(), []).extend(
                i.name.decode() for i in entry.imports if i.name)
        lib = imported.pop("installqvn.exe", [])
        check(sorted(lib) == sorted(INTERFACE), f"{label} imports the 101 functions by decorated name")
        if sorted(lib) != sorted(INTERFACE):
            print(f"  {label}: missing {sorted(set(INTERFACE) - set(lib))[:5]}, "
                  f"unexpected {sorted(set(lib) - set(INTERFACE))[:5]}")
        for name in imported:
            check(name in WINDOWS_DLLS, f"{label}: otherwise imports only Windows' own DLLs, not {name}")

    return report()


if __name__ == "__main__":
    sys.exit(main())
