#!/usr/bin/env python3
"""Writes a UTF-8 text of the repository (LF line ends) as the release zip holds it for Windows
programs that read the system's Chinese code page: GBK with CR LF line ends. The formulas for the
terminal and the scan's .bat for cmd are made this way.

usage: gbk_crlf.py SOURCE OUTPUT

A character that GBK cannot hold stops the build with its line and column, rather than being
written as '?'.
"""
import sys


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    source, output = argv[1:]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    for number, line in enumerate(lines, 1):
        for column, character in enumerate(line, 1):
            try:
                character.encode("gbk")
            except UnicodeEncodeError:
                sys.exit(f"{source}:{number}:{column}: {character!r} (U+{ord(character):04X}) "
                         "has no GBK form")
    with open(output, "wb") as f:
        f.write("\r\n".join(lines).encode("gbk"))


if __name__ == "__main__":
    main(sys.argv)
