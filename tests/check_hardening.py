#!/usr/bin/python3
"""Hardening and identity of the shipped i686 files.

usage: check_hardening.py InstallQvn.exe Brannic.dll VERSION

Both files: movable (relocations kept, all of the PE32 kind), DEP, no
section both writable and executable, a version resource of the product
with VERSION (major.minor.patch). InstallQvn.exe: terminal-server aware, and
an application manifest that asks for administrator rights, names the
supported Windows versions and no common-controls assembly. Brannic.dll:
not marked terminal-server aware (the mark belongs to programs).
"""
import os
import sys
import xml.etree.ElementTree as ET

import pefile

from tally import check, report

DYNAMIC_BASE, NX_COMPAT, TS_AWARE = 0x0040, 0x0100, 0x8000
RELOCS_STRIPPED = 0x0001
SCN_EXECUTE, SCN_WRITE = 0x20000000, 0x80000000
RT_VERSION, RT_MANIFEST = 16, 24
VFT_APP, VFT_DLL = 1, 2

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}


def resources(pe, rtype):
    """[(name id, language, data)] of one resource type."""
    found = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != rtype:
            continue
        for name in t.directory.entries:
            for lang in name.directory.entries:
                s = lang.data.struct
                found.append((name.id, lang.id, pe.get_data(s.OffsetToData, s.Size)))
    return found


def check_image(pe, label):
    dll = pe.OPTIONAL_HEADER.DllCharacteristics
    check(dll & DYNAMIC_BASE, f"{label}: dynamic base")
    check(dll & NX_COMPAT, f"{label}: NX compatible")
    check(not pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED, f"{label}: relocations not stripped")
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]])
    types = {e.type for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []) for e in block.entries}
    check(pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"] in types, f"{label}: 32-bit base relocations present")
    check(types <= {pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"],
                    pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]},
          f"{label}: only relocations a PE32 loader applies (got types {sorted(types)})")
    for s in pe.sections:
        name = s.Name.rstrip(b"\0").decode("ascii", "replace")
        both = s.Characteristics & SCN_EXECUTE and s.Characteristics & SCN_WRITE
        check(not both, f"{label}: section {name} is not both writable and executable")


def check_version(pe, label, version, file_type):
    found = resources(pe, RT_VERSION)
    if not check(len(found) == 1, f"{label}: one version resource (found {len(found)})"):
        return
    major, minor, patch = version
    text = f"{major}.{minor}.{patch}"
    fixed = pe.VS_FIXEDFILEINFO[0]
    ms, ls = (major << 16) | minor, patch << 16
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (ms, ls), f"{label}: fixed file version {text}.0")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (ms, ls), f"{label}: fixed product version {text}.0")
    check(fixed.FileType == file_type, f"{label}: file type {file_type} (got {fixed.FileType})")
    tables, translations = [], []
    for info in pe.FileInfo[0]:
        for st in getattr(info, "StringTable", []):
            tables.append(st)
        for var in getattr(info, "Var", []):
            t = var.entry.get(b"Translation")
            if t:
                translations.append(t)
    if not check(len(tables) == 1, f"{label}: one string table (found {len(tables)})"):
        return
    st = tables[0]
    strings = {k.decode(): v.decode() for k, v in st.entries.items()}
    # Explorer shows the strings of the block that the translation names.
    lang, codepage = int(st.LangID[:4], 16), int(st.LangID[4:], 16)
    check(translations == [f"0x{lang:04x} 0x{codepage:04x}"],
          f"{label}: translation {translations} names the string table {st.LangID.decode()}")
    check(strings.get("ProductName") == "Quorvane", f"{label}: product name Quorvane (got {strings.get('ProductName')!r})")
    check("Quorvane" in strings.get("FileDescription", ""),
          f"{label}: a file description (got {strings.get('FileDescription')!r})")
    check(strings.get("FileVersion") == text, f"{label}: file version text {text} (got {strings.get('FileVersion')!r})")
    check(strings.get("ProductVersion") == text,
          f"{label}: product version text {text} (got {strings.get('ProductVersion')!r})")
    check(strings.get("OriginalFilename") == label,
          f"{label}: original file name (got {strings.get('OriginalFilename')!r})")


def check_manifest(pe, label, version):
    found = resources(pe, RT_MANIFEST)
    # One manifest, the one CreateProcess reads (id 1); a second would be
    # ignored or make the loader refuse the program.
    if not check([f[0] for f in found] == [1], f"{label}: one manifest, id 1 (found {[f[0] for f in found]})"):
        return
    try:
        root = ET.fromstring(found[0][2])
    except ET.ParseError as e:
        check(False, f"{label}: manifest is well-formed XML ({e})")
        return
    check(root.tag == f"{{{ASM_V1}}}assembly" and root.get("manifestVersion") == "1.0",
          f"{label}: manifest is an assembly, version 1.0")
    ident = root.find(f"{{{ASM_V1}}}assemblyIdentity")
    want = ".".join(map(str, version)) + ".0"
    check(ident is not None and ident.get("version") == want and ident.get("type") == "win32"
          and ident.get("processorArchitecture") == "x86",
          f"{label}: assembly identity win32, x86, version {want}")

    levels = root.findall(f"{{{ASM_V3}}}trustInfo/{{{ASM_V3}}}security/{{{ASM_V3}}}requestedPrivileges/"
                          f"{{{ASM_V3}}}requestedExecutionLevel")
    check([(e.get("level"), e.get("uiAccess")) for e in levels] == [("requireAdministrator", "false")],
          f"{label}: requests administrator rights, no UI access")

    ids = [e.get("Id", "").lower() for e in
           root.findall(f"{{{COMPAT}}}compatibility/{{{COMPAT}}}application/{{{COMPAT}}}supportedOS")]
    for guid, name in SUPPORTED_OS.items():
        check(guid in ids, f"{label}: declares {name} supported")
    check(set(ids) <= set(SUPPORTED_OS), f"{label}: only known Windows versions declared ({ids})")

    names = [e.get("name", "") for e in root.iter() if e.tag.endswith("assemblyIdentity") and e is not ident]
    check(not names, f"{label}: depends on no other assembly (common controls keep the classic look; got {names})")


def main():
    exe_path, dll_path, version_text = sys.argv[1:4]
    version = tuple(int(p) for p in version_text.split("."))[:3]
    exe = pefile.PE(exe_path)
    dll = pefile.PE(dll_path)
    exe_name, dll_name = os.path.basename(exe_path), os.path.basename(dll_path)

    check_image(exe, exe_name)
    check(exe.OPTIONAL_HEADER.DllCharacteristics & TS_AWARE, f"{exe_name}: terminal-server aware")
    check_version(exe, exe_name, version, VFT_APP)
    check_manifest(exe, exe_name, version)

    check_image(dll, dll_name)
    check(not dll.OPTIONAL_HEADER.DllCharacteristics & TS_AWARE,
          f"{dll_name}: not marked terminal-server aware (a mark of programs only)")
    check_version(dll, dll_name, version, VFT_DLL)
    check(not resources(dll, RT_MANIFEST), f"{dll_name}: no manifest")
    return report()


if __name__ == "__main__":
    sys.exit(main())
