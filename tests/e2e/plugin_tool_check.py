#!/usr/bin/env python3
"""Runs tarvok-run with the built plug-in, one check per test.

usage: plugin_tool_check.py CHECK --tool T --plugin P --example CSV --formula GBK_TEXT
                            --refusing P --incomplete P --empty P --work-dir DIR
CHECK is one of: same, formula, errors. The fake plug-ins refuse registration, lack function 11
and export nothing. A copy of the tool stands in WORK_DIR, in the place of the terminal's program,
and runs from WORK_DIR/cwd: the plug-in's program directory is the executable's real folder, not
the current one, and natively its separator is the slash.
"""
import argparse
import glob
import os
import re
import shutil

from e2e_support import Program, fail

# The plug-in's registration line ("registered" in GBK, as the terminal reads it), and the UTF-8
# of its log folder announcement ("folder created").
REGISTERED = b"[RegisterTdxFunc]DLL" + "注册成功！".encode("gbk")
CREATED = "目录创建成功".encode("utf-8")


def check_same(tool, a, work, cwd):
    # The plug-in's functions, reached through its table, give the built-in results bit for bit,
    # with the parameters set through function 10 too; its console output goes to stderr.
    announced = []
    for params in ([], ["--period", "9", "--multiplier", "3"]):
        builtin = tool.ok(*params, "--exact", a.example, cwd=cwd)
        via_plugin = tool.ok("--plugin", a.plugin, *params, "--exact", a.example, cwd=cwd)
        if via_plugin.stdout != builtin.stdout:
            fail(f"--plugin {' '.join(params)}: the output differs from the built-in functions")
        if REGISTERED not in via_plugin.stderr:
            fail(f"--plugin {' '.join(params)}: no registration line on stderr: {via_plugin.stderr!r}")
        announced.append(via_plugin.stderr.find(CREATED + f": {work}/T0002/dlls/logs\n".encode()))
    first_line = via_plugin.stdout.split(b"\n")[0]
    if first_line != b"bar,stop,state":
        fail(f"output starts with {first_line!r}")

    # The first run created the log folder and said so; each run wrote its line to the day's file
    # (two files when the runs straddle midnight).
    if announced[0] < 0 or announced[1] != -1:
        fail(f"the log folder was announced at {announced} in the two runs' stderr")
    logs = sorted(glob.glob(os.path.join(work, "T0002", "dlls", "logs", "app_*.log")))
    log = b""
    for path in logs:
        if not re.search(r"/app_[0-9]{8}\.log$", path):
            fail(f"log file name {path}")
        with open(path, "rb") as f:
            log += f.read()
    if not re.fullmatch(rb"(\[[0-9-]+ [0-9:.]+\] \[INF\] [^\n]*\n){2}", log):
        fail(f"log files {logs}: not two lines:\n{log!r}")
    if log.count(REGISTERED + b"\n") != 2:
        fail(f"not two registration lines in {logs}:\n{log!r}")


def check_formula(tool, a, work, cwd):
    # Written to a file, as a user saves it to import: the bytes, CR LF and GBK, are the text's.
    saved = os.path.join(work, "formula.out")
    with open(saved, "wb") as out:
        result = tool.run("--plugin", a.plugin, "--formula", stdout=out, cwd=work)
    if result.status != 0:
        fail(f"--formula: exit {result.status}, stderr: {result.stderr!r}")
    with open(saved, "rb") as f, open(a.formula, "rb") as g:
        differs = f.read() != g.read()
    if differs or result.stderr:
        fail(f"--formula: the text differs from {a.formula} (stderr: {result.stderr!r})")


def check_errors(tool, a, work, cwd):
    # A clear message, exit status 2, nothing on stdout.
    def expect_error(pattern, *arguments):
        result = tool.run(*arguments, cwd=cwd)
        if result.status != 2 or result.stdout or not re.search(f"tarvok-run: {pattern}", result.err):
            fail(f"{result}; expected exit 2 and an error matching {pattern!r}")

    missing = os.path.join(work, "missing.so")
    expect_error(f"cannot load the plug-in {re.escape(missing)}: ", "--plugin", missing, a.example)
    expect_error("the plug-in [^\n]* does not export RegisterTdxFunc", "--plugin", a.empty, a.example)
    expect_error("the plug-in [^\n]* refused registration", "--plugin", a.refusing, a.example)
    expect_error("function 11 is missing from the plug-in's table", "--plugin", a.incomplete, a.example)
    expect_error("the plug-in [^\n]* does not export gettdxcode", "--plugin", a.refusing, "--formula")
    expect_error("--formula needs --plugin PATH", "--formula", a.example)
    expect_error("--plugin needs a path", "--plugin=")


CHECKS = {"same": check_same, "formula": check_formula, "errors": check_errors}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=CHECKS)
    for option in ("tool", "plugin", "example", "formula", "refusing", "incomplete", "empty",
                   "work-dir"):
        parser.add_argument(f"--{option}", required=True)
    a = parser.parse_args()
    shutil.rmtree(a.work_dir, ignore_errors=True)
    os.makedirs(os.path.join(a.work_dir, "T0002", "dlls"))
    os.makedirs(os.path.join(a.work_dir, "cwd"))
    work = os.path.realpath(a.work_dir)
    copy = shutil.copy2(a.tool, work)
    CHECKS[a.check](Program(copy), a, work, os.path.join(work, "cwd"))
    print(f"tool_plugin_{a.check}: as expected")


if __name__ == "__main__":
    main()
