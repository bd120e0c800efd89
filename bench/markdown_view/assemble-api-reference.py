#!/usr/bin/env python3
"""Writes a table-heavy API reference in Markdown from the HTML reference of Debian's nodejs-doc
package (all.html): its headings, paragraphs and tables, in order, up to about 1 MB.

usage: assemble-api-reference.py [ALL.HTML] OUT.md
"""
import html.parser
import sys

SOURCE = "/usr/share/doc/nodejs/api/all.html"
LIMIT = 1 << 20


class Reference(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.out = []
        self.text = None      # text being collected for a heading, paragraph or cell
        self.kind = None
        self.rows = None      # rows of the table being read
        self.in_code = False
        self.in_main = False

    def handle_starttag(self, tag, attrs):
        if tag == "div" and dict(attrs).get("id") == "apicontent":
            self.in_main = True
        if not self.in_main:
            return
        if tag in ("h1", "h2", "h3", "h4") and self.rows is None:
            self.text, self.kind = [], "#" * int(tag[1])
        elif tag == "p" and self.rows is None:
            self.text, self.kind = [], "p"
        elif tag == "table":
            self.rows = []
        elif tag == "tr" and self.rows is not None:
            self.rows.append([])
        elif tag in ("td", "th") and self.rows is not None:
            self.text, self.kind = [], "cell"
        elif tag == "code" and self.text is not None:
            self.in_code = True
            self.text.append("`")

    def handle_endtag(self, tag):
        if not self.in_main:
            return
        if tag == "code" and self.in_code:
            self.in_code = False
            self.text.append("`")
        elif tag in ("td", "th") and self.text is not None and self.rows:
            self.rows[-1].append(" ".join("".join(self.text).split()).replace("|", "\\|"))
            self.text = None
        elif tag == "table" and self.rows is not None:
            rows = [r for r in self.rows if r]
            if rows:
                width = max(len(r) for r in rows)
                rows = [r + [""] * (width - len(r)) for r in rows]
                self.out.append("| " + " | ".join(rows[0]) + " |")
                self.out.append("|" + "|".join(["---"] * width) + "|")
                for row in rows[1:]:
                    self.out.append("| " + " | ".join(row) + " |")
                self.out.append("")
            self.rows = None
        elif tag in ("h1", "h2", "h3", "h4", "p") and self.text is not None and self.kind != "cell":
            words = " ".join("".join(self.text).split()).replace("#", "").strip()
            if words:
                self.out.append(words if self.kind == "p" else self.kind + " " + words)
                self.out.append("")
            self.text = None

    def handle_data(self, data):
        if self.text is not None:
            self.text.append(data)


def main():
    args = sys.argv[1:]
    source, target = (args[0], args[1]) if len(args) == 2 else (SOURCE, args[0])
    parser = Reference()
    with open(source, encoding="utf-8") as f:
        parser.feed(f.read())
    text, size = [], 0
    for line in parser.out:
        size += len(line.encode()) + 1
        if size > LIMIT and not line.startswith("|"):
            break
        text.append(line)
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(text) + "\n")


if __name__ == "__main__":
    main()
