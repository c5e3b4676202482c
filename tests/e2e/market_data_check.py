#!/usr/bin/env python3
"""tarvok-run over a terminal-like folder with every kind of instrument: stocks, indices, an ETF,
a fund, a bond, a Shanghai B-share, a suspended stock, the terminal's name tables of both
generations and text exports. Every row has the close in yuan for its kind, its kind, name,
adjustment and days_behind, and equals the last row of --day (or of the export read as FILE.txt)
on its file, bit for bit; a 5-minute and a 1-minute scan agree with --day on their files.

usage: market_data_check.py TOOL WORK_DIR [--emulator PROGRAM [ARGUMENTS]]
"""
import csv
import os
import shutil
import struct
import sys

from e2e_support import Program, f32, f32_hex, fail, split_emulator, trading_days

DAY = struct.Struct("<5IfII")
MINUTE = struct.Struct("<HH4ffII")


DAYS = trading_days(120)


def yyyymmdd(day):
    return day.year * 10000 + day.month * 100 + day.day


def walk(count, start, step):
    """(open, high, low, close) in whole units of a walk."""
    out, price = [], start
    for k in range(count):
        close = max(2 * step, price + ((k * 7919) % 9 - 4) * step)
        high, low = max(price, close) + step, max(step, min(price, close) - step)
        out.append((price, high, low, close))
        price = close
    return out


def day_file(prices, scale, days=DAYS, lots=False):
    """A daily file: prices in 1/scale yuan; the turnover of the volume at the close."""
    volume = 20000
    return b"".join(DAY.pack(yyyymmdd(d), o, h, l, c, c / scale * volume * (100 if lots else 1),
                             volume, 0) for d, (o, h, l, c) in zip(days, prices))


def minute_file(prices, step_minutes):
    """Minute bars over the last days, prices in yuan, 09:35 on (the bar's end)."""
    records, k = [], 0
    per_day = 240 // step_minutes
    for day in DAYS[-3:]:
        packed = (day.year - 2004) * 2048 + day.month * 100 + day.day
        for j in range(per_day):
            minute = 9 * 60 + 30 + (j + 1) * step_minutes
            if minute > 11 * 60 + 30:
                minute += 90
            o, h, l, c = (x / 100 for x in prices[k % len(prices)])
            records.append(MINUTE.pack(packed, minute, o, h, l, c, c * 1000, 1000, 0))
            k += 1
    return b"".join(records)


def export_file(code, name, prices, adjust="前复权"):
    """A text export of daily bars, 2 decimals, GBK and CR LF."""
    lines = [f"{code} {name} 日线 {adjust}", "日期\t开盘\t最高\t最低\t收盘\t成交量\t成交额"]
    for d, (o, h, l, c) in zip(DAYS, prices):
        lines.append(f"{d:%Y/%m/%d}\t{o / 100:.2f}\t{h / 100:.2f}\t{l / 100:.2f}\t{c / 100:.2f}"
                     f"\t10000\t{c * 100:.2f}")
    lines.append("数据来源:通达信")
    return ("\r\n".join(lines) + "\r\n").encode("gbk")


def name_table(records, size, name_at):
    """A code table: a 50-byte header, then records of the code and the GBK name."""
    out = bytearray(50)
    for code, name in records:
        record = bytearray(size)
        record[0:6] = code.encode()
        encoded = name.encode("gbk")
        record[name_at:name_at + len(encoded)] = encoded
        out += record
    return bytes(out)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    args, emulator = split_emulator(sys.argv[1:])
    tool = Program(args[0], emulator, label="tarvok-run")
    work = args[1]
    shutil.rmtree(work, ignore_errors=True)
    root = os.path.join(work, "new_tdx")
    lday = lambda market: os.path.join(root, "vipdoc", market, "lday")

    # symbol -> (file, units in a yuan, kind, name, adjust, days behind, prices)
    a = walk(120, 1000, 3)
    cases = {
        "sh600000": ("sh600000.day", 100, "a-share", "浦发银行", "none", 0, a),
        "sh600001": ("sh600001.day", 100, "a-share", "停牌股票", "none", 10, walk(110, 800, 2)),
        "sh510300": ("sh510300.day", 1000, "fund", "沪深300ETF", "none", 0, walk(120, 3912, 4)),
        "sh000001": ("sh000001.day", 100, "index", "上证指数", "none", 0, walk(120, 330000, 90)),
        "sh110030": ("sh110030.day", 1000, "bond", "", "none", 0, walk(120, 105000, 50)),
        "sh900901": ("sh900901.day", 1000, "b-share", "", "none", 0, walk(120, 300, 1)),
        "sz000002": ("sz000002.day", 100, "a-share", "万科Ａ", "none", 0, walk(120, 900, 2)),
        "sz159915": ("sz159915.day", 1000, "fund", "", "none", 0, walk(120, 2100, 3)),
        "sz399001": ("sz399001.day", 100, "index", "", "none", 0, walk(120, 1000000, 300)),
    }
    for symbol, (name, scale, kind, _, _, behind, prices) in cases.items():
        days = DAYS[:len(DAYS) - behind]
        write(os.path.join(lday(symbol[:2]), name),
              day_file(prices[:len(days)], scale, days, lots=kind == "index"))
    # An export of a stock that has a daily file too: the export's row, forward adjusted.
    exported = walk(120, 1234, 5)
    write(os.path.join(lday("sz"), "sz000001.day"), day_file(exported, 100))
    write(os.path.join(root, "exports", "SZ#000001.txt"), export_file("000001", "平安银行", exported))
    cases["sz000001"] = ("SZ#000001.txt", 100, "a-share", "平安银行", "forward", 0, exported)
    # The names: the newer table for Shanghai, the older one for Shenzhen.
    cache = os.path.join(root, "T0002", "hq_cache")
    write(os.path.join(cache, "shs.tnf"),
          name_table([(s[2:], c[3]) for s, c in cases.items() if s.startswith("sh") and c[3]],
                     360, 31))
    write(os.path.join(cache, "szm.tnf"), name_table([("000002", "万科Ａ")], 314, 23))
    # Minute files of one stock.
    write(os.path.join(root, "vipdoc", "sh", "fzline", "sh600000.lc5"), minute_file(a, 5))
    write(os.path.join(root, "vipdoc", "sh", "minline", "sh600000.lc1"), minute_file(a, 1))

    scan = tool.run("--scan", root, "--exact")
    if scan.status != 0:
        fail(f"scan: {scan}")
    rows = {r["symbol"]: r for r in csv.DictReader(scan.out.splitlines())}
    if sorted(rows) != sorted(cases):
        fail(f"rows {sorted(rows)}, expected {sorted(cases)}")
    if "also exported, in" not in scan.err:
        fail(f"no message for the daily file that an export replaces: {scan.err}")
    for symbol, (name, scale, kind, title, adjust, behind, prices) in cases.items():
        row = rows[symbol]
        path = (os.path.join(root, "exports", name) if name.endswith(".txt")
                else os.path.join(lday(symbol[:2]), name))
        days = len(DAYS) - behind
        close = f32(prices[days - 1][3] / scale)
        got = (row["close"], row["kind"], row["name"], row["adjust"], row["days_behind"])
        expected = (f32_hex(close), kind, title, adjust, str(behind))
        if got != expected:
            fail(f"{symbol}: close, kind, name, adjust, days_behind {got}, expected {expected}")
        one = tool.run(*([] if name.endswith(".txt") else ["--day"]), path, "--exact")
        last = one.out.splitlines()[-1].split(",") if one.status == 0 else None
        if last is None or last[1] != row["stop"] or last[2] != row["state"]:
            fail(f"{symbol}: the scan's stop and state {row['stop']},{row['state']} are not the last "
                 f"row of the file alone: {one}")

    # The minute timeframes: the scan's row is the last of --day on the file.
    for timeframe, folder, extension in (("5min", "fzline", "lc5"), ("1min", "minline", "lc1")):
        scan = tool.run("--scan", root, "--timeframe", timeframe, "--exact")
        rows = list(csv.DictReader(scan.out.splitlines()))
        path = os.path.join(root, "vipdoc", "sh", folder, f"sh600000.{extension}")
        one = tool.run("--day", path, "--exact")
        if scan.status != 0 or one.status != 0 or len(rows) != 1:
            fail(f"--timeframe {timeframe}: {scan}; --day: {one}")
        last = one.out.splitlines()[-1].split(",")
        if (rows[0]["stop"], rows[0]["state"]) != (last[1], last[2]):
            fail(f"--timeframe {timeframe}: row {rows[0]}, --day's last {last}")
        if rows[0]["date"] != f"{DAYS[-1]:%Y-%m-%d} 15:00":
            fail(f"--timeframe {timeframe}: date {rows[0]['date']}")

    # Filters of the new columns.
    funds = tool.run("--scan", root, "--kind", "fund,BOND")
    kinds = sorted(r["kind"] for r in csv.DictReader(funds.out.splitlines()))
    if kinds != ["bond", "fund", "fund"]:
        fail(f"--kind fund,BOND: {kinds}")
    current = tool.run("--scan", root, "--current")
    if "sh600001" in current.out or "sh600000" not in current.out:
        fail(f"--current: {current.out}")
    bad = tool.run("--scan", root, "--kind", "stock")
    if bad.status != 2 or "--kind stock" not in bad.err:
        fail(f"--kind stock: {bad}")


if __name__ == "__main__":
    main()
