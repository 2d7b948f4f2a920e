#!/usr/bin/env python3
"""The user's manual must not rot: every page well formed, every picture and local link there, nothing
fetched from outside, and every operator text of the program quoted as the program shows it.

Usage: check_manual.py MANUAL_FOLDER TEXTS_CPP
"""
import html.parser
import os
import re
import sys
import urllib.parse

VOID = {'area', 'base', 'br', 'col', 'embed', 'hr', 'img', 'input', 'link', 'meta', 'source', 'track', 'wbr'}
# Elements whose end tag HTML lets one leave out; the manual closes them anyway, but a parser must not choke.
OPTIONAL_END = {'li', 'p', 'td', 'th', 'tr', 'dt', 'dd', 'option'}
MAX_PICTURE_BYTES = 300_000


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.problems = []
        self.ids = set()
        self.pictures = []  # (src, alt)
        self.links = []  # href
        self.stylesheets = []
        self.scripts = 0
        self.charset = None
        self.text = []

    def where(self):
        line, column = self.getpos()
        return f'line {line}'

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if 'id' in a:
            if a['id'] in self.ids:
                self.problems.append(f'{self.where()}: id "{a["id"]}" twice')
            self.ids.add(a['id'])
        if tag == 'img':
            self.pictures.append((a.get('src', ''), a.get('alt')))
        elif tag == 'a' and 'href' in a:
            self.links.append(a['href'])
        elif tag == 'link' and a.get('rel') == 'stylesheet':
            self.stylesheets.append(a.get('href', ''))
        elif tag == 'script':
            self.scripts += 1
        elif tag == 'meta' and 'charset' in a:
            self.charset = a['charset'].lower()
        if tag not in VOID:
            self.stack.append((tag, self.where()))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        if tag in VOID:
            self.problems.append(f'{self.where()}: end tag of the void element <{tag}>')
            return
        while self.stack and self.stack[-1][0] != tag and self.stack[-1][0] in OPTIONAL_END:
            self.stack.pop()
        if not self.stack or self.stack[-1][0] != tag:
            opened = self.stack[-1] if self.stack else ('nothing', '')
            self.problems.append(f'{self.where()}: </{tag}> closes <{opened[0]}> opened at {opened[1]}')
            return
        self.stack.pop()

    def handle_data(self, data):
        self.text.append(data)


def literal_texts(body):
    """The texts of one table: each QStringLiteral(...) may join several adjacent literals; a QString(n, u' ')
    prefix puts n blanks before it."""
    texts = []
    for m in re.finditer(r'(QString\((\d+), u\' \'\) \+ )?QStringLiteral\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\)', body):
        text = ''.join(re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(3)))
        text = text.replace('\\r', '\r').replace('\\"', '"').replace('\\\\', '\\')
        texts.append(' ' * int(m.group(2) or 0) + text)
    return texts


def operator_texts(texts_cpp):
    source = open(texts_cpp, encoding='utf-8').read()
    found = {}
    for table in ('statusTexts', 'promptTexts', 'operatorMessages'):
        m = re.search(table + r'\(\) \{.*?static const QStringList texts = \{(.*?)\n    \};', source, re.S)
        if not m:
            raise SystemExit(f'{texts_cpp}: the table {table} is not where it was')
        found[table] = literal_texts(m.group(1))
    for name in ('kDayFileNotSaved', 'kBadNumber'):
        m = re.search(name + r'\s*=\s*QStringLiteral\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\)', source)
        if m:
            found[name] = literal_texts('QStringLiteral(' + m.group(1) + ')')
    return found


def main():
    folder, texts_cpp = sys.argv[1], sys.argv[2]
    problems = []
    pages = sorted(f for f in os.listdir(folder) if f.endswith('.html'))
    if 'index.html' not in pages:
        problems.append('no index.html')
    parsed = {}
    for name in pages:
        path = os.path.join(folder, name)
        raw = open(path, 'rb').read()
        try:
            content = raw.decode('utf-8')
        except UnicodeDecodeError as e:
            problems.append(f'{name}: not UTF-8 ({e})')
            continue
        page = Page()
        page.feed(content)
        page.close()
        parsed[name] = page
        problems += [f'{name}: {p}' for p in page.problems]
        problems += [f'{name}: <{tag}> opened at {at} is never closed' for tag, at in page.stack
                     if tag not in OPTIONAL_END]
        if page.charset != 'utf-8':
            problems.append(f'{name}: no <meta charset="utf-8">')
        if page.scripts:
            problems.append(f'{name}: {page.scripts} script(s); the manual works without JavaScript')
        for href in page.stylesheets:
            if urllib.parse.urlparse(href).scheme or href.startswith('//'):
                problems.append(f'{name}: stylesheet from outside: {href}')
            elif not os.path.isfile(os.path.join(folder, href)):
                problems.append(f'{name}: stylesheet {href} is missing')

    for name, page in parsed.items():
        for src, alt in page.pictures:
            if urllib.parse.urlparse(src).scheme or src.startswith('//'):
                problems.append(f'{name}: picture from outside: {src}')
                continue
            picture = os.path.join(folder, urllib.parse.unquote(src))
            if not os.path.isfile(picture):
                problems.append(f'{name}: picture {src} is missing')
            elif os.path.getsize(picture) > MAX_PICTURE_BYTES:
                problems.append(f'{name}: picture {src} is larger than {MAX_PICTURE_BYTES} bytes')
            if not alt:
                problems.append(f'{name}: picture {src} has no alt text')
        for href in page.links:
            url = urllib.parse.urlparse(href)
            if url.scheme or href.startswith('//'):
                continue  # a web address is the reader's to follow
            target = urllib.parse.unquote(url.path) or name
            if not os.path.isfile(os.path.join(folder, target)):
                problems.append(f'{name}: link {href}: {target} is missing')
            elif url.fragment and target in parsed and url.fragment not in parsed[target].ids:
                problems.append(f'{name}: link {href}: no id "{url.fragment}" in {target}')

    # The program's words as the operator sees them: a box shows the CR between lines as a line break.
    words = '\n'.join(''.join(p.text) for p in parsed.values())
    for table, texts in operator_texts(texts_cpp).items():
        for i, text in enumerate(texts):
            shown = text.replace('\r', '\n')
            if table == 'statusTexts' and shown.startswith(' '):
                shown = shown.lstrip(' ')  # its blanks only put it beside the progress bar
            if shown not in words:
                problems.append(f'{table}[{i}] is not quoted as the program shows it: {shown!r}')

    for p in problems:
        print(p)
    print(f'{len(pages)} page(s), {sum(len(p.pictures) for p in parsed.values())} picture(s), '
          f'{sum(len(p.links) for p in parsed.values())} link(s): {len(problems)} problem(s)')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
