#!/usr/bin/env python3
"""Runs the built tarvok-run and checks what it does, one check per test.

usage: run_tool_check.py CHECK TOOL EXAMPLE WORK_DIR
CHECK is one of: example, layout, options, worked, errors.
"""
import os
import re
import sys
from fractions import Fraction

from e2e_support import Program, expect_equal, f32_bits_of_decimal, fail, write_file


def data_lines(text):
    """The lines of a text without the header line or a final line end."""
    body = text[text.index("\n") + 1:]
    return re.split(r"\r?\n", re.sub(r"\r?\n$", "", body))


def plain_float_bits(decimal):
    """The bits of the float nearest a decimal the tool writes: plain (no sign, no exponent), at
    least 1 and below 2^24 as the example's prices and stops are, and its digits, read as one
    whole number, at most 10^9 (a float needs nine)."""
    match = re.fullmatch(r"([0-9]+)(?:\.([0-9]+))?", decimal)
    if not match or re.fullmatch(r"[0.]*", decimal):
        fail(f"not a plain decimal: {decimal!r}")
    if not 1 <= Fraction(decimal) < 2 ** 24 or int(match.group(1) + (match.group(2) or "")) > 10 ** 9:
        fail(f"{decimal!r} is not a plain decimal from 1 to 2^24 of at most nine digits")
    return f32_bits_of_decimal(decimal)


def check_example(tool, example, work):
    # Each stop value in decimal is the float whose bits --exact prints; on a bar of state 0 it is
    # the close.
    # First the check's own rounding, on known answers: ties to even either way, and a decimal
    # just above a tie that float() then a narrowing to binary32 would round down.
    for text, bits in (("0.1", 0x3DCCCCCD), ("16777217", 0x4B800000), ("16777219", 0x4B800002),
                       ("1.000000059604644775390625000000000001", 0x3F800001)):
        expect_equal(f"the float nearest {text}", f"{f32_bits_of_decimal(text):08x}", f"{bits:08x}")
    decimal = tool.ok(example, quiet=True).out
    exact = tool.ok("--exact", example, quiet=True).out
    if not decimal.startswith("bar,stop,state\n") or not exact.startswith("bar,stop,state\n"):
        fail("no header row")
    rows, exact_rows = data_lines(decimal), data_lines(exact)
    with open(example, newline="") as f:
        bars = data_lines(f.read())
    n = len(bars)
    expect_equal("rows", f"{len(rows)} {len(exact_rows)}", f"{n} {n}")
    flat = 0
    for j, (row, exact_row) in enumerate(zip(rows, exact_rows)):
        match = re.fullmatch(rf"{j},([0-9.]+),(-?[0-9]+)", row)
        if not match:
            fail(f"row {j}: {row!r}")
        stop, state = match.groups()
        stop_bits = plain_float_bits(stop)
        exact_match = re.fullmatch(rf"{j},([0-9a-f]{{8}}),{re.escape(state)}", exact_row)
        if not exact_match:
            fail(f"--exact row {j}: {exact_row!r} after {row!r}")
        expect_equal(f"row {j}: {row} in bits", f"{stop_bits:08x}", exact_match.group(1))
        if int(state) == 0:
            close = bars[j].split(",")[4]
            expect_equal(f"row {j}: {row} vs close {close}", f"{stop_bits:08x}",
                         f"{plain_float_bits(close):08x}")
            flat += 1
    if flat in (0, n):
        fail(f"{flat} of {n} bars have state 0; the check needs some with and without")


def check_layout(tool, example, work):
    # Case and blanks in the header, extra columns, CR LF, a blank last line and standard input
    # change nothing.
    expected = tool.ok(example, quiet=True).out
    with open(example, newline="") as f:
        text = f.read()
    text = text.replace("\n", ",extra\r\n")
    text = text.replace("date,open,high,low,close", "Date, OPEN ,High,\tLOW,CLOSE ")
    variant = os.path.join(work, "variant.csv")
    write_file(variant, text + "\r\n")
    expect_equal("variant layout", tool.ok(variant, quiet=True).out, expected)
    expect_equal("standard input", tool.ok(stdin=example, quiet=True).out, expected)
    expect_equal("standard input as -", tool.ok("-", stdin=example, quiet=True).out, expected)


def check_options(tool, example, work):
    # The options reach function 10, which rounds the period half up; the defaults are 14 and 2.
    default = tool.ok(example, quiet=True).out
    expect_equal("--period 14 --multiplier 2",
                 tool.ok("--period", "14", "--multiplier", "2", example, quiet=True).out, default)
    period9 = tool.ok("--period=9", example, quiet=True).out
    expect_equal("--period 8.5", tool.ok("--period", "8.5", example, quiet=True).out, period9)
    multiplier3 = tool.ok("--multiplier", "3", example, quiet=True).out
    if period9 == default or multiplier3 == default:
        fail("--period 9 or --multiplier 3 made no difference")
    usage = tool.ok("--help", quiet=True).out
    if not usage.startswith("usage: tarvok-run "):
        fail(f"--help printed: {usage}")


def check_worked(tool, example, work):
    # The worked example of the indicator tests (period 2, multiplier 1) with bar 5 widened to
    # 11..15, so that its true range is its own range, high minus low; and a series too short to
    # run.
    worked = os.path.join(work, "worked.csv")
    write_file(worked, "low,close,high\n9,9.5,10\n10,10.5,11\n11,11.5,12\n12,12.5,13\n"
                       "13,13.5,14\n11,12.5,15\n11,11.5,12\n10,10.5,11\n9,9.5,10\n8,8.5,9\n")
    expect_equal("worked example", tool.ok("--period", "2", "--multiplier", "1", worked, quiet=True).out,
                 "bar,stop,state\n0,9.5,0\n1,10.5,0\n2,11.5,0\n3,11,-3\n"
                 "4,12,-4\n5,12.5,0\n6,14.25,1\n7,12,1\n8,11,3\n9,10,4\n")
    short = os.path.join(work, "short.csv")
    write_file(short, "high,low,close\n10,9,9.5\n11,10,10.5\n12,11,11.5\n13,12,12.5\n")
    expect_equal("four bars", tool.ok("--exact", short, quiet=True).out,
                 "bar,stop,state\n0,00000000,0\n1,00000000,0\n2,00000000,0\n3,00000000,0\n")


def check_errors(tool, example, work):
    # One line on stderr naming the file and line, exit status 2, nothing on stdout.
    def expect_error(pattern, *arguments, stdin=None):
        result = tool.run(*arguments, stdin=stdin)
        if (result.status != 2 or result.stdout or
                not re.fullmatch(f"tarvok-run: {pattern}[^\n]*\n", result.err)):
            fail(f"{result}; expected exit 2, no output and one error line matching {pattern!r}")

    with open(example, newline="") as f:
        text = f.read()
    bad_number = os.path.join(work, "bad_number.csv")
    write_file(bad_number, "high,low,close\r\n1,2,3\r\n1,abc,3\r\n")
    ragged = os.path.join(work, "ragged_last.csv")
    write_file(ragged, text + "1,2,3\n")
    ragged_last_line = (text + "1,2,3\n").count("\n")
    header_only = os.path.join(work, "header_only.csv")
    write_file(header_only, "high,low,close\n")
    empty = os.path.join(work, "empty.csv")
    write_file(empty, "")
    folder = "[^\n]*/"
    expect_error(folder + r"bad_number\.csv:3: column 'low': not a number: \"abc\"", bad_number)
    expect_error("<stdin>:3: column 'low': not a number", stdin=bad_number)
    expect_error(folder + rf"ragged_last\.csv:{ragged_last_line}: 3 fields, expected 6", ragged)
    expect_error(folder + r"header_only\.csv: no bars", header_only)
    expect_error("<stdin>: empty input", stdin=empty)
    expect_error(folder + r"missing\.csv: ", os.path.join(work, "missing.csv"))
    expect_error(r"unknown option \"--frobnicate\"", "--frobnicate", example)
    expect_error("--period 101: must be 2 to 100", "--period", "101", example)


CHECKS = {"example": check_example, "layout": check_layout, "options": check_options,
          "worked": check_worked, "errors": check_errors}


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in CHECKS:
        fail(f"usage: run_tool_check.py {{{','.join(CHECKS)}}} TOOL EXAMPLE WORK_DIR")
    check, tool, example, work = sys.argv[1:]
    os.makedirs(work, exist_ok=True)
    CHECKS[check](Program(tool), example, work)
    print(f"tool_{check}: as expected")


if __name__ == "__main__":
    main()
