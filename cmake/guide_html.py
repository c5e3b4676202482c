#!/usr/bin/env python3
"""Makes a guide of the release zip: one self-contained HTML page from a Markdown guide of the
repository (README.zh-CN.md, README.md), for a Windows user, who has no program for .md files.

usage: guide_html.py SOURCE.md OUTPUT.html --lang LANG [--link TARGET=NAME ...]

The page is UTF-8 with a meta charset and a style of its own (CJK fonts first). Markdown is read
by Debian's python3-markdown with its tables and fenced-code extensions, and headings get ids
(toc). Every picture the guide shows is inlined as a data: URI, so that the page needs no file
beside it. A relative link to another file must be named by --link, which gives the name that
file has in the zip (README.md=guide-en.html): a link that would lead nowhere inside the zip stops
the build, as does a picture that is missing or of an unknown kind.
"""
import argparse
import base64
import html
import os
import re
import sys
import urllib.parse

try:
    import markdown
    from markdown.extensions.toc import slugify_unicode
except ImportError:
    sys.exit("guide_html.py: Python's markdown module is missing (Debian's python3-markdown; "
             "sh .ci/install-deps installs it)")

PICTURE_TYPES = {".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg",
                 ".svg": "image/svg+xml", ".gif": "image/gif"}

STYLE = """
:root { color-scheme: light; }
body {
  margin: 0 auto; padding: 1.5em 1.25em 4em; max-width: 56em;
  font-family: "Microsoft YaHei", "PingFang SC", "Noto Sans CJK SC", "Source Han Sans SC",
               "WenQuanYi Micro Hei", sans-serif;
  font-size: 16px; line-height: 1.75; color: #1f2328; background: #fff;
}
h1, h2, h3 { line-height: 1.35; margin: 1.6em 0 0.6em; }
h1 { font-size: 2em; margin-top: 0.4em; }
h2 { font-size: 1.5em; padding-bottom: 0.25em; border-bottom: 1px solid #d0d7de; }
h3 { font-size: 1.2em; }
a { color: #0969da; }
img { max-width: 100%; height: auto; border: 1px solid #d0d7de; }
code, pre {
  font-family: Consolas, "Cascadia Mono", "Noto Sans Mono CJK SC", "Courier New", monospace;
  font-size: 0.92em;
}
code { background: #f3f4f6; padding: 0.1em 0.3em; border-radius: 4px; }
pre { background: #f6f8fa; border: 1px solid #d0d7de; border-radius: 6px; padding: 0.8em 1em;
      overflow-x: auto; line-height: 1.5; }
pre code { background: none; padding: 0; }
table { border-collapse: collapse; margin: 1em 0; display: block; overflow-x: auto; }
th, td { border: 1px solid #d0d7de; padding: 0.35em 0.7em; text-align: left; vertical-align: top; }
th { background: #f6f8fa; }
blockquote { margin: 1em 0; padding: 0.2em 1em; color: #57606a; border-left: 4px solid #d0d7de; }
li { margin: 0.25em 0; }
/* Chinese is not set in italics: emphasis of the caption is shown in grey instead. */
em:lang(zh) { font-style: normal; color: #57606a; }
"""


def picture_uri(path):
    kind = PICTURE_TYPES.get(os.path.splitext(path)[1].lower())
    if kind is None:
        sys.exit(f"guide_html.py: {path}: not a picture of a known kind")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        sys.exit(f"guide_html.py: the picture {path} cannot be read: {e.strerror}")
    return f"data:{kind};base64,{base64.b64encode(data).decode('ascii')}"


def is_relative(url):
    return not re.match(r"[a-zA-Z][a-zA-Z0-9+.-]*:|//|#", url)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--lang", required=True)
    parser.add_argument("--link", action="append", default=[], metavar="TARGET=NAME")
    args = parser.parse_args()
    links = dict(item.split("=", 1) for item in args.link)
    folder = os.path.dirname(os.path.abspath(args.source))
    with open(args.source, encoding="utf-8") as f:
        text = f.read()

    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"],
                             extension_configs={"toc": {"slugify": slugify_unicode}},
                             output_format="html")

    def inline_picture(match):
        url = html.unescape(match.group(2))
        if not is_relative(url):
            sys.exit(f"guide_html.py: {args.source}: the picture {url} is not a file of the "
                     "repository, and the page must hold its pictures")
        path = os.path.join(folder, urllib.parse.unquote(url))
        return f'{match.group(1)}"{picture_uri(path)}"'

    body, pictures = re.subn(r'(<img\b[^>]*?\bsrc=)"([^"]*)"', inline_picture, body)

    def relink(match):
        url = html.unescape(match.group(2))
        if not is_relative(url):
            return match.group(0)
        target, hash_, anchor = url.partition("#")
        if target not in links:
            sys.exit(f"guide_html.py: {args.source}: the link to {target} leads nowhere inside "
                     "the zip (name its page with --link)")
        new = urllib.parse.quote(links[target]) + hash_ + anchor
        return f'{match.group(1)}"{html.escape(new)}"'

    body = re.sub(r'(<a\b[^>]*?\bhref=)"([^"]*)"', relink, body)

    heading = re.search(r"<h1[^>]*>(.*?)</h1>", body, re.S)
    title = re.sub(r"<[^>]*>", "", heading.group(1)) if heading else "tarvok"
    page = (f'<!DOCTYPE html>\n<html lang="{html.escape(args.lang)}">\n<head>\n'
            f'<meta charset="utf-8">\n'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{title}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n{body}\n"
            f"</body>\n</html>\n")
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(page)
    print(f"guide_html.py: {args.output}: {len(page)} characters, {pictures} picture(s) inlined")


if __name__ == "__main__":
    main()
