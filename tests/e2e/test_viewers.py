"""The outbound MMS queue, received SMS and received MMS viewers and the MMS view dialog, each
opened on its own by viewer_host.exe and driven from outside: the count line, the rows, a
sort, a delete, and what the MMS view dialog opens and refuses.

The viewer machinery they share (selection across refreshes, multiple selections, files held
open) is tested once, on the outbound SMS queue, in test_queue_viewer.py. Wine gives a file's
modification time as its creation time, so the tests set times with os.utime.
"""

import os
import shutil
import time
from pathlib import Path

from harness import Rig, to_windows, wait_for
from program import CAPTION

LIST_ID = 101
COUNT_ID = 102
BASE_TIME = 1700000000  # file times are BASE_TIME + minutes


def put(folder, name, data, minute=0):
    """Writes a file (name may hold backslashes for sub-folders) at BASE_TIME + minute."""
    path = folder.joinpath(*name.split("\\"))
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data.encode("latin-1") if isinstance(data, str) else data)
    stamp = BASE_TIME + 60 * minute
    os.utime(str(path), (stamp, stamp))
    return path


def shown_time(minute):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(BASE_TIME + 60 * minute))


class Viewer:
    """viewer_host.exe showing one viewer of the test's installation."""

    def __init__(self, rig, env, which, title, refresh_ms=None):
        self.rig = rig
        args = [str(rig.testbin / "viewer_host.exe"), "--settle-ms", "0", "--delete-wait-ms", "0"]
        if refresh_ms is not None:
            args += ["--refresh-ms", str(refresh_ms)]
        self.proc = rig.wine_start(args + [which], cwd=str(env.install))
        self.hwnd = rig.find(title, timeout=30)
        assert self.hwnd, "the %s viewer did not open" % which
        self.list = rig.control(self.hwnd, LIST_ID)

    def count_line(self):
        return self.rig.text(self.hwnd, COUNT_ID)

    def rows(self):
        return self.rig.list_cells(self.list)

    def ids(self):
        return [row[0] for row in self.rows()]

    def wait_rows(self, expected, timeout=6):
        seen = []

        def done():
            seen[:] = [self.rows()]
            return seen[0] == expected
        try:
            wait_for(done, timeout, what="the rows %s" % (expected,), interval=0.2)
        except AssertionError as error:
            raise AssertionError("%s; last read %s" % (error, seen))

    def select(self, id):
        self.rig.list_select(self.list, [self.ids().index(id)])

    def delete_selected(self, *paths):
        """Deletes the selected row; waits until every one of paths is gone."""
        self.rig.key(self.list, "DELETE")
        assert self.rig.box(click="Yes").text == "Delete Message?"
        for path in paths:
            wait_for(lambda: not path.exists(), 5, what="%s deleted" % path.name, interval=0.1)

    def close(self):
        self.rig.key(self.list, "ESCAPE")
        assert self.proc.wait(timeout=10) == 0


# --- outbound MMS queue ---

MMS_TITLE = "Outbound MMS Queue"
MMS_COUNT = "Outbound MMS Message Queue:  "


def control_file(sender, recipients, retries=None, error=None):
    text = "[Routing]\r\nSenderAddress=%s\r\n" % sender
    if retries is not None:
        text += "RetryCount=%s\r\nLastErrorInfo=%s\r\n" % (retries, error or "")
    text += "[Recipients]\r\n" + "".join("To%d=%s\r\n" % (n, r) for n, r in enumerate(recipients))
    return text


def test_outbound_mms_queue(rig, env):
    queue = env.data / "VASPQ"
    queue.mkdir()
    viewer = Viewer(rig, env, "outbound-mms", MMS_TITLE, refresh_ms=500)
    assert viewer.count_line() == MMS_COUNT + "Empty"

    put(queue, "A.MMS", "m", 3)
    put(queue, "A.INI", control_file("+100", ["+111/TYPE=PLMN", "+222"]))
    put(queue, "B.MMS", "m", 1)
    put(queue, "B.INI", control_file("+200", ["+%d" % n for n in range(7)], 2, "No route"))
    put(queue, "C.MMS", "no control file", 2)
    put(queue, "Q1\\D.MMS", "m", 4)
    put(queue, "Q1\\D.INI", control_file("", ["+1/type=plmn", "+2", "+3", "+4", "+5"], -1, "x"))
    # A sub-queue whose name Windows reads as another folder's is listed from its own folder.
    put(queue, "dot.\\E.MMS", "m", 5)
    put(queue, "dot.\\E.INI", control_file("+500", ["+555"]))
    # Read as the profile functions read it: UTF-16, quotes taken off.
    put(queue, "U.MMS", "m", 6)
    put(queue, "U.INI", b"\xff\xfe" + control_file("'+600'", ["+666"], "'3'", "busy").encode("utf-16-le"))
    # A device name is counted but never opened.
    put(queue, "COM5.MMS", "m", 7)
    put(queue, "COM5.INI", control_file("+700", ["+777"]))
    oldest_first = [
        ["B.MMS", "+200", "7 recipients", shown_time(1), "Retry -  2 attempt(s) - No route"],
        ["A.MMS", "+100", "+111, +222", shown_time(3), "Queued"],
        ["D.MMS", "", "+1, +2, +3, +4, +5", shown_time(4), "Queued"],
        ["E.MMS", "+500", "+555", shown_time(5), "Queued"],
        ["U.MMS", "+600", "+666", shown_time(6), "Retry -  3 attempt(s) - busy"],
    ]
    viewer.wait_rows(oldest_first)
    assert viewer.count_line() == MMS_COUNT + "7 messages"
    assert not (queue / "dot").exists(), "viewing created a folder"

    rig.header_click(viewer.list, 1)   # Sender, ascending
    viewer.wait_rows(sorted(oldest_first, key=lambda row: row[1]))

    viewer.select("A.MMS")
    viewer.delete_selected(queue / "A.MMS", queue / "A.INI")
    viewer.select("E.MMS")
    viewer.delete_selected(queue / "dot." / "E.MMS", queue / "dot." / "E.INI")
    viewer.wait_rows([oldest_first[2], oldest_first[0], oldest_first[4]])
    viewer.close()


# --- received SMS ---

SMS_TITLE = "Received SMS Messages"
SMS_COUNT = "Received SMS Messages:  "


def received(sender, data, recipient="+4400", binary=False, dcs=None):
    text = "[SMS-IN]\r\nSender=%s\r\nPhoneNumber=%s\r\nData=%s\r\n" % (sender, recipient, data)
    if binary:
        text += "binary=1\r\ndcs=%s\r\n" % dcs
    return text


def test_received_sms_viewer(rig, env):
    store = env.data / "SMS-IN"
    store.mkdir()
    old_empty = store / "OLDEMPTY"
    old_empty.mkdir()
    stamp = time.time() - 600
    os.utime(str(old_empty), (stamp, stamp))
    viewer = Viewer(rig, env, "received-sms", SMS_TITLE, refresh_ms=500)
    assert viewer.count_line() == SMS_COUNT + "None"
    assert not old_empty.exists(), "an empty sub-directory written 10 minutes ago stayed"

    put(store, "A.IN", received("+111", "queued one"), 1)
    put(store, "B.SMS", received("+222", "004800690021", binary=True, dcs="08"), 2)
    put(store, "Sub\\C.REC", received("+333", "x" * 600, recipient=""), 3)
    put(store, "D.SMS", received("+444", "0102AB", binary=True, dcs="F4"), 4)
    newest_first = [
        ["D.SMS", "+444", "+4400", shown_time(4), "Received", "0102AB"],
        ["C.REC", "+333", "", shown_time(3), "Queued", "x" * 499],
        ["B.SMS", "+222", "+4400", shown_time(2), "Received", "Hi!"],
        ["A.IN", "+111", "+4400", shown_time(1), "Queued", "queued one"],
    ]
    viewer.wait_rows(newest_first)
    assert viewer.count_line() == SMS_COUNT + "4 messages"

    # A file changed between two refreshes (same name, new content, size and time) shows
    # its new row: the kept rows are only those of unchanged files.
    put(store, "A.IN", received("+999", "changed and longer"), 5)
    viewer.wait_rows([["A.IN", "+999", "+4400", shown_time(5), "Queued", "changed and longer"]]
                     + newest_first[:3])

    rig.header_click(viewer.list, 1)   # Sender, ascending
    viewer.wait_rows(sorted(viewer.rows(), key=lambda row: row[1]))
    viewer.select("C.REC")
    viewer.delete_selected(store / "Sub" / "C.REC")
    viewer.close()


# --- received MMS ---

MMSIN_TITLE = "Received MMS Messages"
MMSIN_COUNT = "Received MMS Messages:  "
DETAILS_TITLE = "MMS Message Details"


def mms_header(sender, subject, contents=(), padding=0):
    text = "From: %s\r\nTo: +4400/TYPE=PLMN\r\n" % sender
    text += "".join("X-QelMMS-Content-Location: %s\r\n" % c for c in contents)
    text += "X-Pad: %s\r\n" % ("p" * padding) if padding else ""
    return text + "Subject: %s\r\n" % subject


def test_received_mms_viewer(rig, env):
    store = env.data / "MMS-IN"
    viewer = Viewer(rig, env, "received-mms", MMSIN_TITLE, refresh_ms=500)
    assert viewer.count_line() == MMSIN_COUNT + "None"

    put(store, "X.HDR", mms_header("+111/TYPE=PLMN", "Holiday"), 1)
    put(store, "X\\image.jpg", "jpeg")
    put(store, "LATE.HDR", mms_header("+222", "too late", padding=8200), 2)
    put(store, ".HDR", mms_header("+333", "nameless"), 3)
    put(store, "KEEP\\keep.txt", "stays")
    # "A..HDR" and "B .HDR" have folders Windows would read as "A" and "B": never deleted.
    put(store, "A.HDR", mms_header("+444", "a"), 4)
    put(store, "A\\a.txt", "of A.HDR")
    put(store, "A..HDR", mms_header("+555", "a dot"), 5)
    put(store, "A.\\b.txt", "of A..HDR")
    put(store, "B .HDR", mms_header("+666", "b blank"), 6)
    put(store, "B \\c.txt", "of B .HDR")
    rows = [
        ["B .HDR", "+666", "+4400", shown_time(6), "b blank"],
        ["A..HDR", "+555", "+4400", shown_time(5), "a dot"],
        ["A.HDR", "+444", "+4400", shown_time(4), "a"],
        [".HDR", "+333", "+4400", shown_time(3), "nameless"],
        ["LATE.HDR", "+222", "+4400", shown_time(2), ""],
        ["X.HDR", "+111", "+4400", shown_time(1), "Holiday"],
    ]
    viewer.wait_rows(rows)
    assert viewer.count_line() == MMSIN_COUNT + "6 messages"
    rig.header_click(viewer.list, 3)   # Receive Time: the default order reversed
    viewer.wait_rows(rows[::-1])

    viewer.select("X.HDR")
    viewer.delete_selected(store / "X.HDR", store / "X")
    # A header named ".HDR" goes; the store and everything else in it stay.
    viewer.select(".HDR")
    viewer.delete_selected(store / ".HDR")
    assert (store / "KEEP" / "keep.txt").read_text() == "stays"
    assert (store / "LATE.HDR").exists()
    for name in ("A..HDR", "B .HDR"):
        viewer.select(name)
        viewer.delete_selected(store / name)
    assert [(store / f).read_text() for f in ("A/a.txt", "A./b.txt", "B /c.txt")] == \
        ["of A.HDR", "of A..HDR", "of B .HDR"]
    viewer.wait_rows([rows[4], rows[2]])
    viewer.close()


# --- the MMS view dialog, in a prefix whose Notepad and .jpg handler only log ---

NOT_VIEWABLE = ("This content object was not opened: only pictures, sound, video, plain text and SMIL "
                "presentations are opened from here, and by its file name or its content type this object is "
                "none of these. Use a program of your choice to look at the file.")
OUTSIDE_STORE = ("This content object was not opened: its location in the message header points outside the "
                 "received MMS folder.")


def launch_rig(rig):
    """A rig on a prefix of its own whose NOTEPAD.EXE and "open" handler for .jpg are the
    logging stand-in; returns (rig, notepad log, open log)."""
    prefix = Path(str(rig.prefix) + "-launch")
    launch = Rig(rig.root, rig.win, prefix=prefix)
    windows = prefix / "drive_c" / "windows"
    logger = rig.testbin / "launch_logger.exe"
    shutil.copy2(str(logger), str(windows / "NOTEPAD.EXE"))
    shutil.copy2(str(logger), str(windows / "openlog.exe"))
    command = '"C:\\windows\\openlog.exe" "%1"'
    for args in (["HKCR\\.jpg", "/ve", "/d", "QelTest.jpg"],
                 ["HKCR\\QelTest.jpg\\shell\\open\\command", "/ve", "/d", command]):
        launch.wine(["reg", "add"] + args + ["/f"], check=True)
    logs = windows / "NOTEPAD.EXE.log", windows / "openlog.exe.log"
    for log in logs:
        if log.exists():
            log.unlink()
    return (launch,) + logs


def logged(log, timeout=10):
    wait_for(log.exists, timeout, what="%s written" % log.name, interval=0.2)
    return log.read_text().splitlines()


def test_views_open_notepad_the_open_handler_or_nothing(rig, env):
    store = env.data / "MMS-IN"
    header = mms_header("+111", "Pictures", [
        "M1\\image.jpg;image/jpeg;Name=beach.jpg",
        "M1\\note;text/plain",
        "M1\\remote.rdp;image/jpeg",
        "..\\..\\outside.jpg;image/jpeg",
    ])
    put(store, "M1.HDR", header)
    for name in ("image.jpg", "note", "remote.rdp"):
        put(store, "M1\\" + name, "object")
    put(env.data / "VASPQ", "V.MMS", "m")
    put(env.data / "VASPQ", "V.INI", control_file("+1", ["+2"]))
    launch, notepad_log, open_log = launch_rig(rig)
    try:
        env.rig = launch
        env.write_registry()

        # An outbound MMS is viewed as its control file.
        viewer = Viewer(launch, env, "outbound-mms", MMS_TITLE)
        viewer.select("V.MMS")
        launch.key(viewer.list, "RETURN")
        assert logged(notepad_log)[0].split("\t")[0] == 'NOTEPAD.EXE "%s"' % to_windows(env.data / "VASPQ" / "V.INI")
        viewer.close()
        notepad_log.unlink()

        viewer = Viewer(launch, env, "received-mms", MMSIN_TITLE)
        viewer.select("M1.HDR")
        launch.key(viewer.list, "RETURN")
        dialog = launch.find(DETAILS_TITLE, timeout=10)
        assert dialog, "Enter on a row did not open the MMS view dialog"
        assert launch.text(dialog, 102) == header
        contents = launch.control(dialog, 103)
        assert launch.box_items(contents) == [
            ("image.jpg (image/jpeg)\tM1\\image.jpg", True),
            ("note (text/plain)\tM1\\note", False),
            ("remote.rdp (image/jpeg)\tM1\\remote.rdp", False),
            ("outside.jpg (image/jpeg)\t..\\..\\outside.jpg", False),
        ]
        object_path = to_windows(store / "M1" / "image.jpg")
        launch.click(dialog, 105)
        line = logged(open_log)[0].split("\t")
        # The handler starts in the system folder, never in the folder the sender filled.
        assert object_path in line[0] and line[1].lower() == "c:\\windows\\system32"

        launch.box_select(contents, 1)
        launch.click(dialog, 105)
        line = logged(notepad_log)[0].split("\t")
        assert line[0] == 'NOTEPAD.EXE "%s"' % to_windows(store / "M1" / "note")

        for index, reason in ((2, NOT_VIEWABLE), (3, OUTSIDE_STORE)):
            launch.box_select(contents, index)
            launch.click(dialog, 105)
            box = launch.box(click="OK")
            assert (box.caption, box.icon, box.text) == (CAPTION, "warning", reason), box
        assert len(logged(open_log)) == 1 and len(logged(notepad_log)) == 1
        launch.click(dialog, 1)
        wait_for(lambda: not launch.find(DETAILS_TITLE, timeout=0.2), 5, what="the dialog closing")
        viewer.close()
    finally:
        env.rig = rig
        launch.close()
