#!/usr/bin/env python3
"""The page of tarvok-run --scan --html in a real browser (headless Chromium), in Chinese and in
English, over a terminal-like folder this check writes: A-shares of the three markets, an index,
an ETF, a bond, B-shares, a suspended and a stale stock, and the terminal's name tables.

The page's bytes: UTF-8, its language and charset declared, CJK fonts first. Its language: the
user's (LC_ALL, LC_MESSAGES, LANG), or --lang. In the browser, once the page's script ran: one row
per CSV row with the CSV's values as the page shows them (prices at the decimals of their unit,
the phase in words, the date the phase began, the distance with its sign), current rows first and
the most recent phase changes first, stale and suspended rows greyed and marked. Then a table of
actions, each followed by the rows shown and the counts line against a model of the filters:
buttons by kind, market and phase, the phase-began-within field, the search, copying and
downloading the codes shown, sorting by a column's header and opening the charts.

usage: scan_page_check.py TOOL CHROMIUM WORK_DIR
"""
import csv
import html
import json
import math
import os
import re
import shutil
import struct
import sys
import urllib.parse

from PIL import Image

from e2e_support import Program, browser, f32, fail, trading_days

DAY = struct.Struct("<5IfII")


DAYS = trading_days(160)


def walk(count, start, step, seed):
    """(open, high, low, close) in whole units of a walk that the seed steers."""
    out, price = [], start
    for k in range(count):
        close = max(2 * step, price + (((k * 7919) ^ seed) % 9 - 4) * step)
        high, low = max(price, close) + step, max(step, min(price, close) - step)
        out.append((price, high, low, close))
        price = close
    return out


def day_file(prices, scale, days, lots=False):
    """A daily file: prices in 1/scale yuan, the turnover of the volume at the close (an index's
    volume in lots of 100), so that the day's average price lies in its range."""
    volume = 20000
    return b"".join(DAY.pack(d.year * 10000 + d.month * 100 + d.day, o, h, l, c,
                             c / scale * volume * (100 if lots else 1), volume, 0)
                    for d, (o, h, l, c) in zip(days, prices))


def name_table(records):
    """A code table of the newer kind: a 50-byte header, then 360-byte records of the code and
    the GBK name at offset 31."""
    out = bytearray(50)
    for code, name in records:
        record = bytearray(360)
        record[0:6] = code.encode()
        encoded = name.encode("gbk")
        record[31:31 + len(encoded)] = encoded
        out += record
    return bytes(out)


# symbol -> (name, kind, units in a yuan, trading dates behind, prices)
MARKET = {
    "sh600000": ("浦发银行", "a-share", 100, 0, walk(160, 1000, 3, 14)),
    "sh600004": ("白云机场", "a-share", 100, 0, walk(160, 1500, 4, 3)),
    "sh600005": ("武钢股份", "a-share", 100, 5, walk(155, 1200, 2, 37)),
    "sh600006": ("东风汽车", "a-share", 100, 70, walk(90, 1300, 2, 6)),
    "sh600007": ("中国国贸", "a-share", 100, 60, walk(100, 1600, 3, 8)),
    "sh600008": ("首创环保", "a-share", 100, 59, walk(101, 300, 1, 9)),
    "sh688001": ("华兴源创", "a-share", 100, 0, walk(160, 4000, 9, 13)),
    "sz000001": ("平安银行", "a-share", 100, 0, walk(160, 1100, 3, 22)),
    "sz000002": ("万科Ａ", "a-share", 100, 0, walk(160, 900, 2, 27)),
    "sz300001": ("特锐德", "a-share", 100, 0, [(2000, 2000, 2000, 2000)] * 160),
    "bj830799": ("艾融软件", "a-share", 100, 0, walk(160, 700, 2, 25)),
    "sh000001": ("上证指数", "index", 100, 0, walk(160, 330000, 90, 18)),
    "sh510300": ("沪深300ETF", "fund", 1000, 0, walk(160, 3912, 4, 20)),
    "sh110030": ("", "bond", 1000, 0, walk(160, 105000, 50, 21)),
    "sh900901": ("云赛Ｂ股", "b-share", 1000, 0, walk(160, 300, 1, 30)),
    "sz200002": ("万科Ｂ", "b-share", 100, 0, walk(160, 500, 1, 31)),
}
CHARTS = 4
DEFAULT_WITHIN = 5
STALE_FROM = 60


def write_market(root):
    for symbol, (_, kind, scale, behind, prices) in MARKET.items():
        folder = os.path.join(root, "vipdoc", symbol[:2], "lday")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, symbol + ".day"), "wb") as f:
            f.write(day_file(prices, scale, DAYS[:len(DAYS) - behind], lots=kind == "index"))
    cache = os.path.join(root, "T0002", "hq_cache")
    os.makedirs(cache)
    for market in ("sh", "sz", "bj"):
        with open(os.path.join(cache, f"{market}s.tnf"), "wb") as f:
            f.write(name_table([(s[2:], c[0]) for s, c in MARKET.items()
                                if s.startswith(market) and c[0]]))


# The page's words, as a reader sees them.
WORDS = {
    "zh-CN": {
        "heads": ["代码", "名称", "日期", "收盘", "止损线", "阶段", "阶段开始", "持续", "距止损(%)"],
        "phases": {"rising": "上涨", "falling": "下跌", "flat": "无"},
        "suspended": "停牌", "stale": "过期",
        "counts": "显示 {shown} 只：上涨 {rising}，下跌 {falling}，无 {flat}；最近 {within} 根K线内"
                  "转换阶段的 {changed} 只。",
        "besides": "另有停牌或过期 {stale} 只（灰色），不计入。",
        "copied": "已复制 {n} 个代码",
    },
    "en": {
        "heads": ["Code", "Name", "Date", "Close", "Stop", "Phase", "Phase began", "Bars",
                  "To stop (%)"],
        "phases": {"rising": "rising", "falling": "falling", "flat": "none"},
        "suspended": "suspended", "stale": "stale",
        "counts": "{shown} shown: {rising} rising, {falling} falling, {flat} none; {changed} "
                  "changed phase within the last {within} bars.",
        "besides": " Besides, {stale} suspended or stale (greyed), not counted.",
        "copied": "{n} codes copied",
    },
}
CJK_FONTS = {"Microsoft YaHei", "PingFang SC", "Noto Sans CJK SC", "Source Han Sans SC",
             "WenQuanYi Micro Hei", "SimHei", "SimSun", "Hiragino Sans GB"}
NUMERIC = {3, 4, 7, 8}  # close, stop, bars, distance

# What the test script in the page does, step by step; after each step it notes the rows shown,
# the counts line and the buttons that are on. ("click", GROUP, VALUE) a filter button; ("type",
# FIELD, TEXT) into the within field or the search box; ("copy", HOW) the copy button, with a
# clipboard that takes execCommand("copy") or, "refused", only navigator.clipboard; ("download",)
# the download link; ("sort", COLUMN) a header; ("charts",) each chart link in turn.
ACTIONS = [
    ("copy", "execCommand"),
    ("download",),
    ("click", "kind", "index"),
    ("click", "kind", "fund"),
    ("click", "kind", "bond"),
    ("click", "kind", "b-share"),
    ("click", "kind", "all"),
    ("click", "market", "sz"),
    ("click", "market", "bj"),
    ("click", "market", "sz"),
    ("click", "market", "bj"),
    ("click", "phase", "falling"),
    ("click", "phase", "flat"),
    ("click", "phase", "falling"),
    ("click", "phase", "flat"),
    ("type", "within", "1"),
    ("type", "within", "3"),
    ("copy", "refused"),
    ("type", "within", ""),
    ("type", "search", "6000"),
    ("download",),
    ("type", "search", "000001"),
    ("type", "search", "万科"),
    ("type", "search", "etf"),
    ("type", "search", " "),
    ("click", "kind", "a-share"),
    ("click", "phase", "rising"),
    ("click", "market", "sh"),
    ("copy", "execCommand"),
    ("click", "phase", "rising"),
    ("click", "market", "sh"),
    ("click", "kind", "all"),
    ("sort", 7), ("sort", 7), ("sort", 8), ("sort", 3), ("sort", 0), ("sort", 4), ("sort", 1),
    ("sort", 6), ("sort", 2),
    ("click", "kind", "a-share"),
    ("copy", "execCommand"),
    ("charts",),
]

PROBE = r"""<pre id="result"></pre><script>
(async function () {
  "use strict";
  var out = {steps: []};
  try {
    var table = document.getElementById("rows");
    var download = document.getElementById("download");
    var rowsNow = function () { return Array.from(table.tBodies[0].rows); };
    var symbolOf = function (row) {
      return (row.cells[0].querySelector("a") || row.cells[0]).getAttribute("title");
    };
    var buttonsOn = function () {
      var on = {};
      document.querySelectorAll("#filters [data-filter]").forEach(function (group) {
        on[group.getAttribute("data-filter")] = Array.from(group.querySelectorAll("button.on"),
            function (b) { return b.getAttribute("data-value"); });
      });
      return on;
    };
    var note = function (action, extra) {
      out.steps.push(Object.assign({
        action: action,
        shown: rowsNow().filter(function (r) { return !r.hidden; }).map(symbolOf),
        order: rowsNow().map(symbolOf),
        counts: document.getElementById("counts").textContent,
        on: buttonsOn(), href: download.getAttribute("href")
      }, extra || {}));
    };

    // The clipboard, as a browser would fill it: execCommand("copy") fires the copy event, whose
    // handlers may set the data; else the selection is copied. Refused, it does nothing and
    // navigator.clipboard is left.
    var clipboard = {how: "execCommand", writes: []};
    var execCommand = document.execCommand;
    document.execCommand = function (command) {
      if (command !== "copy") return execCommand.apply(document, arguments);
      if (clipboard.how === "refused") return false;
      var data = new DataTransfer();
      var event = new ClipboardEvent("copy", {clipboardData: data, bubbles: true, cancelable: true});
      (document.activeElement || document.body).dispatchEvent(event);
      var text = data.getData("text/plain");
      if (!event.defaultPrevented) {
        var field = Array.from(document.querySelectorAll("textarea, input")).find(function (f) {
          return f.selectionEnd > f.selectionStart;
        });
        text = field ? field.value.substring(field.selectionStart, field.selectionEnd)
                     : String(window.getSelection());
      }
      clipboard.writes.push({via: "execCommand", text: text});
      return true;
    };
    var writeText = function (text) {
      clipboard.writes.push({via: "clipboard", text: text});
      return Promise.resolve();
    };
    if (navigator.clipboard) {
      Object.defineProperty(navigator.clipboard, "writeText", {value: writeText});
    } else {
      Object.defineProperty(navigator, "clipboard", {value: {writeText: writeText}});
    }
    // The download link is followed no further than its click.
    download.addEventListener("click", function (event) { event.preventDefault(); });

    var body = getComputedStyle(document.body);
    out.page = {
      lang: document.documentElement.getAttribute("lang"), charset: document.characterSet,
      font: body.fontFamily, title: document.title,
      heads: Array.from(table.tHead.rows[0].cells, function (c) { return c.textContent; }),
      download: download.getAttribute("download")
    };
    out.rows = rowsNow().map(function (r) {
      var link = r.cells[0].querySelector("a"), badge = r.cells[2].querySelector(".badge");
      return {
        symbol: symbolOf(r), data: Object.assign({}, r.dataset), className: r.className,
        cells: Array.from(r.cells, function (c) { return c.textContent; }),
        badge: badge && badge.textContent, phaseClass: r.cells[5].className,
        link: link && link.getAttribute("href"),
        colour: getComputedStyle(r.cells[1]).color
      };
    });
    note(["default"]);

    var settle = async function () { for (var k = 0; k < 5; ++k) await Promise.resolve(); };
    var actions = %s;
    for (var a of actions) {
      var extra = {};
      if (a[0] === "click") {
        document.querySelector('[data-filter="' + a[1] + '"] button[data-value="' + a[2] + '"]')
            .click();
      } else if (a[0] === "type") {
        var field = document.getElementById(a[1]);
        field.value = a[2];
        field.dispatchEvent(new Event("input", {bubbles: true}));
      } else if (a[0] === "copy") {
        clipboard.how = a[1];
        clipboard.writes = [];
        document.getElementById("copy").click();
        await settle();
        extra = {writes: clipboard.writes, status: document.getElementById("status").textContent};
      } else if (a[0] === "download") {
        download.click();
        extra = {href: download.getAttribute("href")};
      } else if (a[0] === "sort") {
        table.tHead.rows[0].cells[a[1]].click();
      } else if (a[0] === "charts") {
        extra.charts = Array.from(document.querySelectorAll("section.chart"), function (s) {
          return {id: s.id, svgs: s.querySelectorAll("svg").length,
                  heading: s.querySelector("h2").textContent};
        });
        extra.opened = rowsNow().filter(function (r) { return r.cells[0].querySelector("a"); })
            .map(function (r) {
              r.cells[0].querySelector("a").click();
              return {symbol: symbolOf(r), hash: location.hash,
                      open: Array.from(document.querySelectorAll("section.chart"))
                          .filter(function (s) { return getComputedStyle(s).display !== "none"; })
                          .map(function (s) { return s.id; })};
            });
        location.hash = "#_";
        extra.closed = Array.from(document.querySelectorAll("section.chart"))
            .filter(function (s) { return getComputedStyle(s).display !== "none"; }).length;
      }
      note(a, extra);
    }
  } catch (e) {
    out.error = String(e && e.stack || e);
  }
  document.getElementById("result").textContent = JSON.stringify(out);
})();
</script>"""


def signed(distance):
    return distance if distance in ("", "0.00") or distance.startswith("-") else "+" + distance


def expected_rows(table, lang):
    """The rows as the page shows them, in its order: current rows first, then by the bars of
    their phase, ties in the order of the symbols (the CSV's)."""
    words, rows = WORDS[lang], []
    for r in table:
        name, kind, scale, behind, _ = MARKET[r["symbol"]]
        decimals = 3 if scale == 1000 else 2
        bars, behind = int(r["phase_bars"]), int(r["days_behind"])
        days = DAYS[:len(DAYS) - behind]
        badge = None if behind == 0 else words["stale" if behind >= STALE_FROM else "suspended"]
        cells = [r["symbol"][2:], r["name"], r["date"] + (f" {badge}" if badge else ""),
                 f"{f32(float(r['close'])):.{decimals}f}", f"{f32(float(r['stop'])):.{decimals}f}",
                 words["phases"][r["phase"]], f"{days[len(days) - bars]:%Y-%m-%d}", str(bars),
                 signed(r["distance_pct"])]
        rows.append({
            "symbol": r["symbol"], "cells": cells, "badge": badge, "phaseClass": r["phase"],
            "className": "behind" if behind else "",
            "data": {"kind": kind, "market": r["symbol"][:2], "phase": r["phase"],
                     "bars": str(bars), "behind": str(behind), "code": r["symbol"][2:]},
            "name": r["name"], "text": " ".join(cells)})
    return sorted(rows, key=lambda row: (row["data"]["behind"] != "0", int(row["data"]["bars"])))


class Model:
    """What the filters should show, counted as the counts line counts."""

    def __init__(self, rows):
        self.order = list(rows)
        self.kind, self.markets = "a-share", {"sh", "sz", "bj"}
        self.phases = {"rising", "falling", "flat"}
        self.within, self.search = "", ""
        self.sorted, self.ascending = None, True

    def act(self, action):
        if action[0] == "click" and action[1] == "kind":
            self.kind = action[2]
        elif action[0] == "click":
            chosen = self.markets if action[1] == "market" else self.phases
            chosen.symmetric_difference_update({action[2]})
        elif action[0] == "type":
            setattr(self, action[1], action[2])
        elif action[0] == "sort":
            self.sort(action[1])

    def sort(self, column):
        self.ascending = not self.ascending if self.sorted == column else True
        self.sorted = column
        # The key is the cell's first node: the date without its badge.
        key = lambda row: row["cells"][column].split(" ")[0] + (" " if row["badge"] else "") \
            if column == 2 else row["cells"][column]
        if column in NUMERIC:
            value = lambda row: float(key(row)) if key(row) else math.nan
            present = [r for r in self.order if not math.isnan(value(r))]
            self.order = (sorted(present, key=value, reverse=not self.ascending)
                          + [r for r in self.order if math.isnan(value(r))])
        else:
            self.order = sorted(self.order, key=key, reverse=not self.ascending)

    def shown(self):
        text = self.search.strip().lower()
        within = int(self.within) if self.within else None
        return [r for r in self.order
                if (self.kind == "all" or r["data"]["kind"] == self.kind)
                and r["data"]["market"] in self.markets and r["data"]["phase"] in self.phases
                and (within is None or int(r["data"]["bars"]) <= within)
                and (text in r["data"]["code"].lower() or text in r["name"].lower())]

    def counts(self, lang):
        words, shown = WORDS[lang], self.shown()
        current = [r for r in shown if r["data"]["behind"] == "0"]
        within = int(self.within) if self.within else DEFAULT_WITHIN
        tally = {p: sum(r["data"]["phase"] == p for r in current) for p in words["phases"]}
        text = words["counts"].format(
            shown=len(current), within=within,
            changed=sum(int(r["data"]["bars"]) <= within for r in current), **tally)
        stale = len(shown) - len(current)
        return text + (words["besides"].format(stale=stale) if stale else "")

    def on(self):
        return {"kind": [self.kind],
                "market": [m for m in ("sh", "sz", "bj") if m in self.markets],
                "phase": [p for p in ("rising", "falling", "flat") if p in self.phases]}


def check_bytes(page, lang):
    """The page's own bytes: UTF-8 throughout, its language, the charset early enough for a
    browser's first look (1024 bytes)."""
    with open(page, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        fail(f"{page}: not UTF-8: {e}")
    if f'<html lang="{lang}">' not in text or not 0 <= data.find(b'<meta charset="utf-8">') < 1024:
        fail(f"{page}: no <html lang=\"{lang}\"> or no <meta charset=\"utf-8\"> in its first "
             f"1024 bytes: {text[:300]!r}")
    return text


def check_page(chromium, work, page, lang, table):
    """The page in the browser, with the test script after its own: its rows, then each action
    against the model."""
    text = check_bytes(page, lang)
    probe_page = os.path.join(work, f"probe_{lang}.html")
    head, body, tail = text.rpartition("</body>")
    with open(probe_page, "w", encoding="utf-8") as f:
        f.write(head + PROBE % json.dumps(ACTIONS, ensure_ascii=False) + body + tail)
    dom = browser(chromium, work, "--dump-dom", "file://" + probe_page)
    found = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
    result = json.loads(html.unescape(found.group(1))) if found else {}
    if not found or "error" in result:
        fail(f"{lang}: the test script: {result.get('error') or dom[-2000:]}")

    words, info = WORDS[lang], result["page"]
    families = [f.strip().strip('"\'') for f in info["font"].split(",")]
    leading = next((k for k, f in enumerate(families) if f not in CJK_FONTS), len(families))
    if (info["lang"], info["charset"], info["heads"], info["download"]) != (
            lang, "UTF-8", words["heads"], "tarvok-codes.txt") or leading == 0 \
            or any(f in CJK_FONTS for f in families[leading:]):
        fail(f"{lang}: the page's language, charset, headers, download name or fonts: {info}")

    rows = expected_rows(table, lang)
    keys = ("symbol", "cells", "badge", "phaseClass", "className", "data")
    got = [{k: r[k] for k in keys} for r in result["rows"]]
    want = [{k: r[k] for k in keys} for r in rows]
    if got != want:
        diff = next(k for k in range(min(len(got), len(want)) + 1)
                    if k == len(got) or k == len(want) or got[k] != want[k])
        fail(f"{lang}: {len(got)} rows, expected {len(want)}; row {diff}: "
             f"{got[diff] if diff < len(got) else None}, expected "
             f"{want[diff] if diff < len(want) else None}")
    colours = [{r["colour"] for r in result["rows"] if (r["className"] == "behind") == behind}
               for behind in (True, False)]
    if len(colours[0]) != 1 or len(colours[1]) != 1 or colours[0] == colours[1]:
        fail(f"{lang}: the text colours of the rows behind and of the others: {colours}")

    model = Model(rows)
    codes = lambda shown: "".join(r["data"]["code"] + "\r\n" for r in shown)
    for step, action in zip(result["steps"], [("default",)] + ACTIONS):
        model.act(action)
        shown = model.shown()
        expected = {"shown": [r["symbol"] for r in shown],
                    "order": [r["symbol"] for r in model.order],
                    "counts": model.counts(lang), "on": model.on()}
        got = {k: step[k] for k in expected}
        if got != expected:
            fail(f"{lang}: after {action}: {got}, expected {expected}")
        # The download link is the list at every step, whether clicked or saved from its menu.
        prefix, href = "data:text/plain;charset=utf-8,", step["href"] or ""
        if not href.startswith(prefix) or urllib.parse.unquote(href[len(prefix):]) != codes(shown):
            fail(f"{lang}: after {action}: the download link {href!r}, expected the codes "
                 f"{codes(shown)!r}")
        if action[0] == "copy":
            want = [{"via": "clipboard" if action[1] == "refused" else "execCommand",
                     "text": codes(shown)}]
            status = words["copied"].format(n=len(shown))
            if (step["writes"], step["status"]) != (want, status):
                fail(f"{lang}: copy {action[1]}: {step['writes']} and {step['status']!r}, "
                     f"expected {want} and {status!r}")
        elif action[0] == "charts":
            check_charts(lang, step, rows, {r["symbol"]: r["link"] for r in result["rows"]})
    return model, result


def check_charts(lang, step, rows, links):
    """The rows whose phase began most recently link their charts, each a section with one SVG
    and the symbol and name as its heading, shown alone when its link is followed."""
    ranked = [r["symbol"] for r in sorted(rows, key=lambda r: (int(r["data"]["bars"]),
                                                                r["symbol"]))[:CHARTS]]
    linked = {s: link for s, link in links.items() if link}
    sections = {c["id"]: c for c in step["charts"]}
    if sorted(linked) != sorted(ranked) or sorted(linked.values()) != [f"#{k}" for k in sections] \
            or sorted(sections) != [f"chart{k}" for k in range(CHARTS)] or step["closed"] != 0:
        fail(f"{lang}: chart links {linked}, expected on {ranked}; sections {step['charts']}, "
             f"{step['closed']} open after closing")
    names = {r["symbol"]: r["name"] for r in rows}
    for o in step["opened"]:
        chart = linked[o["symbol"]][1:]
        heading = o["symbol"] + (" " + names[o["symbol"]] if names[o["symbol"]] else "")
        if o["hash"] != "#" + chart or o["open"] != [chart] or sections[chart]["svgs"] != 1 or \
                sections[chart]["heading"] != heading:
            fail(f"{lang}: {o['symbol']}'s chart link: {o}, its section {sections[chart]}, "
                 f"expected the heading {heading!r}")


def pixels(chromium, work, target, name):
    """How many pixels are inked, red and green in a screenshot."""
    shot = os.path.join(work, name)
    browser(chromium, work, "--window-size=1200,900", f"--screenshot={shot}", "file://" + target)
    colours = Image.open(shot).convert("RGB").getcolors(1 << 20)
    inked = sum(n for n, c in colours if c != (255, 255, 255))
    red = sum(n for n, (r, g, b) in colours if r > 150 and g < 90 and b < 90)
    green = sum(n for n, (r, g, b) in colours if g > 110 and r < 90 and b < 110)
    return inked, red, green


def main():
    tool, chromium, work = sys.argv[1:]
    tool = Program(tool, label="tarvok-run")
    shutil.rmtree(work, ignore_errors=True)
    root = os.path.join(work, "new_tdx")
    write_market(root)

    # The page's language by the user's, or by --lang; the same page each time for a language.
    unset = {"LC_ALL": None, "LC_MESSAGES": None, "LANG": None, "LANGUAGE": None}
    languages = [
        ({"LANG": "zh_CN.UTF-8"}, [], "zh-CN"),
        ({"LANG": "zh_CN.UTF-8"}, ["--lang", "en"], "en"),
        ({"LANG": "C"}, [], "en"),
        ({}, [], "en"),
        ({"LC_ALL": "C", "LANG": "zh_CN.UTF-8"}, [], "en"),
        ({"LC_MESSAGES": "zh_TW.UTF-8", "LANG": "en_US.UTF-8"}, [], "zh-CN"),
        ({"LANG": "C"}, ["--lang", "zh"], "zh-CN"),
    ]
    pages, table = {}, None
    for k, (env, options, lang) in enumerate(languages):
        page = os.path.join(work, f"page{k}.html")
        scan = tool.run("--scan", root, "--html", page, "--charts", CHARTS, *options,
                        env={**unset, **env})
        if scan.status != 0:
            fail(f"{env} {options}: {scan}")
        with open(page, "rb") as f:
            data = f.read()
        if pages.setdefault(lang, (page, data))[1] != data or table not in (None, scan.out):
            fail(f"{env} {options}: not the same page or CSV as {pages[lang][0]}")
        if f'<html lang="{lang}">'.encode() not in data[:200]:
            fail(f"{env} {options}: the page is not in {lang}: {data[:200]!r}")
        table = scan.out

    # The CSV has the folder as written: every symbol, its name, kind and dates behind.
    rows = list(csv.DictReader(table.splitlines()))
    got = {r["symbol"]: (r["name"], r["kind"], int(r["days_behind"]), r["date"]) for r in rows}
    want = {s: (c[0], c[1], c[3], f"{DAYS[len(DAYS) - 1 - c[3]]:%Y-%m-%d}")
            for s, c in MARKET.items()}
    if got != want:
        fail(f"the CSV's names, kinds, days behind and dates {got}, expected {want}")
    # The data shows every filter at work: all phases among the current A-shares, phases that
    # began recently and long ago.
    a_shares = [r for r in rows if r["kind"] == "a-share" and r["days_behind"] == "0"]
    if {r["phase"] for r in a_shares} != {"rising", "falling", "flat"} or \
            not {1, 3, DEFAULT_WITHIN + 1} & {int(r["phase_bars"]) for r in a_shares} or \
            min(int(r["phase_bars"]) for r in a_shares) > 1 or \
            max(int(r["phase_bars"]) for r in a_shares) <= DEFAULT_WITHIN:
        fail(f"the market does not show every phase and filter: {table}")

    for lang, (page, _) in pages.items():
        model, result = check_page(chromium, work, page, lang, rows)
        # Each step of the table changed what it should: none was a step that could not fail.
        seen = [(s["shown"], s["order"], s["counts"]) for s in result["steps"]]
        idle = [a for k, a in enumerate(ACTIONS)
                if a[0] in ("click", "type", "sort") and seen[k + 1] == seen[k]]
        if idle:
            fail(f"{lang}: actions that changed nothing on the page: {idle}")

    # Drawn, not blank: the table in the phases' red and green, and a chart when it is opened.
    page = pages["zh-CN"][0]
    shown = pixels(chromium, work, page, "page.png")
    chart = pixels(chromium, work, page + "#chart0", "chart.png")
    if shown[0] < 20000 or min(shown[1:]) < 200 or chart[0] < shown[0] or min(chart[1:]) < 500:
        fail(f"drawn pixels (all, red, green): table {shown}, chart {chart}")
    print(f"page: {len(rows)} rows as the CSV in {len(pages)} languages, {len(ACTIONS)} actions "
          f"each as the model has them; drawn pixels table {shown}, chart {chart}")


if __name__ == "__main__":
    main()
