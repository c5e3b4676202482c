#!/usr/bin/env python3
"""The guides of the release zip as a Windows user opens them: each page, unpacked from the zip,
in a real browser (headless Chromium) from disk. The browser reads it as UTF-8; it decodes the
picture inlined as a data: URI as a PNG of the picture's own size; the Markdown came out as HTML
(headings, tables, code blocks, no Markdown marks left in the text); every link to a file leads to
a file the zip holds; and a screenshot shows the picture drawn, in the stop line's red and green.

usage: guides_render_check.py ZIP CHROMIUM PICTURE WORK_DIR
PICTURE is the repository's docs/example_chart.png.
"""
import base64
import html
import json
import os
import pathlib
import re
import shutil
import struct
import sys
import urllib.parse
import urllib.request
import zipfile

from PIL import Image

from e2e_support import browser, fail

PAGES = ("使用说明.html", "guide-en.html")

# Run in a copy of the page once it has loaded: what the browser made of it, as JSON in the DOM.
PROBE = """<pre id="probe-result"></pre><script>
window.addEventListener("load", function () {
  var result = {
    charset: document.characterSet,
    images: Array.from(document.images, function (i) {
      return {complete: i.complete, width: i.naturalWidth, height: i.naturalHeight,
              scheme: i.src.slice(0, 22)};
    }),
    links: Array.from(document.links, function (a) { return a.href; }),
    headings: document.querySelectorAll("h1, h2, h3").length,
    tables: document.querySelectorAll("table").length,
    code: document.querySelectorAll("pre > code").length,
    text: document.body.innerText
  };
  document.getElementById("probe-result").textContent = JSON.stringify(result);
});
</script>"""


def png_size(data):
    if not data.startswith(b"\x89PNG\r\n\x1a\n") or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def main():
    zip_path, chromium, picture, work = sys.argv[1:]
    shutil.rmtree(work, ignore_errors=True)
    unpacked = os.path.join(work, "unpacked")
    os.makedirs(unpacked)
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(unpacked)
    [top] = os.listdir(unpacked)
    folder = pathlib.Path(unpacked, top).resolve()
    names = set(os.listdir(folder))

    with open(picture, "rb") as f:
        picture_size = png_size(f.read())
    for name in PAGES:
        if name not in names:
            fail(f"the zip holds no {name}: {sorted(names)}")
        page = folder / name
        with open(page, encoding="utf-8") as f:
            text = f.read()
        # The inlined picture, decoded here, is the guides' picture.
        inlined = re.findall(r'src="data:image/png;base64,([^"]*)"', text)
        if not inlined:
            fail(f"{name} inlines no PNG picture")
        size = png_size(base64.b64decode(inlined[0]))
        if size is None or size != picture_size:
            fail(f"{name}: the inlined picture is a PNG of size {size}, expected {picture_size}")

        # The probe runs in a copy beside the page, so that relative links resolve alike.
        probe = folder / f"probe-{name}"
        with open(probe, "w", encoding="utf-8") as f:
            f.write(text.replace("</body>", PROBE + "</body>"))
        dom = browser(chromium, work, "--dump-dom", probe.as_uri())
        probe.unlink()
        found = re.search(r'<pre id="probe-result">(.*?)</pre>', dom, re.S)
        if not found or not found.group(1):
            fail(f"{name}: the probe reported nothing: {dom[-500:]!r}")
        result = json.loads(html.unescape(found.group(1)))
        if result["charset"] != "UTF-8":
            fail(f"{name} was read as {result['charset']}")
        images = result["images"]
        if not images or any(not i["complete"] or (i["width"], i["height"]) != picture_size
                             or not i["scheme"].startswith("data:image/png") for i in images):
            fail(f"{name}: the browser's pictures {images}, expected the {picture_size} PNG")
        if result["headings"] < 10 or result["tables"] < 3 or result["code"] < 3:
            fail(f"{name}: {result['headings']} headings, {result['tables']} tables, "
                 f"{result['code']} code blocks: not the guide rendered")
        for mark in ("|---|", "```", "](", "**"):
            if mark in result["text"]:
                fail(f"{name}: the shown text still holds the Markdown mark {mark!r}")
        files = [urllib.parse.urlsplit(u) for u in result["links"]]
        files = [u for u in files if u.scheme == "file"]
        if not files:
            fail(f"{name} links to no other file: {result['links']}")
        for u in files:
            target = pathlib.Path(urllib.request.url2pathname(u.path))
            if target.parent != folder or not target.is_file():
                fail(f"{name} links to {u.geturl()}, which is no file of the zip")

        # Drawn: the picture's red and green lines are on the screen.
        shot = os.path.join(work, f"{os.path.splitext(name)[0]}.png")
        browser(chromium, work, "--window-size=1280,1400", "--hide-scrollbars", f"--screenshot={shot}",
                page.as_uri())
        colours = Image.open(shot).convert("RGB").getcolors(1 << 22)
        red = sum(n for n, (r, g, b) in colours if r > 150 and g < 90 and b < 90)
        green = sum(n for n, (r, g, b) in colours if g > 110 and r < 90 and b < 110)
        if min(red, green) < 1000:
            fail(f"{name}: the screenshot {shot} shows {red} red and {green} green pixels: "
                 "the picture is not drawn")
        print(f"{name}: read as UTF-8, picture {picture_size} decoded and drawn ({red} red, "
              f"{green} green pixels), {len(files)} link(s) to files of the zip")


if __name__ == "__main__":
    main()
