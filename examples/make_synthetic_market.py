#!/usr/bin/env python3
"""Writes a SYNTHETIC market in the terminal's daily-file format, for trying tarvok-run --scan.

The bars are seeded random walks, not market data. The folder looks like a terminal's:

    OUT/vipdoc/sh/lday/sh600000.day, OUT/vipdoc/sz/lday/sz000001.day, OUT/vipdoc/bj/lday/bj830000.day

usage: make_synthetic_market.py OUT [--files N] [--bars B] [--seed S]

N files (default 36), spread over the three markets; each has B daily bars (default 500) ending
on the same day, and every fifth is shorter (listed later). The same arguments write the same
bytes. Python 3 standard library only.
"""

import argparse
import datetime
import os
import random
import struct

RECORD = struct.Struct("<5IfII")  # date, open, high, low, close (fen), turnover, volume, reserved
MARKETS = (("sh", 600000), ("sz", 1), ("bj", 830000))
LAST_DAY = datetime.date(2026, 12, 4)


def weekdays_until(last, count):
    days, day = [], last
    while len(days) < count:
        if day.weekday() < 5:
            days.append(day)
        day -= datetime.timedelta(days=1)
    return days[::-1]


def walk(rng, days):
    """Records of a random walk in fen over the given days."""
    close = rng.randint(300, 6000)
    records = []
    for day in days:
        drift = rng.uniform(-0.025, 0.025) + (0.004 if rng.random() < 0.5 else -0.004)
        open_ = max(1, close + round(close * rng.uniform(-0.01, 0.01)))
        new_close = max(1, round(close * (1.0 + drift)))
        high = max(open_, new_close) + round(close * rng.uniform(0.0, 0.015))
        low = max(1, min(open_, new_close) - round(close * rng.uniform(0.0, 0.015)))
        volume = 100 * rng.randint(1000, 90000)
        date = day.year * 10000 + day.month * 100 + day.day
        records.append(RECORD.pack(date, open_, high, low, new_close, volume * new_close / 100.0,
                                   volume, 0))
        close = new_close
    return b"".join(records)


def market_files(count):
    """(market, symbol) of count files, the markets taken in turn."""
    numbers = {market: start for market, start in MARKETS}
    for k in range(count):
        market = MARKETS[k % len(MARKETS)][0]
        yield market, f"{market}{numbers[market]:06d}"
        numbers[market] += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--files", type=int, default=36)
    parser.add_argument("--bars", type=int, default=500)
    parser.add_argument("--seed", type=int, default=20261204)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    all_days = weekdays_until(LAST_DAY, args.bars)
    for k, (market, symbol) in enumerate(market_files(args.files)):
        folder = os.path.join(args.out, "vipdoc", market, "lday")
        os.makedirs(folder, exist_ok=True)
        bars = args.bars if k % 5 else rng.randint(min(args.bars, 5), args.bars)
        with open(os.path.join(folder, f"{symbol}.day"), "wb") as f:
            f.write(walk(rng, all_days[len(all_days) - bars:]))


if __name__ == "__main__":
    main()
