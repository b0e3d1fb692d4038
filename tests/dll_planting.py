#!/usr/bin/python3
"""Safe DLL loading: a medium full of planted DLLs must not be used.

usage: dll_planting.py WINE-RUN BUILD-DIR BIN-DIR

Runs the setup once to learn every DLL it loads, then plants a DLL under
each of those names in the medium folder (the program's own folder and the
current one), tells Wine to prefer native DLLs of those names, and runs the
setup again with the loader traced. No DLL may come from the medium folder:
Brannic.dll is loaded from the checked bytes in a private folder.

Windows takes its known DLLs (and the loader's own) from the system folder
whatever lies beside a program, and resolves their imports before the
program's first instruction. Wine does not model that protection, and its
own builds of those DLLs import further DLLs (its C runtime among them). So
for the known DLLs the setup imports, and everything Wine's builds of them
import in turn, the planted copies lie in the medium but Wine is not told to
prefer them. Every other DLL, the common controls and the DLLs loaded at
run time among them, is planted and preferred.
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_setup as e2e  # noqa: E402
import tally  # noqa: E402
import pefile  # noqa: E402

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of a
# current Windows, and the DLLs the loader maps before any program code runs.
KNOWN = {"advapi32", "clbcatq", "combase", "comdlg32", "coml2", "difxapi", "gdi32", "gdiplus",
         "imagehlp", "imm32", "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32",
         "psapi", "rpcrt4", "sechost", "setupapi", "shcore", "shell32", "shlwapi", "user32",
         "wldap32", "ws2_32", "ntdll", "kernelbase", "win32u"}

WINE_DLLS = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"


def imports(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    return {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def loaded_before_start(program):
    """The program's static imports and, transitively, what Wine's builds of
    them import: all mapped before the program runs."""
    todo, seen = list(imports(program)), set()
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        path = os.path.join(WINE_DLLS, name)
        if os.path.exists(path):
            todo += imports(path)
    return seen


LOADED = re.compile(r'Loaded L"([^"]+)" at [0-9A-Fa-f]+: (\w+)')


def traced_run(s, medium, product, overrides=""):
    env = dict(os.environ, WINEDEBUG="-all,+loaddll", QVN_DLLOVERRIDES=overrides)
    args = [s.wine, s.prefix, os.path.join(s.bindir, "e2e_driver.exe"), "install", e2e.dos(medium),
            e2e.dos(os.path.join(product, "LicenseQvn.txt")), e2e.dos(os.path.join(product, "ReadfirstQvn.txt"))]
    out = subprocess.run(args, capture_output=True, text=True, errors="replace", env=env, timeout=300)
    print(out.stdout.strip(), flush=True)
    # The trace writes paths as escaped strings: \\ for each backslash.
    return e2e.finished(out, "install"), [(p.replace("\\\\", "\\"), kind) for p, kind in LOADED.findall(out.stderr)]


def main():
    wine, build, bindir = (os.path.abspath(a) for a in sys.argv[1:4])
    s = e2e.Setup(wine, os.path.join(build, "planting"), bindir)
    product = os.path.join(s.root, "product")
    medium = os.path.join(s.root, "medium")
    e2e.make_product(product)
    # As the medium tool lays it: the setup checks the medium with the
    # system's SHA-256, whose DLLs are planted too.
    s.lay_listed_medium(product, medium)

    passed, loads = traced_run(s, medium, product)
    e2e.check(passed, "a clean run installs")
    names = sorted({os.path.basename(p.replace("\\", "/")).lower() for p, _ in loads
                    if p.lower().endswith(".dll")} - {"brannic.dll"})
    print("the setup and its driver load:", " ".join(names))
    e2e.check(len(names) > 5, "the trace lists what was loaded")

    s.clean()
    for name in names:
        shutil.copy(os.path.join(bindir, "planted.dll"), os.path.join(medium, name))
    static = loaded_before_start(os.path.join(bindir, "InstallQvn.exe"))
    for name in imports(os.path.join(bindir, "InstallQvn.exe")):
        e2e.check(name[:-4] in KNOWN, f"the setup imports {name}, a known DLL")
    preferred = [n[:-4] for n in names if n[:-4] not in KNOWN and n not in static]
    e2e.check("comctl32" in preferred, "the common controls are among the DLLs planted and preferred")
    overrides = ",".join(preferred) + "=n,b"
    print("preferring native:", overrides)
    passed, loads = traced_run(s, medium, product, overrides)
    medium_dos = e2e.dos(medium).lower()
    # Wine reports its own build of a DLL under the path of a file of that
    # name it found; only a native load means the planted file was used.
    planted = sorted({p for p, kind in loads if kind == "native" and p.lower().startswith(medium_dos)
                      and not p.lower().endswith(("\\brannic.dll", "\\installqvn.exe"))})
    brannic = [p for p, _ in loads if p.lower().endswith("\\brannic.dll")]
    e2e.check(not planted, f"no planted DLL was loaded from the medium folder {planted}")
    # The medium's list is filled: the checked bytes are loaded from a
    # private folder, never the medium's file.
    e2e.check(len(brannic) == 1 and re.search(r"\\qvn[0-9a-f]{32}\\brannic\.dll$", brannic[0].lower())
              and not brannic[0].lower().startswith(medium_dos),
              f"Brannic.dll was loaded once, from its private folder {brannic}")
    e2e.check(passed, "the setup installs with the planted DLLs beside it")
    e2e.check_installed(s, product)
    subprocess.run(["env", f"WINEPREFIX={s.prefix}", "wineserver", "-k"], capture_output=True)
    return tally.report()


if __name__ == "__main__":
    sys.exit(main())
