#!/usr/bin/env python3
"""tarvok-run --day over daily files this test writes: the same results as the CSV of the same
prices in yuan, and broken files refused with a message naming the file and the record.

usage: day_tool_check.py TOOL WORK_DIR
"""
import os
import random
import struct
import sys

from e2e_support import Program, fail


def write_day(path, records):
    with open(path, "wb") as f:
        for date, o, h, l, c in records:
            f.write(struct.pack("<5IfII", date, o, h, l, c, 1.0e8, 123456, 0))


def main():
    tool_path, work = sys.argv[1:]
    tool = Program(tool_path)
    os.makedirs(work, exist_ok=True)
    rng = random.Random(20261208)

    # A walk in fen over weekdays of 2023 and 2024, with a leap day.
    records, price = [], 1523
    year, month, day = 2023, 1, 2
    days_in = {1: 31, 2: 28, 3: 31, 4: 30, 5: 31, 6: 30, 7: 31, 8: 31, 9: 30, 10: 31, 11: 30, 12: 31}
    while len(records) < 400:
        o = max(1, price + rng.randint(-30, 30))
        c = max(1, price + rng.randint(-60, 60))
        h = max(o, c) + rng.randint(0, 40)
        l = max(1, min(o, c) - rng.randint(0, 40))
        records.append((year * 10000 + month * 100 + day, o, h, l, c))
        price = c
        day += rng.choice([1, 1, 1, 3])
        last = days_in[month] + (1 if month == 2 and year % 4 == 0 else 0)
        if day > last:
            day, month = day - last, month + 1
            if month > 12:
                month, year = 1, year + 1
    day_file = f"{work}/sh600000.day"
    write_day(day_file, records)
    csv_file = f"{work}/sh600000.csv"
    with open(csv_file, "w") as f:
        f.write("date,open,high,low,close\n")
        for date, o, h, l, c in records:
            f.write(f"{date},{o // 100}.{o % 100:02d},{h // 100}.{h % 100:02d},"
                    f"{l // 100}.{l % 100:02d},{c // 100}.{c % 100:02d}\n")

    for params in ([], ["--period", "5", "--multiplier", "0.5"]):
        from_day = tool.run("--exact", *params, "--day", day_file)
        from_csv = tool.run("--exact", *params, csv_file)
        if from_day.status != 0 or from_day.stderr:
            fail(f"--day {day_file}: exit {from_day.status}: {from_day.err}")
        if from_day.out != from_csv.out or from_day.out.count("\n") != len(records) + 1:
            fail(f"--day {' '.join(params)} differs from the CSV of the same prices")

    with open(day_file, "rb") as f:
        good = f.read()
    backwards = good[:64] + struct.pack("<5IfII", 20221230, 1, 2, 1, 1, 0, 0, 0) + good[96:]
    broken = {
        "empty.day": (b"", "empty file: no daily records"),
        "cut.day": (good[:32 * 7 + 5], "record 8: cut short: 229 bytes is not a whole number of "
                                       "32-byte records"),
        "backwards.day": (backwards, f"record 3: date 20221230 does not come after "
                                     f"{records[1][0]} of the record before"),
    }
    for name, (data, message) in broken.items():
        path = f"{work}/{name}"
        with open(path, "wb") as f:
            f.write(data)
        result = tool.run("--day", path)
        expected = f"tarvok-run: {path}: {message}\n"
        if result.status != 2 or result.err != expected or result.stdout:
            fail(f"{name}: exit {result.status}, stderr {result.err!r}, expected {expected!r}")
    missing = tool.run("--day", f"{work}/missing.day")
    if missing.status != 2 or not missing.err.startswith(f"tarvok-run: {work}/missing.day: "):
        fail(f"missing file: exit {missing.status}, stderr {missing.err!r}")
    print(f"--day: {len(records)} records equal the CSV; {len(broken) + 1} broken files refused")


if __name__ == "__main__":
    main()
