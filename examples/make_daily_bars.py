#!/usr/bin/env python3
"""Writes synthetic_daily_bars.csv: three years of SYNTHETIC daily bars for trying tarvok-run.

The prices are a seeded random walk, not market data. Regenerate (same seed, same file) with:

    python3 examples/make_daily_bars.py > examples/synthetic_daily_bars.csv

Python 3 standard library only. Prices are whole cents, so the file does not depend on how a
platform rounds floats; dates are weekdays, with no exchange holidays.
"""

import datetime
import random
import sys

SEED = 20240102
BARS = 783  # the weekdays of 2024, 2025 and 2026
START = datetime.date(2024, 1, 2)
LOW_CENTS, HIGH_CENTS = 1000, 2000  # the walk is pulled back toward this range


def cents(c):
    return f"{c // 100}.{c % 100:02d}"


def main():
    rng = random.Random(SEED)
    out = sys.stdout
    out.write("date,open,high,low,close,volume\n")
    day = START
    close = 1450
    for _ in range(BARS):
        while day.weekday() >= 5:
            day += datetime.timedelta(days=1)
        # Daily move of up to 2%, a drift back into range, and now and then a larger gap.
        drift = 0.01 if close < LOW_CENTS else (-0.01 if close > HIGH_CENTS else 0.0)
        move = rng.uniform(-0.02, 0.02) + drift
        if rng.random() < 0.05:
            move += rng.uniform(-0.05, 0.05)
        open_ = max(100, close + round(close * rng.uniform(-0.01, 0.01)))
        new_close = max(100, round(close * (1.0 + move)))
        top, bottom = max(open_, new_close), min(open_, new_close)
        high = top + round(close * rng.uniform(0.0, 0.015))
        low = max(50, bottom - round(close * rng.uniform(0.0, 0.015)))
        volume = 100 * rng.randint(5000, 60000)
        out.write(f"{day.isoformat()},{cents(open_)},{cents(high)},{cents(low)},"
                  f"{cents(new_close)},{volume}\n")
        close = new_close
        day += datetime.timedelta(days=1)


if __name__ == "__main__":
    main()
