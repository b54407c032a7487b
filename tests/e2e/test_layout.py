"""Every page and dialog of the screenshot tour (both sheets, the Modem page in its four
states, the dialogs and the viewers), read live when its picture would be taken: no two
visible controls overlap, no text is wider (or, wrapped, taller) than its control, and
nothing lies outside its page."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent.parent / "tools"))
import screenshots  # noqa: E402

SETTLE_SECONDS = 0.3   # a page that has just been shown finishes showing and hiding its controls


class LayoutReader:
    """Stands in for the tour's camera: reads the layout of what is on screen instead."""

    def __init__(self, rig):
        self.rig = rig
        self.windows = 0
        self.problems = []

    def wait_title(self, sheet, title, timeout=60):
        screenshots.Shooter.wait_title(self, sheet, title, timeout)

    def shot(self, name):
        time.sleep(SETTLE_SECONDS)
        rc, out = self.rig.qauto("layout")
        assert rc == 0, "qauto layout failed (%d)" % rc
        for line in out.splitlines():
            if line.startswith("window\t"):
                self.windows += 1
            else:
                self.problems.append("%s: %s" % (name, line.replace("\t", "  ")))


def test_no_control_overlaps_another_or_outgrows_its_place(rig):
    reader = LayoutReader(rig)
    screenshots.tour(rig, reader)
    assert reader.windows >= 30, reader.windows
    assert reader.problems == [], "\n".join(reader.problems)


test_no_control_overlaps_another_or_outgrows_its_place.time_limit = 900
