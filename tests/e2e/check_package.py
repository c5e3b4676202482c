#!/usr/bin/env python3
"""Builds the release zip with CPack and checks what a trader gets: exactly the DLL and
tarvok-run.exe (both stripped, for the same machine, importing only system DLLs); the indicator
formula and the two screening formulas to paste into the terminal and the scan's .bat for cmd,
each strict GBK with CR LF and the text of its source in the repository; the two guides as
self-contained HTML pages (UTF-8, the picture inlined, linking to each other by their names in the
zip); the licence; non-ASCII names flagged as UTF-8, as Windows' unpacker reads them; and the DLL's
version resource as Windows' file properties show it.

usage: check_package.py CPACK BUILD_DIR WORK_DIR SOURCE_DIR VERSION DLL MACHINE
MACHINE is the PE machine the DLL and the tool must be built for: i386 or amd64.
"""
import base64
import re
import sys
import urllib.parse
import zipfile

import pefile

from e2e_support import SYSTEM_DLLS, Program, fail

MACHINES = {"i386": 0x14C, "amd64": 0x8664}

# The texts the zip holds as GBK with CR LF, and their UTF-8 sources in the repository.
GBK_TEXTS = {"tarvok_formula.txt": "plugin/tarvok_formula.txt",
             "tarvok_select_rising.txt": "plugin/tarvok_select_rising.txt",
             "tarvok_select_falling.txt": "plugin/tarvok_select_falling.txt",
             "扫描全市场.bat": "packaging/scan_market.bat"}
# The guides' pages, their sources, their language and the page each links to.
GUIDES = {"使用说明.html": ("README.zh-CN.md", "zh-CN", "guide-en.html"),
          "guide-en.html": ("README.md", "en", "使用说明.html")}
# The line that hands N and M to the plug-in, and the warning the line above it must carry.
PARAMETERS_LINE = "X:=TDXDLL1(10,N,M,0);"
KEEP_WARNING = "切勿删除"


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


def gbk_text(name, data, source_dir, source):
    """A text of the zip: strict GBK, every line ended by CR LF but the last one's end, which the
    source decides, and the source's text; returned decoded, with LF."""
    try:
        text = data.decode("gbk")
    except UnicodeDecodeError as e:
        fail(f"{name} is not GBK: {e}")
    bare = text.replace("\r\n", "")
    if "\n" in bare or "\r" in bare:
        fail(f"{name} has a line end other than CR LF")
    with open(f"{source_dir}/{source}", encoding="utf-8") as f:
        expected = f.read()
    if text.replace("\r\n", "\n") != expected:
        fail(f"{name} is not the text of {source}")
    if data != expected.replace("\n", "\r\n").encode("gbk"):
        fail(f"{name} is not the GBK, CR LF form of {source}")
    return text.replace("\r\n", "\n")


def check_formula(name, text, calls):
    """A formula: it calls the plug-in's functions, and hands N and M over on a line of its own
    under the warning not to delete it."""
    for call in calls:
        if call not in text:
            fail(f"{name} does not call {call}")
    lines = text.split("\n")
    if PARAMETERS_LINE not in lines:
        fail(f"{name} has no line {PARAMETERS_LINE}")
    above = lines[lines.index(PARAMETERS_LINE) - 1]
    if KEEP_WARNING not in above:
        fail(f"{name}: the line above {PARAMETERS_LINE} does not warn against deleting it: "
             f"{above!r}")


def check_guide(name, data, source_dir, picture, names):
    """A guide's page: UTF-8 with a meta charset and its language, the picture inlined as a data:
    URI that holds the repository's picture, no reference to a file outside the page but the other
    guide, which the zip holds."""
    source, lang, other = GUIDES[name]
    try:
        page = data.decode("utf-8")
    except UnicodeDecodeError as e:
        fail(f"{name} is not UTF-8: {e}")
    if '<meta charset="utf-8">' not in page.lower() or f'<html lang="{lang}">' not in page:
        fail(f"{name} lacks its meta charset or its language {lang}")
    sources = re.findall(r'<img\b[^>]*\bsrc="([^"]*)"', page)
    prefix = "data:image/png;base64,"
    if not sources or any(not s.startswith(prefix) for s in sources):
        fail(f"{name}: pictures {[s[:40] for s in sources]}, expected each inlined as {prefix}")
    if any(base64.b64decode(s[len(prefix):], validate=True) != picture for s in sources):
        fail(f"{name}: an inlined picture is not docs/example_chart.png")
    hrefs = re.findall(r'<a\b[^>]*\bhref="([^"]*)"', page)
    links = {urllib.parse.unquote(h.split("#")[0]) for h in hrefs if not re.match(r"[a-z]+:|#", h)}
    if links != {other} or other not in names:
        fail(f"{name} links to the files {sorted(links)}, expected only {other}, which the zip "
             "holds")
    # The guide's own text, not a placeholder: its first heading.
    with open(f"{source_dir}/{source}", encoding="utf-8") as f:
        heading = f.readline().lstrip("# ").strip()
    if f">{heading}</h1>" not in page:
        fail(f"{name} does not show the heading of {source}: {heading!r}")


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
    expected = {"tarvok.dll", "tarvok-run.exe", "LICENSE.txt", *GBK_TEXTS, *GUIDES}
    if strays or set(files) != expected:
        fail(f"{path} holds {sorted(files)} {strays}, expected {sorted(expected)} under {top}/")
    # Without the UTF-8 flag an unpacker takes a name for the system's code page.
    with zipfile.ZipFile(path) as z:
        unflagged = [i.filename for i in z.infolist()
                     if not i.filename.isascii() and not i.flag_bits & 0x800]
    if unflagged:
        fail(f"names not flagged as UTF-8: {unflagged}")

    with open(dll, "rb") as f:
        if files["tarvok.dll"] != f.read():
            fail("the packed tarvok.dll is not the built one")
    with open(f"{source_dir}/LICENSE", "rb") as f:
        if files["LICENSE.txt"] != f.read():
            fail("the packed LICENSE.txt is not LICENSE")

    texts = {name: gbk_text(name, files[name], source_dir, source)
             for name, source in GBK_TEXTS.items()}
    check_formula("tarvok_formula.txt", texts["tarvok_formula.txt"],
                  ("TDXDLL1(10,", "TDXDLL1(9,", "TDXDLL1(11,"))
    for name in ("tarvok_select_rising.txt", "tarvok_select_falling.txt"):
        check_formula(name, texts[name], ("TDXDLL1(10,", "TDXDLL1(11,"))
    bat = texts["扫描全市场.bat"]
    if not bat.startswith("@echo off\n") or "tarvok-run.exe" not in bat:
        fail("扫描全市场.bat does not start with @echo off or does not run tarvok-run.exe")

    with open(f"{source_dir}/docs/example_chart.png", "rb") as f:
        picture = f.read()
    if not picture.startswith(b"\x89PNG\r\n\x1a\n"):
        fail("docs/example_chart.png is no PNG")
    for name in GUIDES:
        check_guide(name, files[name], source_dir, picture, set(files))

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
    print(f"{path}: {len(files)} files, version {version}, formula "
          f"{len(files['tarvok_formula.txt'])} bytes of GBK")


if __name__ == "__main__":
    main()
