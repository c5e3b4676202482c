#!/usr/bin/env python3
"""The page of tarvok-run --scan --html in a real browser (headless Chromium): after its script
ran it holds one table row per listed symbol, as the CSV has them; clicking column headers sorts
the rows (numbers by value, a second click the other way); a charted symbol opens its chart; and
the page draws something, in the phases' colours.

usage: scan_page_check.py TOOL CHROMIUM MARKET_SCRIPT WORK_DIR
"""
import html
import json
import math
import os
import re
import shutil
import sys

from PIL import Image

from e2e_support import Program, fail


def parse(dom):
    """The table's rows (cell texts), the chart each row's symbol links to, the chart sections with
    their number of SVG pictures, and the test's result, from the DOM as the browser dumps it."""
    body = dom[dom.index("<tbody>"):dom.index("</tbody>")]
    rows = re.findall(r"<tr>(.*?)</tr>", body, re.S)
    cells = [[html.unescape(re.sub(r"<[^>]*>", "", c)) for c in re.findall(r"<td[^>]*>(.*?)</td>", r, re.S)]
             for r in rows]
    links = [(re.findall(r'<a href="([^"]*)"', r) or [None])[0] for r in rows]
    charts = {m.group(1): m.group(2).count("<svg") for m in
              re.finditer(r'<section class="chart" id="([^"]*)">(.*?)</section>', dom, re.S)}
    result = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
    return cells, links, charts, result and html.unescape(result.group(1))


def main():
    tool, chromium, market_script, work = sys.argv[1:]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    market = os.path.join(work, "market")
    Program(sys.executable).ok(market_script, market, "--files", "45", "--bars", "400")
    page = os.path.join(work, "page.html")
    scan = Program(tool).run("--scan", market, "--html", page, "--charts", "4")
    if scan.status != 0:
        fail(f"scan: exit {scan.status}: {scan.err}")
    csv = [line.split(",")[:8] for line in scan.out.splitlines()[1:]]

    def browser(*arguments):
        profile = os.path.join(work, "profile")
        shutil.rmtree(profile, ignore_errors=True)
        os.makedirs(profile)
        r = Program(chromium).run("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                  "--no-first-run", "--disable-background-networking",
                                  "--disable-component-update", "--disable-sync",
                                  f"--user-data-dir={profile}", *arguments, timeout=180)
        if r.status != 0:
            fail(f"chromium {arguments}: exit {r.status}: {r.err[-2000:]}")
        return r.out

    # The page as the browser has it once its script ran: the CSV's rows, cell for cell.
    rows, links, charts, _ = parse(browser("--dump-dom", "file://" + page))
    if rows != csv:
        fail(f"the page's {len(rows)} rows differ from the CSV's {len(csv)}")
    # The four rows whose phase began most recently link their charts, each an inline SVG.
    recent = sorted(range(len(csv)), key=lambda i: (int(csv[i][6]), csv[i][0]))[:4]
    expected_links = [f"#chart{recent.index(i)}" if i in recent else None for i in range(len(csv))]
    if links != expected_links or charts != {f"chart{k}": 1 for k in range(4)}:
        fail(f"chart links {links} and charts {charts}")

    # Header clicks, in a copy of the page with a script that clicks and notes the symbols' order.
    clicks = ["phase_bars", "phase_bars", "distance_pct", "symbol", "close", "phase"]
    with open(page, encoding="utf-8") as f:
        text = f.read()
    probe = """<pre id="result"></pre><script>
var heads = Array.from(document.querySelectorAll("#rows th")), orders = [];
%s.forEach(function (name) {
  heads.find(function (h) { return h.textContent === name; }).click();
  orders.push(Array.from(document.querySelectorAll("#rows tbody tr"), function (r) { return r.cells[0].textContent; }));
});
document.getElementById("result").textContent = JSON.stringify(orders);
</script>""" % json.dumps(clicks)
    sorted_page = os.path.join(work, "page_sorted.html")
    with open(sorted_page, "w", encoding="utf-8") as f:
        f.write(text.replace("</body>", probe + "</body>"))
    orders = json.loads(parse(browser("--dump-dom", "file://" + sorted_page))[3])

    columns = ["symbol", "date", "close", "stop", "state", "phase", "phase_bars", "distance_pct"]
    numeric = {"close", "stop", "state", "phase_bars", "distance_pct"}
    current, last, ascending = list(csv), None, True
    for name, order in zip(clicks, orders):
        ascending = not ascending if name == last else True
        last = name
        k = columns.index(name)
        if name in numeric:
            value = lambda row: float(row[k]) if row[k] else math.nan
            present = sorted((r for r in current if not math.isnan(value(r))), key=value, reverse=not ascending)
            current = present + [r for r in current if math.isnan(value(r))]
        else:
            current = sorted(current, key=lambda row: row[k], reverse=not ascending)
        if order != [r[0] for r in current]:
            fail(f"after clicking {name}: {order[:6]}..., expected {[r[0] for r in current][:6]}...")

    # Drawn, not blank: the table in the phases' red and green, and the chart when it is opened.
    def pixels(target, name):
        shot = os.path.join(work, name)
        browser("--window-size=1200,900", f"--screenshot={shot}", "file://" + target)
        image = Image.open(shot).convert("RGB")
        colours = image.getcolors(1 << 20)
        inked = sum(n for n, c in colours if c != (255, 255, 255))
        red = sum(n for n, (r, g, b) in colours if r > 150 and g < 90 and b < 90)
        green = sum(n for n, (r, g, b) in colours if g > 110 and r < 90 and b < 110)
        return inked, red, green

    table = pixels(page, "page.png")
    chart = pixels(page + "#chart0", "chart.png")
    if table[0] < 20000 or min(table[1:]) < 200 or chart[0] < table[0] or min(chart[1:]) < 500:
        fail(f"drawn pixels (all, red, green): table {table}, chart {chart}")
    print(f"page: {len(csv)} rows as the CSV, {len(clicks)} header clicks sorted as expected, "
          f"drawn pixels table {table}, chart {chart}")


if __name__ == "__main__":
    main()
