"""The event log viewer, opened on its own by event_log_host.exe over a file of records in
the platform's layout (Wine's event log keeps nothing), and driven from outside: which
events it lists and how, new events while it is open, clearing the log, a log that cannot
be opened, and the message table of the program.
"""

import time

from event_records import (AUDIT_FAILURE, AUDIT_SUCCESS, ERROR, INFORMATION, WARNING,
                           RecordFile)
from harness import to_windows, wait_for
from program import CAPTION

TITLE = "Event Log"
LIST_ID, CLEAR_ID = 101, 102
BASE_TIME = 1700000000
CLEAR_QUESTION = ("This will clear all events from the application event log for this system, "
                  "which includes events from applications other than QelSMS.\r\n\r\nContinue?")


def line(seconds, prefix, text):
    return time.strftime("%Y-%m-%d %H:%M:%S - ", time.localtime(BASE_TIME + seconds)) + prefix + text


def start_host(rig, log, refresh_ms, *options):
    args = [rig.testbin / "event_log_host.exe", "--refresh-ms", refresh_ms]
    return rig.wine_start(args + list(options) + [to_windows(log.path)])


class Viewer:
    def __init__(self, rig, log, refresh_ms=300):
        self.rig = rig
        self.proc = start_host(rig, log, refresh_ms)
        self.hwnd = rig.find(TITLE, timeout=30)
        assert self.hwnd, "the viewer did not open"
        self.list = rig.control(self.hwnd, LIST_ID)

    def lines(self):
        return [text for text, _ in self.rig.box_items(self.list)]

    def wait_lines(self, expected, timeout=5):
        seen = []

        def done():
            seen[:] = self.lines()
            return seen == expected
        try:
            wait_for(done, timeout, what="the list reading %s" % (expected,), interval=0.1)
        except AssertionError as error:
            raise AssertionError("%s; last read %s" % (error, seen))


def test_gateway_events_newest_first_and_new_ones_on_top(rig, env):
    log = RecordFile(env.folder / "events.bin")
    log.add("QelSMS", ERROR, "Modem not responding", BASE_TIME + 1)
    log.add("Other", WARNING, "not the gateway's", BASE_TIME + 2)
    log.add("QelSMS", WARNING, "Low credit", BASE_TIME + 3)
    log.add("qelsms", INFORMATION, "Service started", BASE_TIME + 4)
    log.add("QelSMS", AUDIT_SUCCESS, "audit", BASE_TIME + 5)
    log.add("QelSMS", AUDIT_FAILURE, "text past the end", BASE_TIME + 6, string_offset=0x7FFFFFF0)
    log.add("QelSMS", ERROR, None, BASE_TIME + 7)
    viewer = Viewer(rig, log)
    viewer.wait_lines([line(7, "Error: ", ""), line(6, "Info: ", ""), line(5, "Info: ", "audit"),
                       line(4, "Info: ", "Service started"), line(3, "Warning: ", "Low credit"),
                       line(1, "Error: ", "Modem not responding")])

    shown = viewer.lines()
    log.add("Other", ERROR, "still not", BASE_TIME + 8)
    log.add("QelSMS", WARNING, "Queue growing", BASE_TIME + 9)
    viewer.wait_lines([line(9, "Warning: ", "Queue growing")] + shown, timeout=3)
    assert len(viewer.lines()) == 7
    rig.click(viewer.hwnd, id=1)
    assert viewer.proc.wait(timeout=10) == 0


def test_clear_asks_then_empties_the_list_and_the_log(rig, env):
    log = RecordFile(env.folder / "events.bin")
    log.add("QelSMS", ERROR, "old one", BASE_TIME + 1)
    log.add("Other", ERROR, "old other", BASE_TIME + 2)
    viewer = Viewer(rig, log)
    viewer.wait_lines([line(1, "Error: ", "old one")])

    rig.click(viewer.hwnd, id=CLEAR_ID)
    box = rig.box(click="No")
    assert (box.caption, box.text, box.buttons, box.icon) == \
        (CAPTION, CLEAR_QUESTION, ["Yes", "No"], "question")
    assert viewer.lines() == [line(1, "Error: ", "old one")]
    assert log.path.stat().st_size > 0

    rig.click(viewer.hwnd, id=CLEAR_ID)
    rig.box(click="Yes")
    viewer.wait_lines([])
    assert log.path.stat().st_size == 0
    rig.nobox(within=0.5)

    log.restart()
    log.add("QelSMS", INFORMATION, "after clearing", BASE_TIME + 10)
    viewer.wait_lines([line(10, "Info: ", "after clearing")])


def test_a_log_that_cannot_be_opened_is_reported_once(rig, env):
    log = RecordFile(env.folder / "events.bin")
    start_host(rig, log, 200, "--cannot-open")
    # The first refresh comes before the window is shown.
    box = rig.box(timeout=30, click="OK")
    assert (box.caption, box.text, box.buttons, box.icon) == \
        (CAPTION, "Unable to open event log", ["OK"], "error")
    viewer = rig.find(TITLE)
    assert viewer, "the viewer did not open after the report"
    rig.nobox(within=1.5)   # several refreshes later
    # Clearing is the user's own action: its failure is always shown.
    rig.click(viewer, id=CLEAR_ID)
    rig.box(click="Yes")
    box = rig.box(click="OK")
    assert (box.text, box.icon) == ("Unable to open event log", "error")
    rig.nobox(within=0.5)


def test_the_program_carries_the_message_table(rig, env):
    done = rig.wine([rig.testbin / "event_log_host.exe", "--message-text", env.exe])
    assert done.returncode == 0, done.stderr
    assert done.stdout == "QelSMS Error Report.  %1\r\n"
