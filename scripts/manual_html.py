#!/usr/bin/env python3
"""Turns the user manual (Markdown) into one self-contained HTML page.

Usage: manual_html.py MANUAL.md OUTPUT.html VERSION

The build runs it, so the installed manual always matches its source. It uses
Debian's python3-markdown with the tables, fenced-code and table-of-contents
extensions; the output depends on nothing but the input.
"""
import sys

import markdown

STYLE = """
body { font-family: sans-serif; max-width: 52em; margin: 2em auto; padding: 0 1em;
       line-height: 1.45; color: #222; }
code, pre { font-family: monospace; background: #f3f3f0; }
pre { padding: 0.6em; overflow-x: auto; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.5em; vertical-align: top; text-align: left; }
th { background: #e8efe9; }
h1, h2, h3 { color: #1d4f45; }
"""


def main(argv):
    if len(argv) != 4:
        sys.stderr.write("usage: manual_html.py MANUAL.md OUTPUT.html VERSION\n")
        return 2
    source, output, version = argv[1], argv[2], argv[3]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"],
                             output_format="html")
    page = (
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        f"<title>Vireon {version} user manual</title>\n<style>{STYLE}</style>\n"
        f"</head>\n<body>\n{body}\n</body>\n</html>\n"
    )
    with open(output, "w", encoding="utf-8") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
