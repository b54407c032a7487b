#!/usr/bin/env python3
"""Builds the help document "QelSMS Lite.pdf" from its plain-text source.

    python3 tools/make_help_pdf.py docs/help/help.txt "build/.../QelSMS Lite.pdf"
            [--version-file VERSION] [--pictures build/screenshots [--require-pictures]]

The source is plain text with a few marks:
    # Title        a part; the first one is the document's title, each other starts a new page
    ## Heading     a section (one per page or dialog of the program)
    ### Heading    a subsection
    - text         a list item
    [picture F]    the screenshot F from the pictures folder, cropped to its window; left out
                   when no folder is given or F is not in it (the quick build), an error with
                   --require-pictures (the release build)
    other lines    paragraph text; a blank line ends a paragraph
"@VERSION@" anywhere stands for the version number read from the version file.

The document opens with its title and a table of contents on its first page (a contents
that would run over it fails the build); every part, section and subsection is a PDF
bookmark. Built with ReportLab (Debian's python3-reportlab).
"""

import argparse
import io
import os
import re
import sys
from pathlib import Path
from xml.sax.saxutils import escape

try:
    from PIL import Image, ImageChops
    from reportlab import rl_config
    from reportlab.lib import colors
    from reportlab.lib.pagesizes import A4
    from reportlab.lib.styles import ParagraphStyle, getSampleStyleSheet
    from reportlab.lib.units import mm
    from reportlab.platypus import (BaseDocTemplate, Frame, Image as Picture, KeepTogether,
                                    ListFlowable, ListItem, PageBreak, PageTemplate, Paragraph,
                                    Spacer, TableStyle)
    from reportlab.platypus.tableofcontents import TableOfContents
except ImportError:
    # Debian's python3-reportlab belongs to the system's interpreter; another python3 first
    # on PATH (a virtual environment, pyenv) hands over to it.
    SYSTEM_PYTHON = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and \
            os.path.exists(SYSTEM_PYTHON) and not os.environ.get("QEL_HELP_REEXEC"):
        os.environ["QEL_HELP_REEXEC"] = "1"
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
    raise

rl_config.invariant = 1   # the same source gives the same bytes (no creation date, fixed ids)

PAGE_WIDTH, PAGE_HEIGHT = A4
MARGIN = 22 * mm
TEXT_WIDTH = PAGE_WIDTH - 2 * MARGIN
PICTURE_MAX_HEIGHT = PAGE_HEIGHT * 0.5
DOCUMENT_NAME = "QelSMS Lite Help"

PICTURE_RE = re.compile(r"^\[picture\s+([^\]\s]+)\s*\]$")


class SourceError(Exception):
    pass


def parse(source):
    """The source as blocks (kind, text). Kinds: title, part, section, subsection, text,
    item, picture."""
    blocks, paragraph = [], []

    def flush():
        if paragraph:
            blocks.append(("text", " ".join(paragraph)))
            paragraph.clear()

    for number, raw in enumerate(source.splitlines(), 1):
        line = raw.strip()
        heading = re.match(r"^(#{1,3}) (.+)$", line)
        picture = PICTURE_RE.match(line)
        if not line:
            flush()
        elif heading:
            flush()
            level = len(heading.group(1))
            kind = ("part" if any(k == "title" for k, _ in blocks) else "title") if level == 1 \
                else ("section" if level == 2 else "subsection")
            blocks.append((kind, heading.group(2).strip()))
        elif picture:
            flush()
            blocks.append(("picture", picture.group(1)))
        elif line.startswith("[picture"):
            raise SourceError("line %d: a picture is written [picture FILE.png]" % number)
        elif line.startswith("- "):
            flush()
            blocks.append(("item", line[2:].strip()))
        else:
            paragraph.append(line)
    flush()
    if not blocks or blocks[0][0] != "title":
        raise SourceError("the source must begin with its title (# Title)")
    return blocks


def crop_to_window(path):
    """The screenshot without the plain desktop around its window: everything that differs
    from the colour of the top-right corner, which the window never covers."""
    image = Image.open(str(path)).convert("RGB")
    background = Image.new("RGB", image.size, image.getpixel((image.width - 1, 0)))
    box = ImageChops.difference(image, background).getbbox()
    return image.crop(box) if box else image


def styles():
    base = getSampleStyleSheet()
    body = ParagraphStyle("Body", parent=base["BodyText"], fontName="Helvetica", fontSize=10,
                          leading=13.5, spaceAfter=6)
    return {
        "title": ParagraphStyle("Title", parent=base["Title"], fontSize=22, leading=28,
                                spaceAfter=6),
        "subtitle": ParagraphStyle("Subtitle", parent=body, alignment=1, fontSize=11,
                                   spaceAfter=24),
        "contents": ParagraphStyle("Contents", parent=base["Heading1"], fontSize=15,
                                   spaceAfter=10),
        "part": ParagraphStyle("Chapter", parent=base["Heading1"], fontSize=17, leading=22,
                               spaceAfter=10),
        "section": ParagraphStyle("Section", parent=base["Heading2"], fontSize=13.5, leading=17,
                                  spaceBefore=12, spaceAfter=6),
        "subsection": ParagraphStyle("Subsection", parent=base["Heading3"], fontSize=11,
                                     leading=14, spaceBefore=8, spaceAfter=4),
        "text": body,
        "item": ParagraphStyle("Item", parent=body, spaceAfter=3),
    }


class HelpDocument(BaseDocTemplate):
    """A4 pages with a footer; headings feed the table of contents and the bookmarks."""

    LEVELS = {"part": 0, "section": 1, "subsection": 2}

    def __init__(self, filename, title, version):
        super().__init__(filename, pagesize=A4, leftMargin=MARGIN, rightMargin=MARGIN,
                         topMargin=MARGIN, bottomMargin=MARGIN, title=title,
                         author="Qel", subject="Qel SMS/MMS Gateway Lite Edition %s" % version,
                         creator="make_help_pdf.py")
        frame = Frame(MARGIN, MARGIN, TEXT_WIDTH, PAGE_HEIGHT - 2 * MARGIN, id="body")
        self.addPageTemplates([PageTemplate(id="page", frames=[frame], onPage=self.footer)])
        self.heading_count = 0
        self.first_part_page = None

    def footer(self, canvas, doc):
        canvas.saveState()
        canvas.setFont("Helvetica", 8)
        canvas.setFillColor(colors.grey)
        canvas.drawCentredString(PAGE_WIDTH / 2, MARGIN / 2,
                                 "%s - page %d" % (DOCUMENT_NAME, doc.page))
        canvas.restoreState()

    def afterFlowable(self, flowable):
        kind = getattr(flowable, "heading_kind", None)
        if kind is None:
            return
        level = self.LEVELS[kind]
        if kind == "part" and self.first_part_page is None:
            self.first_part_page = self.page
        text = flowable.getPlainText()
        key = "h%d" % self.heading_count
        self.heading_count += 1
        self.canv.bookmarkPage(key)
        self.canv.addOutlineEntry(text, key, level=level, closed=level > 0)
        self.canv.showOutline()   # the reader opens with the bookmarks shown
        self.notify("TOCEntry", (level, text, self.page, key))

    def handle_documentBegin(self):
        self.heading_count = 0   # multiBuild lays the document out more than once
        self.first_part_page = None
        super().handle_documentBegin()


def heading(kind, text, style):
    paragraph = Paragraph(escape(text), style)
    paragraph.heading_kind = kind
    return paragraph


def picture_flowable(path):
    image = crop_to_window(path)
    scale = min(1.0, TEXT_WIDTH / image.width, PICTURE_MAX_HEIGHT / image.height)
    # Screen pixels shown at 0.75 pt each (96 dpi), smaller only where the page needs it.
    width = min(image.width * 0.75, image.width * scale)
    height = width * image.height / image.width
    data = io.BytesIO()
    image.save(data, format="PNG")
    data.seek(0)
    flowable = Picture(data, width=width, height=height)
    flowable.hAlign = "CENTER"
    return [Spacer(1, 4), flowable, Spacer(1, 8)]


def story(blocks, version, pictures, require_pictures):
    """The flowables of the document; raises SourceError for a missing required picture."""
    style = styles()
    contents = TableOfContents()
    contents.levelStyles = [
        ParagraphStyle("TOC0", fontName="Helvetica-Bold", fontSize=11, leading=15,
                       leftIndent=0, firstLineIndent=0, spaceBefore=5),
        ParagraphStyle("TOC1", fontName="Helvetica", fontSize=10, leading=13.5, leftIndent=16,
                       firstLineIndent=0),
        ParagraphStyle("TOC2", fontName="Helvetica", fontSize=9, leading=12.5, leftIndent=32,
                       firstLineIndent=0),
    ]
    # The lines' own leading spaces them: no cell padding above and below (3 pt each by
    # default), so that the contents stay on the first page.
    contents.tableStyle = TableStyle([("VALIGN", (0, 0), (-1, -1), "TOP"),
                                      ("LEFTPADDING", (0, 0), (-1, -1), 0),
                                      ("RIGHTPADDING", (0, 0), (-1, -1), 0),
                                      ("TOPPADDING", (0, 0), (-1, -1), 0),
                                      ("BOTTOMPADDING", (0, 0), (-1, -1), 0)])
    blocks = list(blocks)
    flow, items, missing, used = [], [], [], []

    def picture(name):
        path = Path(pictures) / name if pictures else None
        if path is not None and path.is_file():
            used.append(name)
            return picture_flowable(path)
        if require_pictures:
            missing.append(name)
        return []

    def end_list():
        if items:
            flow.append(ListFlowable([ListItem(p, leftIndent=14) for p in items],
                                     bulletType="bullet", start="\u2022", leftIndent=14,
                                     bulletFontSize=9))
            flow.append(Spacer(1, 4))
            items.clear()

    for index, (kind, text) in enumerate(blocks):
        text = text.replace("@VERSION@", version)
        if kind != "item":
            end_list()
        if kind == "title":
            flow += [Spacer(1, 24), Paragraph(escape(text), style["title"])]
        elif kind == "part":
            if flow and not isinstance(flow[-1], PageBreak):
                flow.append(PageBreak())
            flow.append(heading(kind, text, style["part"]))
        elif kind in ("section", "subsection"):
            # A heading stays on the page of its first paragraph and its picture.
            kept = [heading(kind, text, style[kind])]
            for follower in range(index + 1, min(index + 3, len(blocks))):
                next_kind, next_text = blocks[follower]
                if next_kind == "text" and len(kept) == 1:
                    kept.append(Paragraph(escape(next_text), style["text"]))
                elif next_kind == "picture":
                    kept += picture(next_text)
                else:
                    break
                blocks[follower] = ("done", "")
            flow.append(KeepTogether(kept))
        elif kind == "text":
            flow.append(Paragraph(escape(text), style["text"]))
            if index == 1:   # the line under the title, then the table of contents
                flow[-1] = Paragraph(escape(text), style["subtitle"])
                flow += [Paragraph("Contents", style["contents"]), contents]
        elif kind == "item":
            items.append(Paragraph(escape(text), style["item"]))
        elif kind == "picture":
            flow += picture(text)
    end_list()
    if missing:
        raise SourceError("screenshots missing from %s: %s" % (pictures, ", ".join(missing)))
    return flow, len(used)


def build(source, output, version, pictures=None, require_pictures=False):
    """Writes the document; returns (pages, pictures used)."""
    blocks = parse(source)
    flow, used = story(blocks, version, pictures, require_pictures)
    output = Path(output)
    output.parent.mkdir(parents=True, exist_ok=True)
    temporary = output.with_name(output.name + ".tmp")
    document = HelpDocument(str(temporary), blocks[0][1], version)
    document.multiBuild(flow)
    if document.first_part_page is not None and document.first_part_page > 2:
        temporary.unlink()
        raise SourceError("the table of contents runs over the first page (%d pages)"
                          % (document.first_part_page - 1))
    temporary.replace(output)  # never a half-written document in the installation
    return document.page, used


def main(argv):
    parser = argparse.ArgumentParser(description="Builds the help document.")
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--version-file", help="the file whose first line is the version")
    parser.add_argument("--pictures", help="the folder of the screenshots")
    parser.add_argument("--require-pictures", action="store_true",
                        help="fail when a screenshot the source names is not in the folder")
    options = parser.parse_args(argv[1:])
    version = "?"
    if options.version_file:
        version = Path(options.version_file).read_text(encoding="ascii").split()[0]
    try:
        pages, used = build(Path(options.source).read_text(encoding="utf-8"), options.output,
                            version, options.pictures, options.require_pictures)
    except SourceError as error:
        print("make_help_pdf.py: %s" % error, file=sys.stderr)
        return 1
    print("%s: %d pages, %d pictures" % (options.output, pages, used))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
