#!/usr/bin/env python3
"""What tarvok-run says on the console: started with no arguments in a terminal, a short hint
(exit 2) instead of waiting for bars, while a pipe is still read; and the language of its lines
chosen from the environment (LC_ALL, then LC_MESSAGES, then LANG) or by --lang.

usage: console_check.py TOOL WORK_DIR
"""
import os
import pty
import shutil
import struct
import subprocess
import sys

from e2e_support import fail

CHINESE, ENGLISH = "扫描了", "scanned "


def no_arguments_in_a_terminal(tool, language):
    """Runs the tool with a pseudo-terminal as its standard input; its status and what it said."""
    controller, terminal = pty.openpty()
    env = dict(os.environ, LC_ALL="", LC_MESSAGES="", LANG=language)
    try:
        run = subprocess.run([tool], stdin=terminal, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             env=env, timeout=10)
    except subprocess.TimeoutExpired:
        fail(f"with no arguments in a terminal ({language}) it waits")
    finally:
        os.close(controller)
        os.close(terminal)
    return run.returncode, run.stderr.decode("utf-8")


def main():
    tool, work = sys.argv[1:]
    shutil.rmtree(work, ignore_errors=True)
    folder = os.path.join(work, "vipdoc", "sh", "lday")
    os.makedirs(folder)
    with open(os.path.join(folder, "sh600000.day"), "wb") as f:
        for k in range(30):
            c = 1000 + k
            f.write(struct.pack("<5IfII", 20240102 + k % 28 + (k // 28) * 100, c, c + 5, c - 5, c,
                                c * 10.0, 1000, 0))

    for language, words in (("zh_CN.UTF-8", "没有给出要处理的数据"), ("en_US.UTF-8", "no input given")):
        status, said = no_arguments_in_a_terminal(tool, language)
        if status != 2 or words not in said or "--help" not in said:
            fail(f"no arguments in a terminal ({language}): exit {status}, said {said!r}")
    piped = subprocess.run([tool], input=b"high,low,close\n2,1,1.5\n", capture_output=True)
    if piped.returncode != 0 or not piped.stdout.startswith(b"bar,stop,state\n"):
        fail(f"no arguments with bars on a pipe: exit {piped.returncode}, {piped.stderr!r}")

    # The language of the scan's summary line, from the environment; --lang wins.
    table = [
        ({"LANG": "zh_CN.UTF-8"}, [], CHINESE),
        ({"LANG": "en_US.UTF-8"}, [], ENGLISH),
        ({"LANG": "C"}, [], ENGLISH),
        ({}, [], ENGLISH),
        ({"LANG": "en_US.UTF-8", "LC_MESSAGES": "zh_TW.UTF-8"}, [], CHINESE),
        ({"LANG": "zh_CN.UTF-8", "LC_MESSAGES": "en_GB"}, [], ENGLISH),
        ({"LC_MESSAGES": "en_GB", "LC_ALL": "zh_CN.GB18030"}, [], CHINESE),
        ({"LC_ALL": "", "LANG": "zh_CN"}, [], CHINESE),
        ({"LANG": "zh_CN.UTF-8"}, ["--lang", "en"], ENGLISH),
        ({"LANG": "C"}, ["--lang", "ZH"], CHINESE),
    ]
    for settings, options, words in table:
        env = {k: v for k, v in os.environ.items() if k not in ("LANG", "LC_ALL", "LC_MESSAGES")}
        env.update(settings)
        run = subprocess.run([tool, "--scan", work, *options], capture_output=True, env=env)
        said = run.stderr.decode("utf-8")
        if run.returncode != 0 or words not in said:
            fail(f"{settings} {options}: exit {run.returncode}, said {said!r}, expected {words!r}")
    bad = subprocess.run([tool, "--lang", "fr"], capture_output=True)
    if bad.returncode != 2 or b"--lang fr: must be zh or en" not in bad.stderr:
        fail(f"--lang fr: exit {bad.returncode}, {bad.stderr!r}")


if __name__ == "__main__":
    main()
