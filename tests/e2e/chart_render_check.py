#!/usr/bin/env python3
"""tarvok-run --chart drawn by a real SVG renderer (librsvg's rsvg-convert): the picture is not
blank, shows the stop line in both phase colours and the bars, and the CSV output is the same as
without the chart.

usage: chart_render_check.py TOOL RSVG_CONVERT EXAMPLE_CSV WORK_DIR
"""
import os
import sys

from PIL import Image

from e2e_support import Program, fail

RED = (0xD7, 0x19, 0x1C)    # the stop line in rising phases
GREEN = (0x1A, 0x96, 0x41)  # the stop line in falling phases


def near(pixel, colour, tolerance=40):
    return sum(abs(a - b) for a, b in zip(pixel[:3], colour)) <= tolerance


def render(tool, rsvg, bars, work, name):
    svg, png = f"{work}/{name}.svg", f"{work}/{name}.png"
    charted = tool.run("--exact", "--chart", svg, bars)
    plain = tool.run("--exact", bars)
    if charted.status != 0 or charted.stderr:
        fail(f"{name}: exit {charted.status}: {charted.err}")
    if charted.out != plain.out:
        fail(f"{name}: the CSV output changes with --chart")
    rsvg.ok("-b", "white", "-o", png, svg)
    image = Image.open(png).convert("RGB")
    pixels = list(image.getdata())
    return image.size, pixels, os.path.getsize(svg)


def check(name, size, pixels, line_colours):
    if size[0] < 800 or size[1] < 400:
        fail(f"{name}: rendered at {size}, too small to read")
    inked = sum(1 for p in pixels if p != (255, 255, 255))
    if inked < len(pixels) // 50:
        fail(f"{name}: blank: {inked} of {len(pixels)} pixels drawn")
    for label, colour in (("red", RED), ("green", GREEN)):
        count = sum(1 for p in pixels if near(p, colour))
        if count < 200:
            fail(f"{name}: only {count} pixels of the {label} stop line")
    distinct = len(set(pixels))
    if distinct < line_colours:
        fail(f"{name}: only {distinct} colours")
    return inked


def main():
    tool, rsvg, example, work = sys.argv[1:]
    tool, rsvg = Program(tool), Program(rsvg)
    os.makedirs(work, exist_ok=True)

    size, pixels, svg_bytes = render(tool, rsvg, example, work, "candles")
    inked = check("candles", size, pixels, 8)
    print(f"candles: {size[0]}x{size[1]}, {inked} pixels drawn, SVG {svg_bytes} bytes")

    # Without open and date columns: the close line and bar numbers.
    with open(example) as f:
        rows = [line.rstrip("\n").split(",") for line in f]
    columns = [rows[0].index(c) for c in ("high", "low", "close")]
    close_only = f"{work}/close_only.csv"
    with open(close_only, "w") as f:
        for row in rows:
            f.write(",".join(row[c] for c in columns) + "\n")
    size, pixels, svg_bytes = render(tool, rsvg, close_only, work, "close_line")
    inked = check("close_line", size, pixels, 6)
    print(f"close line: {size[0]}x{size[1]}, {inked} pixels drawn, SVG {svg_bytes} bytes")


if __name__ == "__main__":
    main()
