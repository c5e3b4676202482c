#!/usr/bin/env python3
"""The Windows tarvok-run.exe with the Windows plug-in, through the cross build's emulator (Wine):
the plug-in's functions, reached through its table, give the built-in results bit for bit.

usage: plugin_tool_cross_check.py TOOL PLUGIN EXAMPLE --emulator PROGRAM [ARGUMENTS]
Says "skipped:" (the test's skip expression) when the emulator cannot run the program at all.
"""
import re
import sys

from e2e_support import Program, fail, split_emulator


def main():
    arguments, emulator = split_emulator(sys.argv[1:])
    tool_path, plugin, example = arguments
    tool = Program(tool_path, emulator, label="tarvok-run")
    for params in ([], ["--period", "9", "--multiplier", "3"]):
        builtin = tool.ok(*params, "--exact", example)
        via_plugin = tool.ok("--plugin", plugin, *params, "--exact", example)
        if (via_plugin.stdout != builtin.stdout or
                not re.match(r"bar,stop,state\n0,[0-9a-f]+,0\n", builtin.out)):
            fail(f"--plugin {' '.join(params)}: the output differs from the built-in functions: "
                 f"{via_plugin.stdout[:200]!r}, built in {builtin.stdout[:200]!r}")
        if b"[RegisterTdxFunc]DLL" not in via_plugin.stderr:
            fail(f"--plugin {' '.join(params)}: the plug-in's log line is not on stderr: "
                 f"{via_plugin.stderr!r}")
    print("tarvok-run --plugin gives the built-in bits")


if __name__ == "__main__":
    main()
