#!/usr/bin/env python3
"""Writes the seeds of the daily-file decoder's fuzz target, so that each seed is known byte by
byte: python3 fuzz/write_seeds.py (from anywhere)."""

import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def day_record(date, open_, high, low, close):
    # date, open, high, low, close, turnover (float), volume, reserved: little-endian.
    return struct.pack("<5IfII", date, open_, high, low, close, 1.0e6, 1000, 0)


def day_file(rows):
    return b"".join(day_record(d, *prices) for d, prices in rows)


def everyday(dates, base=1000):
    # Prices in hundredths, small enough for the decoder's four-at-a-time path.
    return [(d, (base + i, base + i + 20, base + i - 20, base + i + 5)) for i, d in enumerate(dates)]


def day_series_seeds():
    big = 1 << 24  # hundredths from here on take the decoder's one-by-one path
    return {
        # Five records: one block of four, then one alone; across the end of a leap February.
        "leap_february": day_file(everyday([20240227, 20240228, 20240229, 20240301, 20240304])),
        # Eight dates within one month: two blocks, no full check after the first.
        "within_a_month": day_file(everyday([20230102, 20230103, 20230104, 20230105,
                                             20230109, 20230110, 20230111, 20230131])),
        # Across months of 30 and 31 days and into a new year.
        "across_months_and_years": day_file(everyday([20220929, 20220930, 20221003, 20221031,
                                                      20221130, 20221201, 20221230, 20230103, 20230104])),
        # A price from 2^24 hundredths up in the second block of four: from there one by one.
        "prices_above_2_24": day_file(everyday([20200102, 20200103, 20200106, 20200107])
                                      + [(20200108, (big + 7, big + 99, big - 1, big + 50)),
                                         (20200109, (4294967295, 4294967295, 0, 123456789))]
                                      + everyday([20200110, 20200113, 20200114])),
        # The last two days of each short month, each pair's second a month's end that the
        # decoder's check against the record before must hold to.
        "month_ends": day_file(everyday([20230227, 20230228, 20230429, 20230430, 20230629, 20230630,
                                         20230929, 20230930, 20231129, 20231130, 20240228, 20240229])),
        "one_record": day_file(everyday([20000229])),
        # Two whole records, then a third cut short.
        "cut_short": day_file(everyday([20191230, 20191231, 20200102]))[:2 * 32 + 11],
        # A date that goes back: refused by both.
        "date_goes_back": day_file(everyday([20210301, 20210302, 20210226])),
    }


def main():
    for folder, seeds in (("corpus_day_series", day_series_seeds()),):
        (HERE / folder).mkdir(exist_ok=True)
        for name, content in seeds.items():
            (HERE / folder / name).write_bytes(content)


if __name__ == "__main__":
    main()
