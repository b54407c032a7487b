#!/usr/bin/env python3
"""Builds the help document "QelSMS Lite.pdf" from its plain-text source.

    python3 tools/make_help_pdf.py docs/help/help.txt "build/.../QelSMS Lite.pdf"

The source is plain text with a few marks:
    # Title      a part heading; each part after the first starts on a new page
    ## Heading   a section heading (bold)
    - text       a list item, wrapped with a hanging indent
    other lines  paragraph text; a blank line ends a paragraph

The output is a PDF 1.4 file in the standard Helvetica fonts, A4 pages, text wrapped to the
page width. Python 3 standard library only.
"""

import sys
import zlib
from pathlib import Path

PAGE_WIDTH, PAGE_HEIGHT = 595, 842          # A4 in points
MARGIN_LEFT, MARGIN_RIGHT = 64, 64
MARGIN_TOP, MARGIN_BOTTOM = 72, 64
TEXT_WIDTH = PAGE_WIDTH - MARGIN_LEFT - MARGIN_RIGHT
BULLET_INDENT = 16

# (font resource, size, line height, space before, space after) per kind of block.
STYLES = {
    "title": ("F2", 20, 26, 0, 10),
    "part": ("F2", 16, 21, 6, 8),
    "section": ("F2", 12.5, 17, 10, 4),
    "text": ("F1", 10.5, 14, 0, 7),
    "item": ("F1", 10.5, 14, 0, 4),
}

# Advance widths (1/1000 em) of the printable ASCII characters 32..126, from the fonts'
# metrics files.
HELVETICA = [
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584,
]
HELVETICA_BOLD = [
    278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 333, 333, 584, 584, 584, 611,
    975, 722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 333, 278, 333, 584, 556,
    333, 556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889, 611, 611,
    611, 611, 389, 556, 333, 611, 556, 778, 556, 556, 500, 389, 280, 389, 584,
]
FONTS = {"F1": ("Helvetica", HELVETICA), "F2": ("Helvetica-Bold", HELVETICA_BOLD)}


def text_width(text, font, size):
    widths = FONTS[font][1]
    total = 0
    for ch in text:
        code = ord(ch)
        total += widths[code - 32] if 32 <= code <= 126 else 556
    return total * size / 1000.0


def wrap(text, font, size, width):
    """Splits text into lines no wider than width; a word longer than a line stays whole."""
    lines, line = [], ""
    for word in text.split():
        candidate = word if not line else line + " " + word
        if line and text_width(candidate, font, size) > width:
            lines.append(line)
            line = word
        else:
            line = candidate
    if line:
        lines.append(line)
    return lines or [""]


def parse(source):
    """The source as blocks: (kind, text). Kinds: title, part, section, text, item, page."""
    blocks, paragraph = [], []
    seen_part = False

    def flush():
        if paragraph:
            blocks.append(("text", " ".join(paragraph)))
            paragraph.clear()

    for raw in source.splitlines():
        line = raw.strip()
        if not line:
            flush()
        elif line.startswith("## "):
            flush()
            blocks.append(("section", line[3:].strip()))
        elif line.startswith("# "):
            flush()
            if not seen_part:
                blocks.append(("title", line[2:].strip()))
                seen_part = True
            else:
                blocks.append(("page", ""))
                blocks.append(("part", line[2:].strip()))
        elif line.startswith("- "):
            flush()
            blocks.append(("item", line[2:].strip()))
        else:
            paragraph.append(line)
    flush()
    return blocks


def pdf_string(text):
    """A PDF literal string in WinAnsi encoding."""
    data = text.encode("cp1252", errors="replace")
    out = bytearray(b"(")
    for byte in data:
        if byte in b"()\\":
            out += b"\\" + bytes([byte])
        elif byte < 32 or byte > 126:
            out += b"\\%03o" % byte
        else:
            out.append(byte)
    return bytes(out + b")")


class Layout:
    """Places blocks on pages; each page is a list of drawing operators."""

    def __init__(self):
        self.pages = []
        self.last_kind = None
        self.new_page()

    def new_page(self):
        self.pages.append([])
        self.y = PAGE_HEIGHT - MARGIN_TOP

    def page_is_empty(self):
        return not self.pages[-1]

    def ensure(self, height):
        if self.y - height < MARGIN_BOTTOM and not self.page_is_empty():
            self.new_page()

    def draw(self, font, size, x, text):
        self.pages[-1].append(b"BT /%s %.1f Tf %.2f %.2f Td %s Tj ET"
                              % (font.encode(), size, x, self.y, pdf_string(text)))

    def block(self, kind, text):
        if kind == "page":
            if not self.page_is_empty():
                self.new_page()
            return
        font, size, leading, before, after = STYLES[kind]
        indent = BULLET_INDENT if kind == "item" else 0
        lines = wrap(text, font, size, TEXT_WIDTH - indent)
        if not self.page_is_empty():
            self.y -= before
            if self.last_kind == "item" and kind != "item":
                self.y -= STYLES["text"][4] - STYLES["item"][4]  # a list ends like a paragraph
        self.last_kind = kind
        # A heading stays with the first lines that follow it.
        keep = leading * len(lines) + (3 * STYLES["text"][2] if kind in ("section", "part") else 0)
        self.ensure(keep if kind != "text" else min(keep, leading * 2))
        for number, line in enumerate(lines):
            self.ensure(leading)
            self.y -= size
            if kind == "item" and number == 0:
                self.draw("F1", size, MARGIN_LEFT + 4, "\u2022")  # bullet
            self.draw(font, size, MARGIN_LEFT + indent, line)
            self.y -= leading - size
        self.y -= after


def page_footer(number, count):
    text = "QelSMS Lite Help - page %d of %d" % (number, count)
    x = (PAGE_WIDTH - text_width(text, "F1", 8)) / 2
    return b"BT /F1 8 Tf 0.4 g %.2f %d Td %s Tj ET" % (x, MARGIN_BOTTOM - 30, pdf_string(text))


def build_pdf(blocks, title):
    layout = Layout()
    for kind, text in blocks:
        layout.block(kind, text)
    pages = [p for p in layout.pages if p]

    # Object numbers: 1 catalog, 2 page tree, 3-4 fonts, 5 info, then a page and its
    # content stream for each page.
    objects = {}
    objects[1] = b"<< /Type /Catalog /Pages 2 0 R >>"
    for number, (font, (base, _)) in zip((3, 4), sorted(FONTS.items())):
        objects[number] = (b"<< /Type /Font /Subtype /Type1 /BaseFont /%s "
                           b"/Encoding /WinAnsiEncoding >>" % base.encode())
    objects[5] = b"<< /Title %s /Producer (make_help_pdf.py) >>" % pdf_string(title)
    kids = []
    for index, operators in enumerate(pages):
        page_number, content_number = 6 + 2 * index, 7 + 2 * index
        kids.append(b"%d 0 R" % page_number)
        stream = zlib.compress(b"\n".join(operators + [page_footer(index + 1, len(pages))]))
        objects[page_number] = (
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] "
            b"/Resources << /Font << /F1 3 0 R /F2 4 0 R >> >> /Contents %d 0 R >>"
            % (PAGE_WIDTH, PAGE_HEIGHT, content_number))
        objects[content_number] = (b"<< /Length %d /Filter /FlateDecode >>\nstream\n"
                                   % len(stream) + stream + b"\nendstream")
    objects[2] = b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(kids), len(kids))

    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for number in sorted(objects):
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + objects[number] + b"\nendobj\n"
    xref = len(out)
    count = max(objects) + 1
    out += b"xref\n0 %d\n0000000000 65535 f \n" % count
    for number in range(1, count):
        out += b"%010d 00000 n \n" % offsets[number]
    out += (b"trailer\n<< /Size %d /Root 1 0 R /Info 5 0 R >>\nstartxref\n%d\n%%%%EOF\n"
            % (count, xref))
    return bytes(out), len(pages)


def main(argv):
    if len(argv) != 3:
        print("usage: make_help_pdf.py SOURCE.txt OUTPUT.pdf", file=sys.stderr)
        return 2
    source = Path(argv[1]).read_text(encoding="utf-8")
    blocks = parse(source)
    title = next((text for kind, text in blocks if kind == "title"), "Help")
    data, page_count = build_pdf(blocks, title)
    output = Path(argv[2])
    output.parent.mkdir(parents=True, exist_ok=True)
    temporary = output.with_name(output.name + ".tmp")
    temporary.write_bytes(data)
    temporary.replace(output)  # never a half-written document in the installation
    print("%s: %d pages" % (output, page_count))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
