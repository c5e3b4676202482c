#!/usr/bin/env python3
"""The zip's 扫描全市场.bat under Wine's cmd, with the zip's tarvok-run.exe beside it, as a trader
double-clicks it, on synthetic terminal-like folders (examples/make_synthetic_market.py):

- placed inside the terminal's folder, it finds the terminal by itself (asks nothing, notes
  nothing), writes the page and the table into 扫描结果 under a dated name, the table the same as
  a direct scan of the terminal, and opens the page;
- placed elsewhere, it asks once for the terminal's folder (given quoted, as the vipdoc folder,
  with a trailing space, as a folder dragged into the window is), scans it and notes it in
  终端文件夹.txt; run again it asks nothing and scans the noted folder;
- given a folder that is no terminal's, it says so and exits 2 without noting it;
- when tarvok-run fails (a terminal without daily files), it names the exit status, leaves no
  table behind, opens nothing and exits with the status;
- without tarvok-run.exe beside it, it says so and exits 2.

The folders' names hold spaces, parentheses and Chinese, as Windows folders do. Wine runs in the
zh_CN.UTF-8 locale, so that it reads the .bat as GBK as a Chinese Windows does; where the system
lacks the locale, it is made with localedef in the work folder. The browser is the .bat's
TARVOK_OPEN_WITH: a .bat of the check's that notes the file it was given.

usage: scan_bat_check.py ZIP MARKET_SCRIPT WORK_DIR --emulator WINE_RUN...
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import zipfile

from e2e_support import Program, fail, split_emulator

LOCALE = "zh_CN.UTF-8"
STAMP = re.compile(r"\d{4}-\d{2}-\d{2}_\d{4}(\d{2})?")
RESULTS = "扫描结果"
REMEMBERED = "终端文件夹.txt"


def windows(path):
    """The path as Wine's programs see it: on drive Z:, which is the root of the file system."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def chinese_locale(work):
    """Sets LC_ALL to the Chinese locale, made in the work folder (LOCPATH) when the system has
    none."""
    listed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if not {"zh_CN.utf8", "zh_CN.UTF-8"} & set(listed):
        folder = os.path.join(work, "locale")
        os.makedirs(folder, exist_ok=True)
        made = subprocess.run(["localedef", "-i", "zh_CN", "-f", "UTF-8",
                               os.path.join(folder, LOCALE)], capture_output=True, text=True)
        if made.returncode not in (0, 1) or not os.path.isdir(os.path.join(folder, LOCALE)):
            fail(f"cannot make the locale {LOCALE} (Debian's locales package): {made.stderr}")
        os.environ["LOCPATH"] = folder
    os.environ["LC_ALL"] = LOCALE


class Folder:
    """A folder holding the .bat (and tarvok-run.exe): runs it, and sees what it left."""

    def __init__(self, path, bat, tool, cmd):
        self.path, self.cmd = path, cmd
        os.makedirs(path)
        shutil.copy(bat, os.path.join(path, "扫描全市场.bat"))
        if tool:
            shutil.copy(tool, os.path.join(path, "tarvok-run.exe"))

    def run(self, answer=None):
        """Runs the .bat, typing the answer and Enter if one is given; (status, output)."""
        opened = os.path.join(self.path, "opened.txt")
        if os.path.exists(opened):
            os.remove(opened)
        # Started in its folder by its bare name: cmd /c takes the quotes off a path that holds
        # parentheses (a double click quotes it once more, which Wine's command line does not).
        r = self.cmd.run("/c", "扫描全市场.bat", cwd=self.path,
                         stdin=None if answer is None else (answer + "\r\n").encode("gbk"),
                         timeout=300)
        return r.status, (r.stdout + r.stderr).decode("gbk", "replace").replace("\r\n", "\n")

    def results(self):
        """The stems of the dated results: {stem: set of suffixes}."""
        found = {}
        for path in glob.glob(os.path.join(self.path, RESULTS, "*")):
            stem, suffix = os.path.splitext(os.path.basename(path))
            found.setdefault(stem, set()).add(suffix)
        return found

    def remembered(self):
        path = os.path.join(self.path, REMEMBERED)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("gbk")

    def opened(self):
        path = os.path.join(self.path, "opened.txt")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("gbk").strip()


def expect(what, condition, status, output):
    if not condition:
        fail(f"{what}: exit {status}, output:\n{output}")


def check_scanned(what, folder, status, output, direct):
    """A run that scanned: exit 0, one dated page and table, the table the direct scan's, the
    page opened."""
    expect(f"{what}: no finished scan", status == 0 and "扫描完成" in output, status, output)
    results = folder.results()
    stems = [s for s, suffixes in results.items() if suffixes == {".csv", ".html"}]
    expect(f"{what}: results {results}, expected one dated .csv with its .html",
           len(results) == 1 and len(stems) == 1 and STAMP.fullmatch(stems[0]), status, output)
    stem = stems[0]
    with open(os.path.join(folder.path, RESULTS, stem + ".csv"), "rb") as f:
        table = f.read()
    if table.replace(b"\r\n", b"\n") != direct:
        fail(f"{what}: the table differs from a direct scan:\n{table[:400]!r}\n{direct[:400]!r}")
    with open(os.path.join(folder.path, RESULTS, stem + ".html"), encoding="utf-8") as f:
        if "<table" not in f.read():
            fail(f"{what}: {stem}.html is no page of the scan")
    page = windows(os.path.join(folder.path, RESULTS, stem + ".html"))
    expect(f"{what}: opened {folder.opened()!r}, expected the page {page}",
           folder.opened() == page, status, output)
    return stem


def main():
    arguments, emulator = split_emulator(sys.argv[1:])
    zip_path, market_script, work = arguments
    if not emulator:
        fail("--emulator (cmake/wine-run) is needed: the .bat runs under Wine's cmd")
    work = os.path.abspath(work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shipped = {}
    with zipfile.ZipFile(zip_path) as z:
        for info in z.infolist():
            name = info.filename.split("/")[-1]
            if name in ("扫描全市场.bat", "tarvok-run.exe"):
                shipped[name] = os.path.join(work, name)
                with open(shipped[name], "wb") as f:
                    f.write(z.read(info))
    if len(shipped) != 2:
        fail(f"{zip_path} lacks 扫描全市场.bat or tarvok-run.exe: {sorted(shipped)}")
    bat, tool = shipped["扫描全市场.bat"], shipped["tarvok-run.exe"]
    chinese_locale(work)
    cmd = Program("cmd", emulator, label="cmd")

    opener = os.path.join(work, "opener.bat")
    with open(opener, "wb") as f:
        f.write(b'@echo off\r\n>"%~dp1..\\opened.txt" echo %~1\r\n')
    os.environ["TARVOK_OPEN_WITH"] = windows(opener)

    terminal = os.path.join(work, "new tdx (测试)")
    Program(sys.executable).ok(market_script, terminal, "--files", "9", "--bars", "80")
    direct = Program(tool, emulator).ok("--scan", windows(terminal)).stdout.replace(b"\r\n", b"\n")
    lines = direct.count(b"\n")
    if lines != 10:
        fail(f"the direct scan has {lines} lines, expected a header and 9 rows")

    # Inside the terminal's folder, two levels down.
    inside = Folder(os.path.join(terminal, "工具", "tarvok (x86)"), bat, tool, cmd)
    status, output = inside.run()
    check_scanned("inside the terminal", inside, status, output, direct)
    expect("inside the terminal: asked or noted the folder",
           "请输入" not in output and inside.remembered() is None, status, output)

    # Elsewhere: asked once, the answer noted, then not asked again.
    elsewhere = Folder(os.path.join(work, "别处 (D盘)", "tarvok"), bat, tool, cmd)
    status, output = elsewhere.run(f'"{windows(terminal)}\\vipdoc\\" ')
    expect("elsewhere: did not ask for the terminal's folder", "请输入" in output, status, output)
    first = check_scanned("elsewhere, asked", elsewhere, status, output, direct)
    noted = elsewhere.remembered()
    expect(f"elsewhere: noted {noted!r}, expected {windows(terminal)!r} and CR LF",
           noted == windows(terminal) + "\r\n", status, output)
    shutil.rmtree(os.path.join(elsewhere.path, RESULTS))
    status, output = elsewhere.run()
    expect("elsewhere, run again: asked again", "请输入" not in output, status, output)
    check_scanned("elsewhere, run again", elsewhere, status, output, direct)

    # A folder that is no terminal's.
    wrong = Folder(os.path.join(work, "wrong"), bat, tool, cmd)
    status, output = wrong.run(windows(work))
    expect("a folder without vipdoc: not refused with status 2",
           status == 2 and "不是通达信终端的文件夹" in output, status, output)
    expect("a folder without vipdoc: noted or scanned",
           wrong.remembered() is None and not wrong.results(), status, output)

    # A terminal without daily files: tarvok-run exits 2, and the .bat with it.
    empty = os.path.join(work, "empty terminal")
    os.makedirs(os.path.join(empty, "vipdoc", "sh", "lday"))
    failing = Folder(os.path.join(work, "failing"), bat, tool, cmd)
    status, output = failing.run(windows(empty))
    expect("tarvok-run failing: status and message",
           status == 2 and "扫描没有完成" in output and "退出状态为 2" in output, status, output)
    expect(f"tarvok-run failing: left {failing.results()}, opened {failing.opened()!r}",
           not any(".csv" in s or ".html" in s for s in failing.results().values())
           and failing.opened() is None, status, output)

    # Without tarvok-run.exe beside it.
    alone = Folder(os.path.join(work, "alone"), bat, None, cmd)
    status, output = alone.run()
    expect("without tarvok-run.exe", status == 2 and "找不到 tarvok-run.exe" in output,
           status, output)
    print(f"扫描全市场.bat under Wine's cmd: found the terminal from inside it, asked once and "
          f"remembered it from elsewhere ({first}), refused a folder without vipdoc, passed on "
          "tarvok-run's failure, missed tarvok-run.exe")


if __name__ == "__main__":
    main()
