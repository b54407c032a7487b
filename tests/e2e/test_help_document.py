"""The help document as the build stages it beside the program, and its generator's release
mode: every heading of the text source is a bookmark, the table of contents is there, the
version is the one of VERSION, and a release build fails on a screenshot it cannot find or a
table of contents that runs over the first page."""

import re
import subprocess
import sys
import tempfile
from pathlib import Path

from program import HELP_DOCUMENT

ROOT = Path(__file__).resolve().parents[2]
SOURCE = ROOT / "docs" / "help" / "help.txt"


def pdf_strings(data):
    """The literal strings of a PDF's uncompressed objects (bookmark titles live there)."""
    texts = re.findall(rb"\(((?:\\.|[^\\)])*)\)", data)
    return [re.sub(rb"\\(.)", rb"\1", t).decode("latin-1") for t in texts]


def test_every_heading_is_a_bookmark_and_the_version_is_one(rig):
    data = (rig.install_source / HELP_DOCUMENT).read_bytes()
    source = SOURCE.read_text(encoding="utf-8")
    headings = [h.strip() for h in re.findall(r"^#{1,3} (.+)$", source, re.M)][1:]
    assert len(headings) > 20, headings
    strings = pdf_strings(data)
    missing = [h for h in headings if h not in strings]
    assert not missing, missing
    assert b"/Outlines" in data and b"/PageMode /UseOutlines" in data
    version = (ROOT / "VERSION").read_text().strip()
    assert "Qel SMS/MMS Gateway Lite Edition %s" % version in strings   # the document's subject
    assert "@VERSION@" not in " ".join(strings)


def test_release_build_fails_on_a_missing_screenshot(rig):
    with tempfile.TemporaryDirectory() as work:
        source = Path(work) / "help.txt"
        source.write_text("# Help\n\nv@VERSION@\n\n# Chapter\n\n## Page\n\n[picture page.png]\n")
        command = [sys.executable, str(ROOT / "tools" / "make_help_pdf.py"), str(source),
                   str(Path(work) / "help.pdf"), "--pictures", work]
        quick = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        assert quick.returncode == 0 and "0 pictures" in quick.stdout, quick.stdout
        release = subprocess.run(command + ["--require-pictures"], stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True)
        assert release.returncode == 1 and "page.png" in release.stdout, release.stdout


def test_a_table_of_contents_longer_than_its_page_fails_the_build(rig):
    with tempfile.TemporaryDirectory() as work:
        command = [sys.executable, str(ROOT / "tools" / "make_help_pdf.py"),
                   str(Path(work) / "help.txt"), str(Path(work) / "help.pdf")]
        for sections, fits in ((30, True), (50, False)):
            text = "# Help\n\nv1\n\n# Chapter\n\n" + "".join(
                "## Page %d\n\nText.\n\n" % n for n in range(sections))
            (Path(work) / "help.txt").write_text(text)
            done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True)
            assert (done.returncode == 0) == fits, done.stdout
            assert fits or "table of contents runs over" in done.stdout, done.stdout
