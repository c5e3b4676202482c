#!/usr/bin/env python3
"""Builds the release zip with CPack and checks what a trader gets: exactly the DLL and
tarvok-run.exe (both stripped, for the same machine, importing only system DLLs), the formula to
import (GBK, CR LF), the two guides with their picture and the licence; and the DLL's version
resource as Windows' file properties show it.

usage: check_package.py CPACK BUILD_DIR WORK_DIR SOURCE_DIR VERSION DLL MACHINE
MACHINE is the PE machine the DLL and the tool must be built for: i386 or amd64.
"""
import sys
import zipfile

import pefile

from e2e_support import SYSTEM_DLLS, Program, fail

MACHINES = {"i386": 0x14C, "amd64": 0x8664}


def version_strings(dll_bytes):
    pe = pefile.PE(data=dll_bytes)
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    return pe.FILE_HEADER.Machine, strings, fixed


def check_binary(name, data, machine):
    """A shipped program or DLL: built for the machine, stripped, importing only system DLLs."""
    pe = pefile.PE(data=data)
    if pe.FILE_HEADER.Machine != MACHINES[machine]:
        fail(f"{name} is built for machine {pe.FILE_HEADER.Machine:#x}, expected {machine}")
    # A name longer than 8 bytes is "/offset" into the string table after the symbols.
    strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
    names = []
    for section in pe.sections:
        n = section.Name.rstrip(b"\0")
        if n.startswith(b"/") and pe.FILE_HEADER.PointerToSymbolTable:
            at = strings + int(n[1:])
            n = data[at:data.index(b"\0", at)]
        names.append(n.decode())
    debug = [n for n in names if n.startswith(".debug")]
    if pe.FILE_HEADER.NumberOfSymbols or debug:
        fail(f"{name} is not stripped: {pe.FILE_HEADER.NumberOfSymbols} symbols, sections {debug}")
    imports = {i.dll.decode().lower() for i in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    if not imports or not imports <= SYSTEM_DLLS:
        fail(f"{name} imports {sorted(imports)}, not only system DLLs")


def main():
    cpack, build_dir, work_dir, source_dir, version, dll, machine = sys.argv[1:]
    Program(cpack).ok("-G", "ZIP", "-B", work_dir, cwd=build_dir)
    system = "win32" if machine == "i386" else "win64"
    top = f"tarvok-{version}-{system}"
    path = f"{work_dir}/{top}.zip"
    with zipfile.ZipFile(path) as z:
        files = {i.filename[len(top) + 1:]: z.read(i) for i in z.infolist()
                 if not i.is_dir() and i.filename.startswith(top + "/")}
        strays = [i.filename for i in z.infolist()
                  if not i.is_dir() and not i.filename.startswith(top + "/")]
    expected = {"tarvok.dll", "tarvok-run.exe", "tarvok_formula.txt", "README.md",
                "README.zh-CN.md", "LICENSE.txt", "docs/example_chart.png"}
    if strays or set(files) != expected:
        fail(f"{path} holds {sorted(files)} {strays}, expected {sorted(expected)} under {top}/")

    with open(dll, "rb") as f:
        if files["tarvok.dll"] != f.read():
            fail("the packed tarvok.dll is not the built one")
    for name, source in [("README.md", "README.md"), ("README.zh-CN.md", "README.zh-CN.md"),
                         ("LICENSE.txt", "LICENSE"), ("docs/example_chart.png", "docs/example_chart.png")]:
        with open(f"{source_dir}/{source}", "rb") as f:
            if files[name] != f.read():
                fail(f"the packed {name} is not {source}")
    if not files["docs/example_chart.png"].startswith(b"\x89PNG\r\n\x1a\n"):
        fail("docs/example_chart.png is no PNG")

    # The formula: strict GBK, every line ended by CR LF, the same text as the source.
    formula = files["tarvok_formula.txt"]
    try:
        text = formula.decode("gbk")
    except UnicodeDecodeError as e:
        fail(f"tarvok_formula.txt is not GBK: {e}")
    if not text.endswith("\r\n") or text.replace("\r\n", "").count("\n") or text.replace("\r\n", "").count("\r"):
        fail("tarvok_formula.txt has a line end other than CR LF")
    with open(f"{source_dir}/plugin/tarvok_formula.txt", encoding="utf-8") as f:
        source = f.read()
    if text.replace("\r\n", "\n") != source:
        fail("tarvok_formula.txt is not the text of plugin/tarvok_formula.txt")
    for call in ("TDXDLL1(10,", "TDXDLL1(9,", "TDXDLL1(11,"):
        if call not in text:
            fail(f"tarvok_formula.txt does not call {call}")

    for name in ("tarvok.dll", "tarvok-run.exe"):
        check_binary(name, files[name], machine)

    found_machine, strings, fixed = version_strings(files["tarvok.dll"])
    if found_machine != MACHINES[machine]:
        fail(f"tarvok.dll is built for machine {found_machine:#x}, expected {machine}")
    for key, value in [("FileVersion", version), ("ProductVersion", version),
                       ("ProductName", "tarvok"), ("OriginalFilename", "tarvok.dll")]:
        if strings.get(key) != value:
            fail(f"version resource: {key} is {strings.get(key)!r}, expected {value!r}")
    if "band-stop" not in strings.get("FileDescription", ""):
        fail(f"version resource: FileDescription is {strings.get('FileDescription')!r}")
    major, minor, patch = (int(p) for p in version.split("."))
    if fixed is None or (fixed.FileVersionMS, fixed.FileVersionLS) != (major << 16 | minor, patch << 16):
        fail("version resource: the fixed file version is not " + version)
    print(f"{path}: {len(files)} files, version {version}, formula {len(formula)} bytes of GBK")


if __name__ == "__main__":
    main()
