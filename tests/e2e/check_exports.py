#!/usr/bin/env python3
"""Checks an ICQ archive export folder with readers that owe nothing to the exporter.

Usage: check_exports.py DIR CONTACTS MESSAGES

contacts.csv is read with the csv module, every page of history/ with html.parser,
contacts.vcf by hand after RFC 6350 (CRLF lines of at most 75 octets, folding, one
BEGIN/END per card, VERSION, FN and IMPP in each), icq-archive.sqlite with sqlite3.
CONTACTS is the number of contacts the two contact lists hold, MESSAGES the number of
messages of the history and the database. Prints each problem; exit status 1 if any.
"""

import csv
import html.parser
import os
import sqlite3
import sys
import urllib.parse

VOID = {"meta", "br"}
problems = []


def problem(text):
    problems.append(text)


def check_csv(path, contacts):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f, strict=True))
    header, body = rows[0], rows[1:]
    if header[:2] != ["uin", "display_name"]:
        problem(f"{path}: header {header[:2]}")
    for n, row in enumerate(body, 2):
        if len(row) != len(header) or not row[0].isdigit():
            problem(f"{path}: row {n} {row}")
    if len(body) != contacts:
        problem(f"{path}: {len(body)} contacts, expected {contacts}")


def check_vcard(path, contacts):
    data = open(path, "rb").read()
    if data and not data.endswith(b"\r\n"):
        problem(f"{path}: does not end in CRLF")
    raw = data.split(b"\r\n")[:-1]
    for n, line in enumerate(raw, 1):
        if len(line) > 75 or b"\n" in line or b"\r" in line:
            problem(f"{path}: line {n} is {len(line)} octets or holds a bare line end")
    lines = []
    for line in raw:
        if line[:1] in (b" ", b"\t"):
            lines[-1] += line[1:]
        else:
            lines.append(line)
    cards, card = 0, None
    for line in (l.decode("utf-8") for l in lines):
        name = line.split(":", 1)[0].split(";", 1)[0].upper()
        if ":" not in line:
            problem(f"{path}: no value in {line!r}")
        elif line == "BEGIN:VCARD":
            if card is not None:
                problem(f"{path}: BEGIN inside a card")
            card = set()
        elif line == "END:VCARD":
            missing = {"VERSION", "FN", "IMPP"} - (card or set())
            if missing:
                problem(f"{path}: card {cards + 1} without {sorted(missing)}")
            cards, card = cards + 1, None
        elif card is None:
            problem(f"{path}: {line!r} outside a card")
        else:
            card.add(name)
    if card is not None:
        problem(f"{path}: the last card has no END")
    if cards != contacts:
        problem(f"{path}: {cards} cards, expected {contacts}")


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open, self.links, self.messages, self.charset = [], [], 0, False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.charset |= tag == "meta" and attrs.get("charset") == "utf-8"
        self.messages += tag == "div" and attrs.get("class", "").split()[:1] == ["m"]
        if tag == "a" and "href" in attrs:
            self.links.append(attrs["href"])
        if tag not in VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        if not self.open or self.open.pop() != tag:
            problem(f"{self.path}: </{tag}> closes nothing open")


def check_history(folder, messages):
    pages = sorted(n for n in os.listdir(folder) if n.endswith(".html"))
    counted = 0
    for name in pages:
        page = Page()
        page.path = os.path.join(folder, name)
        page.feed(open(page.path, encoding="utf-8").read())
        page.close()
        if page.open or not page.charset:
            problem(f"{page.path}: unclosed {page.open} or no UTF-8 charset")
        for link in page.links:
            target = urllib.parse.unquote(link)
            if "://" not in link and not os.path.isfile(os.path.join(folder, target)):
                problem(f"{page.path}: link to a missing {target}")
        if name == "index.html":
            continue
        counted += page.messages
        if not os.path.isfile(os.path.join(folder, name[:-5] + ".txt")):
            problem(f"{page.path}: no text file beside it")
    if counted != messages:
        problem(f"{folder}: {counted} messages in the pages, expected {messages}")


def check_sqlite(path, messages):
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    if db.execute("PRAGMA integrity_check").fetchone()[0] != "ok":
        problem(f"{path}: integrity check failed")
    count = db.execute("SELECT count(*) FROM history").fetchone()[0]
    if count != messages:
        problem(f"{path}: {count} messages in the history view, expected {messages}")
    db.close()


def main():
    folder, contacts, messages = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    check_csv(os.path.join(folder, "contacts.csv"), contacts)
    check_vcard(os.path.join(folder, "contacts.vcf"), contacts)
    check_history(os.path.join(folder, "history"), messages)
    check_sqlite(os.path.join(folder, "icq-archive.sqlite"), messages)
    for text in problems:
        print(text)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
