#!/usr/bin/env python3
"""check_exports.py DIR CONTACTS MESSAGES: reads an ICQ archive export folder with readers
that owe nothing to the exporter (csv, html.parser, sqlite3, contacts.vcf by hand: CRLF lines
of at most 75 octets, folding, cards with VERSION, FN and IMPP) and checks the counts of
contacts and messages. Prints each problem; exit status 1 if any."""

import csv
import html.parser
import os
import sqlite3
import sys
import urllib.parse

problems = []


def check_csv(path, contacts):
    with open(path, encoding="utf-8", newline="") as f:
        header, *body = list(csv.reader(f, strict=True))
    if header[:2] != ["uin", "display_name"] or len(body) != contacts:
        problems.append(f"{path}: header {header[:2]}, {len(body)} contacts")
    problems.extend(f"{path}: row {row}" for row in body
                    if len(row) != len(header) or not row[0].isdigit())


def check_vcard(path, contacts):
    data = open(path, "rb").read()
    raw = data.split(b"\r\n")
    if raw.pop() != b"":
        problems.append(f"{path}: does not end in CRLF")
    lines = []
    for n, line in enumerate(raw, 1):
        if len(line) > 75 or b"\n" in line or b"\r" in line:
            problems.append(f"{path}: line {n} is {len(line)} octets or holds a bare line end")
        if line[:1] in (b" ", b"\t"):
            lines[-1] += line[1:]
        else:
            lines.append(line)
    cards, card = 0, None
    for line in (l.decode("utf-8") for l in lines):
        if line == "BEGIN:VCARD" or card is None or ":" not in line:
            if line != "BEGIN:VCARD" or card is not None:
                problems.append(f"{path}: {line!r} out of place")
            card = set()
        elif line == "END:VCARD":
            if {"VERSION", "FN", "IMPP"} - card:
                problems.append(f"{path}: card {cards + 1} lacks VERSION, FN or IMPP")
            cards, card = cards + 1, None
        else:
            card.add(line.split(":", 1)[0].split(";", 1)[0].upper())
    if card is not None or cards != contacts:
        problems.append(f"{path}: {cards} complete cards, expected {contacts}")


class Page(html.parser.HTMLParser):
    def __init__(self, path):
        super().__init__(convert_charrefs=True)
        self.path, self.open, self.links, self.messages, self.charset = path, [], [], 0, False
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        self.charset |= tag == "meta" and attrs.get("charset") == "utf-8"
        self.messages += tag == "div" and attrs.get("class", "").split()[:1] == ["m"]
        if tag == "a" and "href" in attrs:
            self.links.append(attrs["href"])
        if tag not in ("meta", "br"):
            self.open.append(tag)

    def handle_endtag(self, tag):
        if not self.open or self.open.pop() != tag:
            problems.append(f"{self.path}: </{tag}> closes nothing open")


def check_history(folder, messages):
    counted = 0
    for name in sorted(n for n in os.listdir(folder) if n.endswith(".html")):
        page = Page(os.path.join(folder, name))
        page.feed(open(page.path, encoding="utf-8").read())
        page.close()
        if page.open or not page.charset:
            problems.append(f"{page.path}: unclosed {page.open} or no UTF-8 charset")
        for link in page.links:
            target, _, fragment = link.partition("#")
            missing = (fragment not in page.ids if not target else
                       "://" not in link and not os.path.isfile(os.path.join(folder, urllib.parse.unquote(target))))
            if missing:
                problems.append(f"{page.path}: link to a missing {link}")
        counted += page.messages
    if counted != messages:
        problems.append(f"{folder}: {counted} messages in the pages, expected {messages}")


def check_sqlite(path, messages):
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    if db.execute("PRAGMA integrity_check").fetchone()[0] != "ok":
        problems.append(f"{path}: integrity check failed")
    if db.execute("SELECT count(*) FROM history").fetchone()[0] != messages:
        problems.append(f"{path}: not {messages} messages in the history view")


def main():
    folder, contacts, messages = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    check_csv(os.path.join(folder, "contacts.csv"), contacts)
    check_vcard(os.path.join(folder, "contacts.vcf"), contacts)
    check_history(os.path.join(folder, "history"), messages)
    check_sqlite(os.path.join(folder, "icq-archive.sqlite"), messages)
    print("\n".join(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
