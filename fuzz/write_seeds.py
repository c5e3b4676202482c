#!/usr/bin/env python3
"""Writes the seeds of the daily-file decoder's, the text-export reader's and the library check's
fuzz targets, so that each seed is known byte by byte: python3 fuzz/write_seeds.py (from
anywhere)."""

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
    return [(d, (base + i, base + i + 20, base + i - 20, base + i + 5))
            for i, d in enumerate(dates)]


def day_series_seeds():
    big = 1 << 24  # hundredths from here on take the decoder's one-by-one path
    return {
        # Five records: one block of four, then one alone; across the end of a leap February.
        "leap_february": day_file(everyday([20240227, 20240228, 20240229, 20240301, 20240304])),
        # Eight dates within one month: two blocks, no full check after the first.
        "within_a_month": day_file(everyday([20230102, 20230103, 20230104, 20230105,
                                             20230109, 20230110, 20230111, 20230131])),
        # Across months of 30 and 31 days and into a new year.
        "across_months_and_years": day_file(everyday([
            20220929, 20220930, 20221003, 20221031, 20221130, 20221201, 20221230, 20230103,
            20230104])),
        # A price from 2^24 hundredths up in the second block of four: from there one by one.
        "prices_above_2_24": day_file(everyday([20200102, 20200103, 20200106, 20200107])
                                      + [(20200108, (big + 7, big + 99, big - 1, big + 50)),
                                         (20200109, (4294967295, 4294967295, 0, 123456789))]
                                      + everyday([20200110, 20200113, 20200114])),
        # The last two days of each short month, each pair's second a month's end that the
        # decoder's check against the record before must hold to.
        "month_ends": day_file(everyday([
            20230227, 20230228, 20230429, 20230430, 20230629, 20230630, 20230929, 20230930,
            20231129, 20231130, 20240228, 20240229])),
        "one_record": day_file(everyday([20000229])),
        # Two whole records, then a third cut short.
        "cut_short": day_file(everyday([20191230, 20191231, 20200102]))[:2 * 32 + 11],
        # A date that goes back: refused by both.
        "date_goes_back": day_file(everyday([20210301, 20210302, 20210226])),
    }


def put(buf, offset, fmt, *values):
    struct.pack_into("<" + fmt, buf, offset, *values)


def elf(wide):
    # The identification, the header, one loaded segment over the whole file and a section header
    # table of one null entry: what the check reads, no code.
    header, ph_size, sh_size = (64, 56, 64) if wide else (52, 32, 40)
    size = header + ph_size + sh_size
    b = bytearray(size)
    b[0:16] = b"\x7fELF" + bytes([2 if wide else 1, 1, 1]) + bytes(9)
    put(b, 16, "HHI", 3, 62 if wide else 3, 1)  # ET_DYN, x86-64 or x86, version 1
    if wide:
        put(b, 32, "QQIHHHHHH", header, header + ph_size, 0, header, ph_size, 1, sh_size, 1, 0)
        put(b, header, "IIQQQQQQ", 1, 5, 0, 0, 0, size, size, 0x1000)
    else:
        put(b, 28, "IIIHHHHHH", header, header + ph_size, 0, header, ph_size, 1, sh_size, 1, 0)
        put(b, header, "IIIIIIII", 1, 0, 0, 0, size, size, 5, 0x1000)
    return bytes(b)


def pe(wide):
    # The MZ header pointing at the PE header, the COFF header of a DLL, an optional header of the
    # right kind (its size as the linker writes it) and one section whose data follows the table.
    optional_size = 240 if wide else 224
    table = 64 + 24 + optional_size
    data = table + 40
    b = bytearray(data + 16)
    b[0:2] = b"MZ"
    put(b, 0x3C, "I", 64)
    b[64:68] = b"PE\0\0"
    characteristics = 0x2022 if wide else 0x2102  # DLL, executable, and large-address or 32-bit
    put(b, 68, "HHIIIHH", 0x8664 if wide else 0x14C, 1, 0, 0, 0, optional_size, characteristics)
    put(b, 88, "H", 0x20B if wide else 0x10B)
    put(b, 88 + 32, "II", 0x1000, 0x200)  # section and file alignment
    put(b, 88 + 68, "H", 2)  # subsystem: Windows GUI
    b[table:table + 8] = b".text\0\0\0"
    put(b, table + 8, "IIII", 16, 0x1000, 16, data)  # virtual size and address, raw size and offset
    return bytes(b)


def library_seeds():
    return {"elf64": elf(True), "elf32": elf(False), "pe32": pe(False), "pe32_plus": pe(True)}


def export(title, header, rows, separator="\t", end="\r\n", footer="数据来源:通达信"):
    lines = [title, separator.join(header)] + [separator.join(row) for row in rows] + [footer]
    return end.join(lines).encode("gbk") + end.encode()


DAILY = ["日期", "开盘", "最高", "最低", "收盘", "成交量", "成交额"]
MINUTE = ["日期", "时间", "开盘", "最高", "最低", "收盘", "成交量", "成交额"]


def tdx_export_seeds():
    daily = [["2024/10/08", "10.11", "10.50", "9.98", "10.35", "123456", "1277000.00"],
             ["2024/10/09", "10.35", "10.40", "10.01", "10.02", "99000", "1000000.50"],
             ["2024/11/01", "-0.75", "0.125", "-1.002", "0.00", "0", "0.00"]]
    # Enough rows of the common shape for the fast reader, which leaves the last 80 bytes alone.
    many = [["2024%02d%02d" % (1 + i // 28, 1 + i % 28), "%d.%02d" % (5 + i, i), "%d.%02d" % (6 + i, i),
             "%d.%02d" % (4 + i, i), "%d.%02d" % (5 + i, 99 - i), str(1000 * i), "%d.00" % (5000 * i)]
            for i in range(40)]
    minute = [["2024-12-31", "1455", "2.101", "2.105", "2.100", "2.104", "1000", "2104.0"],
              ["2024-12-31", "15:00", "2.104", "2.110", "2.103", "2.109", "1000", "2109.0"],
              ["2025-01-02", "9:35", "2.109", "2.109", "2.099", "2.100", "1000", "2100.0"]]
    return {
        "daily_tabs": export("600000 浦发银行 日线 前复权", DAILY, daily),
        "daily_many_rows": export("600000 浦发银行 日线 前复权", DAILY, many),
        "minutes_commas": export("159915 ETF 5分钟线 后复权", MINUTE, minute * 1, separator=","),
        "weekly_blanks_lf": export("000002 万  科Ａ 周线 不复权", DAILY, daily, separator="   ",
                                   end="\n", footer="#数据来源：通达信"),
        # A price past the fast path, a row with blanks, and a date that does not rise.
        "odd_rows": export("600000 浦发银行 日线 不复权", DAILY,
                           many[:20] + [["2024/02/29", "16777.217", " 1.5", "1", "1", "0", "0"]]
                           + many[19:25]),
        "cut_short": export("600000 浦发银行 日线 前复权", DAILY, many)[:-40],
    }


def main():
    for folder, seeds in (("corpus_day_series", day_series_seeds()),
                          ("corpus_tdx_export", tdx_export_seeds()),
                          ("corpus_library_file", library_seeds())):
        (HERE / folder).mkdir(exist_ok=True)
        for name, content in seeds.items():
            (HERE / folder / name).write_bytes(content)


if __name__ == "__main__":
    main()
