#!/usr/bin/env python3
"""The guides' Markdown sources hold no line break between two CJK characters: Markdown joins the
lines of a paragraph with the line break kept as white space, which a browser shows as a stray
space in the middle of Chinese text. A line that ends with a CJK character (or CJK punctuation)
may not be followed, in the same paragraph, by a line that starts with one; the markup around the
text (emphasis, code marks, link brackets) does not count. Code blocks keep their line breaks and
are not looked at; nor are lines that start a block of their own (a heading, a list item, a table
row, a quote).

usage: check_guide_text.py GUIDE.md...
"""
import re
import sys
import unicodedata

from e2e_support import fail

FENCE = re.compile(r"\s*(```|~~~)")
BLOCK_START = re.compile(r"\s*(#|\||>|[-*+]\s|\d+[.)]\s|```|~~~)")
MARKUP = "*_`~"


def is_cjk(character):
    return unicodedata.east_asian_width(character) in ("W", "F")


def last_shown(line):
    text = line.rstrip()
    # A link's last shown character is its text's: "[文字](target)".
    link = re.search(r"\]\([^()]*\)$", text)
    if link:
        text = text[:link.start()]
    text = text.rstrip(MARKUP + "]")
    return text[-1] if text else ""


def first_shown(line):
    text = line.lstrip().lstrip(MARKUP + "[")
    return text[0] if text else ""


def breaks(path):
    """(line number, the two characters) of each break between CJK characters in the file."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found, in_code = [], False
    for number, (line, following) in enumerate(zip(lines, lines[1:]), 1):
        if FENCE.match(line):
            in_code = not in_code
            continue
        if in_code or not line.strip() or not following.strip():
            continue
        if line.lstrip().startswith(("#", "|")) or BLOCK_START.match(following):
            continue
        a, b = last_shown(line), first_shown(following)
        if a and b and is_cjk(a) and is_cjk(b):
            found.append((number, a + b))
    return found


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    problems = []
    for path in sys.argv[1:]:
        found = breaks(path)
        problems += [f"{path}:{n}: a line break between {pair[0]} and {pair[1]} (join the lines, "
                     "or break next to a non-CJK character)" for n, pair in found]
        print(f"{path}: no line break between CJK characters" if not found else
              f"{path}: {len(found)} line break(s) between CJK characters")
    if problems:
        fail("\n" + "\n".join(problems))


if __name__ == "__main__":
    main()
