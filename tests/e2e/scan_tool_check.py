#!/usr/bin/env python3
"""tarvok-run --scan over a terminal-like folder this test writes (three markets, some broken
files): each good file's row equals the last bar of --day on it, broken files get --day's message
and do not stop the scan, the summary counts them, the filters, the exit statuses, the same
output for -j 1 and -j 4, and a file rewritten while it is scanned.

usage: scan_tool_check.py TOOL WORK_DIR [--emulator PROGRAM [ARGUMENTS]]
With --emulator (the Windows tool under Wine) the folder is smaller, --day is compared on a
sample, and the cases Windows has no names for (links, control bytes) are left out.
"""
import csv
import datetime
import os
import re
import random
import shutil
import struct
import sys
import threading

from e2e_support import Program, f32, f32_hex, fail, split_emulator

RECORD = struct.Struct("<5IfII")


def shortest(v):
    """The fewest significant digits that read back as the float v."""
    return next(p for p in range(1, 10) if f32(float(f"{v:.{p}g}")) == v)


def digits(text):
    """The significant digits of a plain decimal."""
    text = text.lstrip("-")
    return len(text.replace(".", "").lstrip("0") if "." in text else text.strip("0") or "0")


def records_of(rng, n, big=False):
    """n records of a walk in fen on weekdays (the prices of one beyond 2^24 fen when big)."""
    out, price, day = [], rng.randint(300, 9000) * (3000 if big else 1), 730000 + rng.randint(0, 30)
    for _ in range(n):
        day += rng.choice([1, 1, 1, 3])
        d = datetime.date.fromordinal(day)
        o = max(1, price + rng.randint(-price // 50, price // 50))
        c = max(1, price + rng.randint(-price // 30, price // 30))
        h = max(o, c) + rng.randint(0, price // 60 + 1)
        l = max(1, min(o, c) - rng.randint(0, price // 60 + 1))
        out.append((d.year * 10000 + d.month * 100 + d.day, o, h, l, c))
        price = c
    return out


def pack(records):
    """The records with a volume of 1000 shares and the turnover of that volume at the close, so
    that the day's average price tells the file's unit of 1/100 yuan."""
    return b"".join(RECORD.pack(*r, r[4] / 100.0 * 1000, 1000, 0) for r in records)


def main():
    args, emulator = split_emulator(sys.argv[1:])
    tool_path, work = args
    tool = Program(tool_path, emulator, label="tarvok-run")  # skipped if the emulator cannot run it
    shutil.rmtree(work, ignore_errors=True)
    root = os.path.join(work, "new_tdx")
    rng = random.Random(20261209)

    # The good files: three markets, lengths from 5 bars up, one priced beyond 2^24 fen.
    good = {}  # path -> (symbol, records)
    count = 60 if emulator else 300
    for k in range(count):
        # A-shares of each market: Shanghai's 60xxxx, Shenzhen's 00xxxx, Beijing's 83xxxx.
        market = ("sh", "sz", "bj")[k % 3]
        symbol = f"{market}{(600000, 1, 830000)[k % 3] + k:06d}"
        n = 5 if k == 7 else rng.randint(5, 700)
        good[os.path.join(root, "vipdoc", market, "lday", f"{symbol}.day")] = (
            symbol, records_of(rng, n, big=k == 11))
    if not emulator:
        good[os.path.join(root, "vipdoc", "sz", "lday", "x,1.day")] = ("x,1", records_of(rng, 40))
    for path, (_, records) in good.items():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(pack(records))

    lday = os.path.join(root, "vipdoc", "sh", "lday")
    some = pack(records_of(rng, 20))
    backwards = some[:96] + RECORD.pack(19991231, 1, 2, 1, 1, 0, 0, 0) + some[128:]
    fewer = some[:32 * 4]
    broken = {  # name -> (bytes, kind in the summary)
        "sh900001.day": (b"", "empty"),
        "sh900002.day": (some[:32 * 7 + 5], "cut short"),
        "sh900003.day": (backwards, "bad date"),
        "sh900004.day": (RECORD.pack(20240230, 1, 2, 1, 1, 0, 0, 0) * 6, "bad date"),
        "sh900005.day": (fewer, "fewer than 5 bars"),
    }
    if not emulator:
        broken["sh\x1b[31m.day"] = (b"", "empty")
    for name, (data, _) in broken.items():
        with open(os.path.join(lday, name), "wb") as f:
            f.write(data)
    for other in ("readme.txt", "sh600000.day.bak", "sh600000.da"):
        with open(os.path.join(lday, other), "wb") as f:
            f.write(some)
    os.makedirs(os.path.join(root, "T0002", "dlls"))
    unreadable = 0
    if not emulator:
        os.symlink("gone.day", os.path.join(lday, "sh900006.day"))  # a file that cannot be opened
        unreadable = 1

    # The full scan, at -j 1 and -j 4.
    one = tool.run("--scan", root, "-j", "1")
    four = tool.run("--scan", root, "-j4")
    exact = tool.run("--scan", root, "--exact")
    for r in (one, four, exact):
        if r.status != 0:
            fail(f"scan: exit {r.status}: {r.err}")
    if one.out != four.out:
        fail("-j 1 and -j 4 differ")
    strip_time = lambda text: re.sub(r" in [0-9.]+ s:", " in T s:", text)
    # The tool's lines only: an emulator may add lines of its own.
    ours = lambda text: [strip_time(line) for line in text.splitlines() if line.startswith("tarvok-run: ")]
    if ours(one.err) != ours(four.err):
        fail(f"-j 1 and -j 4 report differently:\n{one.err!r}\n{four.err!r}")

    lines = one.out.splitlines()
    if lines[0] != ("symbol,date,close,stop,state,phase,phase_bars,distance_pct,name,kind,adjust,"
                    "days_behind"):
        fail(f"header {lines[0]!r}")
    rows = {r[0]: r[1:] for r in csv.reader(lines[1:])}
    exact_rows = {r[0]: r[1:] for r in csv.reader(exact.out.splitlines()[1:])}
    symbols = sorted(s for s, _ in good.values())
    if list(rows) != symbols:
        fail(f"rows {list(rows)[:5]}... are not the good files' symbols in order {symbols[:5]}...")

    # The trading dates of the files that can be read, for days_behind.
    dates = set()
    for _, records in good.values():
        dates.update(r[0] for r in records)
    dates.update(struct.unpack_from("<I", fewer, at)[0] for at in range(0, len(fewer), 32))

    # Every good file's row against --day on it (a sample under the emulator).
    checked = list(good.items()) if not emulator else rng.sample(sorted(good.items()), 4)
    for path, (symbol, records) in checked:
        day_exact = tool.run("--day", path, "--exact")
        if day_exact.status != 0:
            fail(f"--day {path}: {day_exact.err}")
        states = [int(line.split(",")[2]) for line in day_exact.out.splitlines()[1:]]
        sign = lambda s: (s > 0) - (s < 0)
        run_length = 0
        while run_length < len(states) and sign(states[-1 - run_length]) == sign(states[-1]):
            run_length += 1
        last_exact = day_exact.out.splitlines()[-1].split(",")
        date, close_fen = records[-1][0], records[-1][4]
        close = f32(close_fen / 100.0)
        stop = struct.unpack("<f", bytes.fromhex(last_exact[1])[::-1])[0]
        distance = "" if close == 0 else f"{(close - stop) / close * 100.0:.2f}".replace("-0.00", "0.00")
        phase = "rising" if states[-1] < 0 else "falling" if states[-1] > 0 else "flat"
        iso = f"{date // 10000:04d}-{date // 100 % 100:02d}-{date % 100:02d}"
        # The decimal numbers as the shortest text that reads back as the float.
        expected = [iso, None, None, str(states[-1]), phase, str(run_length), distance, "",
                    "other" if symbol == "x,1" else "a-share", "none",
                    str(sum(1 for d in dates if d > date))]
        got = rows[symbol]
        if (got[:1] + got[3:] != expected[:1] + expected[3:] or f32(float(got[1])) != close or
                f32(float(got[2])) != stop or any(digits(x) != shortest(f32(float(x))) for x in got[1:3])):
            fail(f"{symbol}: row {got}, expected {expected} with close {close}")
        if exact_rows[symbol][1:3] != [f32_hex(close), last_exact[1]]:
            fail(f"{symbol}: --exact row {exact_rows[symbol]}, expected close {f32_hex(close)}, stop {last_exact[1]}")

    # Broken files: --day's message each, in path order, then the summary.
    messages = ours(one.err)
    expected_messages = []
    for name in sorted(broken):
        if broken[name][1] == "fewer than 5 bars":
            continue
        if emulator:  # each run takes long there: the messages are checked natively
            expected_messages.append([m for m in messages if name in m][:1] or [f"(none for {name})"])
            expected_messages[-1] = expected_messages[-1][0]
            continue
        day = tool.run("--day", os.path.join(lday, name))
        if day.status != 2:
            fail(f"--day {name}: exit {day.status}")
        expected_messages.append(day.err.rstrip("\n"))
    if unreadable:
        expected_messages.append(f"tarvok-run: {os.path.join(lday, 'sh900006.day')}: No such file or directory")
    normalise = lambda text: text.replace("\\", "/")
    if [normalise(m) for m in messages[:-1]] != [normalise(m) for m in expected_messages]:
        fail("messages:\n" + "\n".join(messages[:-1]) + "\nexpected:\n" + "\n".join(expected_messages))
    kinds = {}
    for _, kind in broken.values():
        kinds[kind] = kinds.get(kind, 0) + 1
    if unreadable:
        kinds["unreadable"] = 1
    order = ["unreadable", "too large", "empty", "cut short", "bad date", "changing",
             "unknown price unit", "broken export", "of another period", "also exported",
             "fewer than 5 bars"]
    files = len(good) + len(broken) + unreadable
    bars = sum(len(r) for _, r in good.values()) + 4
    left = sum(kinds.values())
    summary = (f"tarvok-run: scanned {files} daily files, {bars} bars in T s: {len(good)} rows, "
               f"{len(good)} listed; {left} left out (" +
               ", ".join(f"{kinds[k]} {k}" for k in order if k in kinds) + ")")
    if strip_time(messages[-1]) != summary:
        fail(f"summary {messages[-1]!r}, expected {summary!r}")

    # Filters, alone and together.
    filters = [(["--phase", "falling", "--changed-within=10"], lambda r: r[4] == "falling" and int(r[5]) <= 10)]
    if not emulator:
        filters += [(["--phase", "rising"], lambda r: r[4] == "rising"),
                    (["--phase=flat"], lambda r: r[4] == "flat"),
                    (["--changed-within", "3"], lambda r: int(r[5]) <= 3)]
    for options, keep in filters:
        r = tool.run("--scan", root, *options)
        expected = [lines[0]] + [line for line, r in zip(lines[1:], csv.reader(lines[1:])) if keep(r[1:])]
        if r.status != 0 or r.out.splitlines() != expected:
            fail(f"{options}: exit {r.status}, {len(r.out.splitlines())} lines, expected {len(expected)}; "
                 f"stderr {r.err[-2000:]!r}")

    # Exit statuses and messages for what is not a scan.
    os.makedirs(os.path.join(work, "nothing", "sub"))
    with open(os.path.join(work, "nothing", "sub", "readme.txt"), "w") as f:
        f.write("no bars\n")
    refusals = [
        (["--scan", os.path.join(work, "missing")], "tarvok-run: " + os.path.join(work, "missing") + ": "),
        (["--scan", os.path.join(work, "nothing")], "tarvok-run: " + os.path.join(work, "nothing") +
         ": no daily file (*.day) or text export (SH#600000.txt) in it or in any folder below it"),
        (["--scan", os.path.join(lday, "sh900001.day")], "tarvok-run: " + os.path.join(lday, "sh900001.day") +
         ": not a folder"),
        (["--scan", root, "--phase", "up"], "tarvok-run: --phase up: must be rising, falling or flat"),
        (["--scan", root, "-j", "0"], "tarvok-run: -j 0: must be a whole number from 1 to 256"),
        (["--scan", root, "--changed-within", "x"], "tarvok-run: --changed-within x: must be a whole number from 1 to 2147483647"),
        (["--changed-within", "2"], "tarvok-run: --changed-within needs --scan DIR"),
    ]
    for arguments, message in refusals[:2] if emulator else refusals:
        r = tool.run(*arguments)
        if r.status != 2 or r.out or not ours(r.err)[:1] or not ours(r.err)[0].startswith(message):
            fail(f"{arguments}: exit {r.status}, stderr {r.err!r}, expected {message!r}")
    if not emulator:
        with open("/dev/full", "w") as full:
            r = tool.run("--scan", root, stdout=full)
        if r.status != 1 or "cannot write the output" not in r.err:
            fail(f"stdout full: exit {r.status}, {r.err!r}")

    # A file rewritten, now whole, now cut short, while it is scanned: a row or a message, and
    # never anything else.
    live = os.path.join(work, "live", "vipdoc", "sh", "lday", "sh601000.day")
    os.makedirs(os.path.dirname(live))
    whole = pack(records_of(rng, 20000))
    with open(live, "wb") as f:
        f.write(whole)
    stop = threading.Event()

    def rewrite():
        while not stop.is_set():
            with open(live, "wb") as f:
                for at in range(0, len(whole), 4000):
                    f.write(whole[at:at + 4000])
                    f.flush()

    writer = threading.Thread(target=rewrite)
    writer.start()
    outcomes = set()
    try:
        for _ in range(2 if emulator else 25):
            r = tool.run("--scan", os.path.join(work, "live"), "-j", "2")
            if r.status != 0:
                fail(f"rewritten file: exit {r.status}: {r.err}")
            body = r.out.splitlines()[1:]
            notes = ours(r.err)[:-1]
            if body and not notes and re.fullmatch(r"sh601000,\d{4}-\d\d-\d\d,.*", body[0]):
                outcomes.add("row")
            elif not body and len(notes) <= 1 and all("sh601000.day" in n for n in notes):
                outcomes.add("message" if notes else "fewer than 5 bars")
            else:
                fail(f"rewritten file: {r.out!r} {r.err!r}")
    finally:
        stop.set()
        writer.join()
    print(f"--scan: {len(good)} rows equal --day ({len(checked)} compared), {left} files left out "
          f"with their messages, filters and statuses; rewritten file: {sorted(outcomes)}")


if __name__ == "__main__":
    main()
