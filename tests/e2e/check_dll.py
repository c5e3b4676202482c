#!/usr/bin/env python3
"""Static checks of the built DLL, run without starting it:
- it imports only system DLLs (the runtimes are linked in);
- it exports exactly the expected names, undecorated;
- the code that the table functions reach holds no x87 instruction: on 32-bit x86 only SSE2
  scalar math gives the indicator's bits, and an x87 load quiets a signalling NaN.

usage: check_dll.py --objdump OBJDUMP --nm NM --dll DLL --exports a,b [--symbols FILE]
                    [--roots f,g,h] [--symbol-prefix=_]
SYMBOLS is the file with the DLL's symbols (the DLL when not given); ROOTS are the table
functions, found by their symbols (the exports when not given); the prefix is "_" for 32-bit x86
C symbols.
"""
import argparse
import re
from collections import deque

import pefile

from e2e_support import SYSTEM_DLLS, Program, expect_exports, fail

# Calls and jumps to a direct address, and the x87 mnemonics (fld1 and fldl2e included).
BRANCH = re.compile(r"\t(call|jmp)[a-z]* +(0x)?0*([0-9a-f]+)( |$)")
X87 = re.compile(r"\t(f(ld|st|add|sub|mul|div|ild|ist|isttp|comi|ucomi|com|ucom|chs|abs|xch|sqrt"
                 r"|rndint|prem|scale|cmov)[a-z0-9]*)( |$)")


def check_tables(dll):
    try:
        pe = pefile.PE(dll)
    except (OSError, pefile.PEFormatError) as e:
        fail(f"cannot read {dll}: {e}")
    imports = [*getattr(pe, "DIRECTORY_ENTRY_IMPORT", []), *getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    if not imports:
        fail(f"no import table found in {dll}")
    for entry in imports:
        name = entry.dll.decode()
        if name.lower() not in SYSTEM_DLLS:
            fail(f"{dll} imports {name}, which is not a system DLL")
        print(f"imports {name}")
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        fail(f"no export table found in {dll}")
    # An export by ordinal only has no name: it shows as "#ordinal", and so fails the comparison.
    return [s.name.decode() if s.name else f"#{s.ordinal}" for s in pe.DIRECTORY_ENTRY_EXPORT.symbols]


def check_no_x87(objdump, nm, dll, symbols, roots):
    # The table functions and every function they reach by direct calls. (The C runtime linked
    # in has x87 code of its own, for printing long doubles; the indicator never reaches it.) The
    # DLL ships stripped: the functions' addresses come from the symbols of SYMBOLS (its .debug
    # file), the code from the DLL itself, one function's address range at a time.
    text = nm.ok("--defined-only", "-n", symbols).out
    addresses, index_of, name_at = [], {}, {}
    for line in re.findall(r"[0-9a-f]+ [Tt] [^\n]+", text):
        at, name = re.fullmatch(r"([0-9a-f]+) [Tt] (.+)", line).groups()
        at = int(at, 16)
        index_of.setdefault(name, len(addresses))
        name_at.setdefault(at, name)
        addresses.append(at)

    reached, queue = [], deque(roots)
    while queue:
        f = queue.popleft()
        if f in reached:
            continue
        if f not in index_of:
            fail(f"{f} not found in the symbols of {symbols}")
        reached.append(f)
        # The function's code runs up to the next symbol at a higher address.
        i = index_of[f]
        begin = addresses[i]
        end = begin
        while end == begin:
            i += 1
            if i >= len(addresses):
                fail(f"{f} is the last symbol of {symbols}: its end is unknown")
            end = addresses[i]
        code = objdump.ok("-d", "--no-show-raw-insn", f"--start-address={begin:#x}",
                          f"--stop-address={end:#x}", dll).out
        x87 = []
        for line in code.splitlines():
            branch = BRANCH.search(line)
            if branch:
                target = int(branch.group(3), 16)
                if target in name_at:
                    queue.append(name_at[target])
            else:
                instruction = X87.search(line)
                if instruction:
                    x87.append(instruction.group(1))
        if x87:
            fail(f"{f} in {dll} holds x87 instructions: {x87}")
    print(f"no x87 instruction in the {len(reached)} functions reached from {roots}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--exports", required=True)
    parser.add_argument("--symbols")
    parser.add_argument("--roots")
    parser.add_argument("--symbol-prefix", default="")
    a = parser.parse_args()
    exports = a.exports.split(",")
    expect_exports(a.dll, check_tables(a.dll), exports)
    roots = [a.symbol_prefix + f for f in (a.roots.split(",") if a.roots else exports)]
    check_no_x87(Program(a.objdump), Program(a.nm), a.dll, a.symbols or a.dll, roots)


if __name__ == "__main__":
    main()
