#!/usr/bin/env python3
"""Static checks of the built plug-in, run without loading it.

usage: check_plugin_binary.py [--files BINARY... --control GBK_TEXT]
                              [--nm NM --library LIBTARVOK_SO --exports a,b]
With --files: no binary holds the formula's plain text (the control, which does, shows that the
search would see it). With --library: the library exports exactly these names.
"""
import argparse
import re

from e2e_support import Program, expect_exports, fail

# Every call of the formula names the plug-in's functions by this word.
MARKER = b"TDXDLL1"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", nargs="+")
    parser.add_argument("--control")
    parser.add_argument("--nm")
    parser.add_argument("--library")
    parser.add_argument("--exports")
    a = parser.parse_args()
    if not (a.files or a.library) or (a.files and not a.control) or \
            (a.library and not (a.nm and a.exports)):
        parser.error("give --files with --control, and/or --library with --nm and --exports")

    if a.files:
        with open(a.control, "rb") as f:
            if MARKER not in f.read():
                fail(f"the control {a.control} does not show {MARKER.decode()!r}: the check sees nothing")
        for binary in a.files:
            with open(binary, "rb") as f:
                data = f.read()
            at = data.find(MARKER)
            if at >= 0:
                fail(f"{binary} holds the formula text in plain form: {data[max(0, at - 40):at + 80]!r}")
            print(f"no {MARKER.decode()!r} in {binary}")

    if a.library:
        symbols = Program(a.nm).ok("-D", "--defined-only", a.library).out
        found = [m.group(1) for m in map(re.compile(r"[0-9a-fA-F]* *[A-Za-z] ([^ ]+)").fullmatch,
                                         symbols.splitlines()) if m]
        expect_exports(a.library, found, a.exports.split(","))


if __name__ == "__main__":
    main()
