#!/usr/bin/env python3
"""tarvok-run where a real terminal folder and Windows meet it: one table of cases, each with its
expected exit status and message and what must hold afterwards (no daily file overwritten, no
table lost, nothing hung); then a file renamed to a FIFO and back while the scan runs, as a loop
with a time limit.

usage: scan_hardening_check.py TOOL WORK_DIR [PLUGIN] [--emulator PROGRAM [ARGUMENTS]]
With --emulator (the Windows tool under Wine) the cases that need POSIX links, FIFOs or byte
names are left out, and the Windows ones (device names, names outside the code page, names that
Windows cuts) are run.
"""
import os
import re
import shutil
import struct
import sys
import threading
import time

from e2e_support import Program, fail, split_emulator

RECORD = struct.Struct("<5IfII")
TIMEOUT = 60  # seconds for any one run: a hang fails the check instead of holding it up


def records(n, start=20240102, price=1000):
    out = []
    for k in range(n):
        day = start + k  # within one month for n < 28
        c = price + (k * 37) % 50 - 25
        # 1000 shares traded at the close: the day's average price tells the unit of 1/100 yuan.
        out.append(RECORD.pack(day, c, c + 10, c - 10, c, c / 100.0 * 1000, 1000, 0))
    return b"".join(out)


class Market:
    """A terminal-like folder: vipdoc/sh/lday with a few good daily files."""

    def __init__(self, root):
        self.root = root
        self.lday = os.path.join(root, "vipdoc", "sh", "lday")
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(self.lday)
        self.days = {}
        for k, code in enumerate(("600000", "600001", "600002")):
            self.add(f"sh{code}.day", records(10 + k))

    def add(self, name, data, folder=None):
        path = os.path.join(folder or self.lday, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        self.days[path] = data
        return path

    def unchanged(self):
        """Whether every daily file still holds what it was written with."""
        for path, data in self.days.items():
            with open(path, "rb") as f:
                if f.read() != data:
                    return f"{path} was changed"
        return None


def run_case(tool, work, case, emulator):
    name, setup, args, status, pattern = case[:5]
    after = case[5] if len(case) > 5 else None
    market = Market(os.path.join(work, re.sub(r"\W+", "_", name)))
    context = setup(market) if setup else {}
    stdout_path = context.get("stdout")
    arguments = [a.format(root=market.root, lday=market.lday, **context) for a in args]
    if stdout_path:
        with open(stdout_path, "ab") as out:
            result = tool.run(*arguments, stdout=out, timeout=TIMEOUT)
    elif "file_size_blocks" in context:
        # Files may not grow past the limit (in blocks of 512 bytes), and going past it is an
        # error of the write, not the signal that would end the program.
        limited = Program("sh", label="tarvok-run")
        result = limited.run("-c", f'ulimit -f {context["file_size_blocks"]}; trap "" XFSZ; '
                             'exec "$0" "$@"', tool.path, *arguments, timeout=TIMEOUT)
    else:
        result = tool.run(*arguments, timeout=TIMEOUT)
    if result.status != status:
        fail(f"{name}: {result}; expected exit {status}")
    if pattern and not re.search(pattern, result.err):
        fail(f"{name}: stderr {result.err!r} does not match {pattern!r}")
    problem = market.unchanged()
    if problem is None and after:
        problem = after(market, result, context)
    if problem:
        fail(f"{name}: {problem}")


def page_is_utf8(path):
    with open(path, "rb") as f:
        data = f.read()
    try:
        data.decode("utf-8")
    except UnicodeDecodeError as e:
        return f"the page is not UTF-8: {e}"
    return None


def cases(tool, emulator, plugin):
    def link_html(kind):
        def setup(m):
            page = os.path.join(m.root, "report.html")
            (os.symlink if kind == "symbolic" else os.link)(os.path.join(m.lday, "sh600000.day"), page)
            return {"page": page}
        return setup

    def stdout_is(name):
        def setup(m):
            return {"stdout": os.path.join(m.root, name), "page": os.path.join(m.root, name)}
        return setup

    def table_kept(m, result, context):
        with open(context["stdout"], "rb") as f:
            if f.read():
                return "the table's file was written, though the page was refused"
        return None

    def big_sparse(m):
        path = os.path.join(m.lday, "sh601000.day")
        with open(path, "wb") as f:
            f.truncate(10 << 30)
        return {}

    def linked_folder(m):
        elsewhere = os.path.join(m.root, "..", os.path.basename(m.root) + "_disk2", "lday")
        m.add("sz000001.day", records(12), folder=elsewhere)
        os.symlink(os.path.abspath(elsewhere), os.path.join(m.root, "vipdoc", "sz"))
        os.symlink("..", os.path.join(m.lday, "loop"))
        return {}

    def odd_symbols(m):
        m.add("=cmd.day", records(8))
        m.add("sh\x07\x1b[31m.day", records(8))
        return {}

    def csv_defused(m, result, context):
        if "\n'=cmd," not in result.out:
            return f"a formula start not defused: {result.out!r}"
        if "\nsh\\x07\\x1b[31m," not in result.out:
            return f"control bytes not shown as \\xNN: {result.out!r}"
        return None

    def gbk_name(m):
        m.add(b"\xc6\xbd\xb0\xb2.day".decode("utf-8", "surrogateescape"), records(9))
        return {"page": os.path.join(m.root, "page.html")}

    def cjk_names(m):
        folder = os.path.join(m.root, "股票", "lday")
        m.add("平安银行.day", records(9), folder=folder)
        return {"page": os.path.join(m.root, "页面.html"), "cjk": os.path.join(m.root, "股票")}

    def cjk_page(m, result, context):
        problem = page_is_utf8(context["page"])
        if problem:
            return problem
        with open(context["page"], encoding="utf-8") as f:
            if "平安银行" not in f.read():
                return "the page does not name 平安银行"
        if not result.out.startswith("symbol,") or "\n平安银行," not in result.out:
            return f"the table does not name 平安银行: {result.out!r}"
        return None

    def devices(m):
        for name in ("aux.day", "com1.day", "nul.day", "CON .day"):
            open(os.path.join(m.lday, name), "wb").close()
        return {}

    def existing_page(m):
        page = os.path.join(m.root, "page.html")
        with open(page, "wb") as f:
            f.write(b"the previous page")
        return {"page": page}

    def page_replaced(m, result, context):
        with open(context["page"], "rb") as f:
            if not f.read().startswith(b"<!DOCTYPE html>"):
                return "the page was not written"
        left = [n for n in os.listdir(m.root) if n.endswith(".tmp")]
        return f"files left beside the page: {left}" if left else None

    def page_too_large(m):
        context = existing_page(m)
        context["file_size_blocks"] = 8  # 4 KiB: the page fails as on a full disk
        return context

    def previous_page_kept(m, result, context):
        with open(context["page"], "rb") as f:
            if f.read() != b"the previous page":
                return "the previous page was not left whole"
        left = sorted(set(os.listdir(m.root)) - {"vipdoc", "page.html"})
        return f"files left beside the page: {left}" if left else None

    def newest_first(m):
        csv = os.path.join(m.root, "bars.csv")
        with open(csv, "w") as f:
            f.write("date,high,low,close\n")
            for day in range(20, 0, -1):
                f.write(f"2024-01-{day:02d},{11 + day % 3},{9 - day % 2},{10 + day % 5}\n")
        with open(os.path.join(m.root, "oldest.csv"), "w") as f:
            f.write("date,high,low,close\n")
            for day in range(1, 21):
                f.write(f"2024-01-{day:02d},{11 + day % 3},{9 - day % 2},{10 + day % 5}\n")
        return {"csv": csv, "oldest": os.path.join(m.root, "oldest.csv")}

    def same_as_oldest_first(m, result, context):
        oldest = tool.run(context["oldest"], timeout=TIMEOUT)
        return None if oldest.out == result.out else "newest first gave other values"

    table = [
        # name, setup, arguments, status, stderr pattern[, check afterwards]
        ("a scan", None, ["--scan", "{root}"], 0, r"scanned 3 daily files"),
        ("the page is standard output's file", stdout_is("scan.csv"),
         ["--scan", "{root}", "--html", "{page}"], 2,
         r"--html .*scan\.csv: is also the standard output: the table there would be lost",
         table_kept),
        ("standard output is a daily file", lambda m: {"stdout": os.path.join(m.lday, "sh600003.day")},
         ["--scan", "{root}"], 2, r"standard output is the file .*sh600003\.day"),
        ("a file over 64 MiB is refused unread", big_sparse, ["--scan", "{root}", "-j", "2"], 0,
         r"sh601000\.day: larger than 64 MiB"),
        ("an existing page is replaced whole", existing_page,
         ["--scan", "{root}", "--html", "{page}"], 0, r"scanned 3", page_replaced),
        ("CSV dates newest first", newest_first, ["{csv}"], 0,
         r"bars\.csv: its dates run newest first: read in time order",
         same_as_oldest_first),
        ("--version", None, ["--version"], 0, r"^$"),
        ("an option word in any case", None, ["--scan", "{root}", "--phase", "Rising"], 0, r"scanned"),
        ("a scan option without --scan", None, ["--phase", "up"], 2, r"--phase needs --scan DIR"),
        ("a limit named", None, ["--scan", "{root}", "--changed-within", "4294967296"], 2,
         r"must be a whole number from 1 to 2147483647"),
    ]
    if not emulator:
        table += [
            ("the page is a symbolic link to a daily file", link_html("symbolic"),
             ["--scan", "{root}", "--html", "{page}"], 2,
             r"--html .*report\.html: is the file .*sh600000\.day: it would be overwritten"),
            ("the page is a hard link to a daily file", link_html("hard"),
             ["--scan", "{root}", "--html", "{page}"], 2, r"is the file .*sh600000\.day"),
            ("a linked folder is scanned, a loop passed over", linked_folder, ["--scan", "{root}"],
             0, r"loop: links to a folder scanned already: passed over[\s\S]*scanned 4 daily files"),
            ("control bytes and formula starts in the CSV", odd_symbols, ["--scan", "{root}"], 0,
             r"scanned 5", csv_defused),
            ("a page that cannot be written whole leaves the previous one", page_too_large,
             ["--scan", "{root}", "--html", "{page}"], 1,
             r"cannot write the page .*page\.html: File too large", previous_page_kept),
            ("a name that is no UTF-8", gbk_name, ["--scan", "{root}", "--html", "{page}"], 0,
             r"scanned 4", lambda m, r, c: page_is_utf8(c["page"])),
        ]
        if plugin:
            table.append(("--plugin without the terminal's folder", None,
                          ["--plugin", plugin, os.path.join(os.path.dirname(__file__), "..", "..",
                                                           "examples", "synthetic_daily_bars.csv")],
                          0, r"no run log file this time \(the indicator works all the same"))
    else:
        table += [
            ("Windows device names", devices, ["--scan", "{root}"], 0,
             r"aux\.day: a name Windows keeps for a device[\s\S]*com1\.day: a name Windows keeps"),
            ("a page named as a daily file but for the dots Windows drops", None,
             ["--scan", "{root}", "--html", "{lday}\\sh600000.day. ."], 2,
             r"a page named as a daily file would be scanned as one"),
            ("names outside the code page", cjk_names,
             ["--scan", "{cjk}", "--html", "{page}"], 0, r"scanned 1 daily file", cjk_page),
        ]
    return table


def rename_race(tool, work, emulator):
    """A daily file that becomes a FIFO and back while the scan runs never holds it up."""
    if emulator:
        return
    market = Market(os.path.join(work, "rename_race"))
    for k in range(200):
        market.add(f"sz{k:06d}.day", records(20))
    target = os.path.join(market.lday, "sz000100.day")
    fifo = os.path.join(market.root, "fifo")
    os.mkfifo(fifo)
    saved = os.path.join(market.root, "saved")
    os.link(target, saved)
    stop = threading.Event()

    def swap():
        while not stop.is_set():
            os.replace(fifo, target)
            os.mkfifo(fifo)
            os.link(saved, fifo + ".day")
            os.replace(fifo + ".day", target)

    swapper = threading.Thread(target=swap)
    swapper.start()
    deadline = time.monotonic() + 10
    runs = 0
    try:
        while time.monotonic() < deadline:
            result = tool.run("--scan", market.root, "-j", "4", timeout=TIMEOUT)
            if result.status != 0:
                fail(f"rename race: {result}")
            runs += 1
    finally:
        stop.set()
        swapper.join()
    if runs == 0:
        fail("rename race: no scan finished")


def main():
    args, emulator = split_emulator(sys.argv[1:])
    tool_path, work = args[0], args[1]
    plugin = args[2] if len(args) > 2 else None
    tool = Program(tool_path, emulator, label="tarvok-run")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for case in cases(tool, emulator, plugin):
        run_case(tool, work, case, emulator)
    version = tool.run("--version", timeout=TIMEOUT)
    if not re.fullmatch(r"tarvok-run \d+\.\d+\.\d+\n", version.out):
        fail(f"--version: {version.out!r}")
    rename_race(tool, work, emulator)


if __name__ == "__main__":
    main()
