#!/usr/bin/env python3
"""tarvok-run under hostile input: one table of inputs, how the standard streams are set up, the
exit status and the one message expected on standard error (nothing on standard output).

usage: hostile_input_check.py TOOL WORK_DIR EXAMPLE PLUGIN [ECHOING_PLUGIN] [--emulator PROGRAM]
ECHOING_PLUGIN is a plug-in whose function 11 returns the close series. With --emulator (the
Windows tool under Wine), the rows that need the native fake plug-in are left out.
"""
import os
import re
import shutil
import sys

from e2e_support import Program, fail, split_emulator


def main():
    args, emulator = split_emulator(sys.argv[1:])
    tool_path, work, example, plugin = args[:4]
    echoing = args[4] if len(args) > 4 else None
    tool = Program(tool_path, emulator, label="tarvok-run")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(f"{work}/folder")
    os.chdir(work)
    with open(example, "rb") as f:
        bars = f.read()
    files = {
        "input.csv": bars,
        "control.csv": b"high,low,close\n1,2,3\n1,\x1b[31mred\r\f\x00x,3\n",
        "quoted.csv": b'"High","low","close","name"\n"11","9","10","a, ""b"""\n11,9,10.5,\n',
        "plain.csv": b"high,low,close,name\n11,9,10,x\n11,9,10.5,\n",
        "open_quote.csv": b'high,low,close\n1,2,"3\n4"\n',
        "nan_close.csv": b"high,low,close\n11,9,10\n11,9,nan\n",
        "huge_close.csv": b"high,low,close\n11,9,1e30\n",
        "payloads.csv": b"high,low,close\n11,9,nan(123)\n11,9,-nan(0x123)\n" + b"11,9,10\n" * 3,
        "bad_payload.csv": b"high,low,close\n11,9,nan(0x400000)\n",
        "not_a_library.so": b"high,low,close\n",
    }
    for name, data in files.items():
        with open(name, "wb") as f:
            f.write(data)
    with open(plugin, "rb") as f:
        library = f.read()
    with open("cut.so", "wb") as f:
        f.write(library[:4000])
    if not emulator:
        os.symlink("input.csv", "link.csv")

    m = "tarvok-run: "
    # Under Wine a closed standard output still has a handle, and only the write fails.
    closed = m + ("(standard output is not open|cannot write the output: Bad file descriptor)"
                  if emulator else "standard output is not open")
    # (label, arguments, redirection of the tool's streams, status, message pattern or None when
    # standard error is not seen, native only). Wine cannot tell which file its standard input is.
    table = [
        ("directory", ["folder"], "", 2, m + r"folder: is a directory, not a file of bars", False),
        ("--day directory", ["--day", "."], "", 2, m + r"\.: is a directory, not a file of bars", False),
        ("stdout closed", ["input.csv"], ">&-", 1, closed, False),
        ("stdout closed, plug-in", ["--plugin", plugin, "input.csv"], ">&-", 1, closed, False),
        ("stderr full", ["folder"], "2>/dev/full", 2, None, False),
        ("stderr closed", ["folder"], "2>&-", 2, None, False),
        ("endless CSV", ["/dev/zero"], "", 2, m + "/dev/zero:1: line longer than 65536 bytes", False),
        ("endless daily file", ["--day", "/dev/zero"], "", 2,
         m + r"/dev/zero: record 1: 0 is not a date \(YYYYMMDD\)", False),
        ("state NaN", ["--plugin", echoing, "nan_close.csv"], "", 2,
         m + r"function 11 of the plug-in .* gave nan for bar 1: not a whole number of bars", True),
        ("state 1e30", ["--plugin", echoing, "huge_close.csv"], "", 2, m + r"function 11 .* gave 1e\+30 for bar 0", True),
        ("--help to a full disk", ["--help"], ">/dev/full", 1, m + "cannot write the output: No space left on device", False),
        ("control bytes", ["control.csv"], "", 2,
         m + re.escape("control.csv:3: column 'low': not a number: " + r'"\x1b[31mred\x0d\x0c\x00x"'), False),
        ("NaN payload too large", ["bad_payload.csv"], "", 2,
         m + re.escape('bad_payload.csv:2: column \'close\': not a number: "nan(0x400000)"'), False),
        ("line break in quotes", ["open_quote.csv"], "", 2,
         m + r"open_quote.csv:2: field 3: the quote is not closed on this line", False),
        ("chart over the input", ["--chart", "input.csv", "input.csv"], "", 2,
         m + r"--chart input.csv: is the input file input.csv; it would be overwritten", False),
        ("chart over the input, another name", ["--chart", "link.csv", "input.csv"], "", 2,
         m + r"--chart link.csv: is the input file input.csv", True),
        ("chart over the input on stdin", ["--chart", "input.csv"], "<input.csv", 2,
         m + r"--chart input.csv: is the input file <stdin>", True),
        ("plug-in cut short", ["--plugin", "cut.so", "input.csv"], "", 2,
         m + r"cannot load the plug-in cut.so: it is cut short: 4000 bytes, but .* reaches to byte \d+", False),
        ("plug-in not a library", ["--plugin", "not_a_library.so", "input.csv"], "", 2,
         m + r"cannot load the plug-in not_a_library.so: it is not a (shared library \(no ELF|DLL \(no MZ)", False),
    ]
    failures = 0
    for label, arguments, redirect, status, pattern, native_only in table:
        if native_only and emulator:
            continue
        result = tool.run(*arguments, redirect=redirect)
        err = result.stderr.decode("latin-1").replace("\r\n", "\n")
        ok = result.status == status and result.stdout == b""
        if pattern is not None:
            # One line of the tool's; a plug-in may say things of its own around it.
            lines = err.splitlines() if "--plugin" in arguments else [err[:-1]] if err.endswith("\n") else [err]
            own = [line for line in lines if line.startswith(m)]
            ok = ok and len(own) == 1 and re.fullmatch(pattern + r"[^\n]*", own[0]) is not None
        if not ok:
            failures += 1
            print(f"FAIL {label}: exit {result.status} (expected {status}), stdout "
                  f"{result.stdout[:80]!r}, stderr {err!r}, expected {pattern!r}")
    with open("input.csv", "rb") as f:
        if f.read() != bars:
            failures += 1
            print("FAIL the input was overwritten")

    # Inputs that now give results: quoted fields as their plain form, NaN payloads as the rule has
    # them (stop is the close at state 0), and the exit statuses in the usage text.
    def output(*arguments):
        result = tool.run(*arguments)
        return result.status, result.out, result.stderr
    accepted = [
        ("quoted fields", output("--exact", "quoted.csv"), output("--exact", "plain.csv")[1]),
        ("NaN payloads", output("--exact", "payloads.csv"),
         "bar,stop,state\n0,7fc0007b,0\n1,ffc00123,0\n2,41200000,0\n3,41200000,0\n4,41200000,0\n"),
    ]
    for label, (rc, out, err), expected in accepted:
        if rc != 0 or out != expected or err:
            failures += 1
            print(f"FAIL {label}: exit {rc}, stdout {out!r}, stderr {err!r}, expected {expected!r}")
    usage = output("--help")[1]
    if "2 on bad input" not in usage or "1 when\nthe output" not in usage:
        failures += 1
        print(f"FAIL --help does not give the exit statuses: {usage!r}")
    if failures:
        fail(f"{failures} failures")
    print(f"hostile_input_check: {len(table) + len(accepted) + 1} cases as expected")


if __name__ == "__main__":
    main()
