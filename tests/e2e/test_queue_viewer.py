"""The outbound SMS queue viewer, opened on its own by viewer_host.exe and driven from outside:
what it lists and counts, its sorting, the selection across refreshes, deleting (also of a
file another process holds open) and viewing in Notepad.

Wine gives a file's modification time as its creation time, so the tests set the submit time
of a request with os.utime.
"""

import os
import time

from harness import wait_for
from program import CAPTION

TITLE = "Outbound SMS Queue"
COUNT_TITLE = "Outbound SMS Message Queue:  "
LIST_ID = 101
COUNT_ID = 102
BASE_TIME = 1700000000  # submit times are BASE_TIME + minutes


def request(phone="+4412345", user="admin", data="Hello", retries=None, error=None,
            detail_first=False):
    """The bytes of a request file, with an [ErrorDetail] section when retries is given."""
    sms = "[SMS]\r\n"
    if phone is not None:
        sms += "PhoneNumber=%s\r\n" % phone
    sms += "SubmitUser=%s\r\nData=%s\r\n" % (user, data)
    detail = ""
    if retries is not None:
        detail = "[ErrorDetail]\r\nRetryCount=%d\r\n" % retries
        if error is not None:
            detail += "LastErrorInfo=%s\r\n" % error
    return (detail + sms if detail_first else sms + detail).encode("ascii")


def put(env, key, minute, **fields):
    """Writes the request with this key (NAME.REQ or SUB\\NAME.REQ) into the queue, submitted
    BASE_TIME + minute minutes; returns its path."""
    path = env.data.joinpath("Q", *key.split("\\"))
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(request(**fields))
    stamp = BASE_TIME + 60 * minute
    os.utime(str(path), (stamp, stamp))
    return path


def shown_time(minute):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(BASE_TIME + 60 * minute))


class Viewer:
    """viewer_host.exe showing the outbound SMS queue of the test's installation."""

    def __init__(self, rig, env, refresh_ms=None, settle_ms=None, delete_wait_ms=None, twice=False):
        self.rig = rig
        args = [str(rig.testbin / "viewer_host.exe")] + (["--twice"] if twice else [])
        for name, value in (("--refresh-ms", refresh_ms), ("--settle-ms", settle_ms),
                            ("--delete-wait-ms", delete_wait_ms)):
            if value is not None:
                args += [name, str(value)]
        self.proc = rig.wine_start(args + ["outbound-sms"], cwd=str(env.install))
        self.hwnd = rig.find(TITLE, timeout=30)
        assert self.hwnd, "the viewer window did not open"
        self.list = rig.control(self.hwnd, LIST_ID)

    def reopen(self):
        """Closes the window; with twice the host opens it again: its second opening."""
        closed = self.hwnd
        self.rig.close_window(closed)
        wait_for(lambda: self.rig.find(TITLE, timeout=1) not in (None, closed), 20, what="the viewer reopened")
        self.hwnd = self.rig.find(TITLE, timeout=5)
        self.list = self.rig.control(self.hwnd, LIST_ID)

    def count_line(self):
        return self.rig.text(self.hwnd, COUNT_ID)

    def rows(self):
        return self.rig.list_cells(self.list)

    def ids(self):
        return [row[0] for row in self.rows()]

    def selected_ids(self):
        ids = self.ids()
        return [ids[i] for i in self.rig.list_selected(self.list) if i < len(ids)]

    def select(self, *ids, check=True):
        """Selects these rows. With a short refresh timer a refresh may come at once and
        move them: such tests pass check=False and wait for what they expect."""
        current = self.ids()
        self.rig.list_select(self.list, [current.index(i) for i in ids])
        if check:
            assert self.selected_ids() == list(ids)

    def wait_ids(self, expected, selected=None, timeout=5):
        """Waits until the ID column reads expected (and, when given, the selected rows'
        IDs read selected); returns the IDs last read, and the selected IDs when asked."""
        seen = []

        def done():
            ids = self.ids()
            chosen = [ids[i] for i in self.rig.list_selected(self.list) if i < len(ids)]
            if self.ids() != ids:
                return False   # a refresh came between the two readings
            seen[:] = [ids, chosen]
            return ids == expected and (selected is None or chosen == selected)
        try:
            wait_for(done, timeout, what="the list reading %s" % (expected,), interval=0.1)
        except AssertionError as error:
            raise AssertionError("%s; last read %s" % (error, seen))
        return seen[0] if selected is None else tuple(seen)


def ask_delete(viewer, click):
    viewer.rig.key(viewer.list, "DELETE")
    return viewer.rig.box(click=click)


# --- what is listed and counted ---

def test_count_line_follows_the_queue(rig, env):
    viewer = Viewer(rig, env, refresh_ms=500, settle_ms=0)
    assert viewer.count_line() == COUNT_TITLE + "Empty"
    assert viewer.rows() == []
    put(env, "ONE.REQ", 1)
    wait_for(lambda: viewer.count_line() == COUNT_TITLE + "1 message", 5, what="counting one")
    put(env, "TWO.REQ", 2)
    wait_for(lambda: viewer.count_line() == COUNT_TITLE + "2 messages", 5, what="counting two")
    assert viewer.wait_ids(["ONE.REQ", "TWO.REQ"]) == ["ONE.REQ", "TWO.REQ"]


def test_rows_show_request_fields_and_retry_state(rig, env):
    put(env, "QUEUED.REQ", 1, phone="+4411111", user="alice")
    put(env, "RETRY3.REQ", 2, phone="+4422222", user="bob", retries=3,
        error="Modem not responding")
    put(env, "RETRY12.REQ", 3, phone="+4433333", user="carol", retries=12, detail_first=True)
    put(env, "NOPHONE.REQ", 4, phone=None)           # counted, not listed
    put(env, "Q1\\SUBQ.REQ", 5, phone="+4444444", user="dave")
    put(env, "Q1\\DEEP\\DEEPER.REQ", 6)              # below a sub-queue: not seen at all
    put(env, "OTHER.TXT", 7)                         # not a request
    viewer = Viewer(rig, env)
    assert viewer.rows() == [
        ["QUEUED.REQ", "alice", "+4411111", shown_time(1), "Queued"],
        ["RETRY3.REQ", "bob", "+4422222", shown_time(2),
         "Retry -  3 attempt(s) - Modem not responding"],
        ["RETRY12.REQ", "carol", "+4433333", shown_time(3), "Retry - 12 attempt(s)"],
        ["SUBQ.REQ", "dave", "+4444444", shown_time(5), "Queued"],
    ]
    assert viewer.count_line() == COUNT_TITLE + "5 messages"
    rig.key(viewer.list, "ESCAPE")
    assert viewer.proc.wait(timeout=10) == 0, "Escape (Cancel) closes with 0"


def test_six_thousand_requests_give_five_thousand_rows(rig, env):
    queue = env.data / "Q"
    queue.mkdir()
    body = request()
    for n in range(6000):
        (queue / ("M%05d.REQ" % n)).write_bytes(body)
    viewer = Viewer(rig, env)
    assert viewer.count_line() == COUNT_TITLE + "6000 messages"
    assert rig.list_rows(viewer.list) == 5000
    first = rig.list_cells(viewer.list, max_rows=1)[0]
    assert first[1:3] == ["admin", "+4412345"] and first[4] == "Queued"


# --- sorting ---

def test_column_clicks_sort_and_reverse_keeping_the_selection(rig, env):
    put(env, "B.REQ", 1, phone="+443")
    put(env, "C.REQ", 2, phone="+441")
    put(env, "A.REQ", 3, phone="+444")
    put(env, "D.REQ", 4, phone="+442")
    viewer = Viewer(rig, env)
    by_time = ["B.REQ", "C.REQ", "A.REQ", "D.REQ"]
    assert viewer.ids() == by_time, "opened oldest first"
    assert [row[3] for row in viewer.rows()] == [shown_time(m) for m in (1, 2, 3, 4)]

    viewer.select("A.REQ")
    rig.header_click(viewer.list, 3)   # Submit Time, already the order: newest first
    assert viewer.wait_ids(by_time[::-1]) == by_time[::-1]
    assert viewer.selected_ids() == ["A.REQ"]

    rig.header_click(viewer.list, 2)   # Recipient: ascending
    by_recipient = ["C.REQ", "D.REQ", "B.REQ", "A.REQ"]
    assert viewer.wait_ids(by_recipient) == by_recipient
    assert viewer.selected_ids() == ["A.REQ"]

    rig.header_click(viewer.list, 2)   # Recipient again: descending
    assert viewer.wait_ids(by_recipient[::-1]) == by_recipient[::-1]
    assert viewer.selected_ids() == ["A.REQ"]

    rig.header_click(viewer.list, 0)   # ID: ascending
    assert viewer.wait_ids(sorted(by_time)) == sorted(by_time)


def test_a_reopened_viewer_takes_the_kept_order_at_its_first_refresh(rig, env):
    put(env, "B.REQ", 1, phone="+443")
    put(env, "C.REQ", 2, phone="+441")
    viewer = Viewer(rig, env, refresh_ms=6000, twice=True)
    rig.header_click(viewer.list, 2)   # Recipient
    assert viewer.wait_ids(["C.REQ", "B.REQ"]) == ["C.REQ", "B.REQ"]
    viewer.reopen()
    assert viewer.ids() == ["B.REQ", "C.REQ"], "an opening shows the default order"
    # Nothing changes on disk: the first refresh still sorts by the kept column.
    assert viewer.wait_ids(["C.REQ", "B.REQ"], timeout=20) == ["C.REQ", "B.REQ"]


def test_typing_in_the_list_leaves_the_selection(rig, env):
    for minute, name in enumerate(["B.REQ", "A.REQ", "C.REQ"]):
        put(env, name, minute)
    viewer = Viewer(rig, env)
    viewer.select("C.REQ")
    for letter in ("A", "B", "Z"):
        rig.key(viewer.list, letter)
        time.sleep(0.3)
        assert viewer.selected_ids() == ["C.REQ"], "typing %s moved the selection" % letter


# --- refreshes ---

def test_refresh_keeps_the_selected_request_until_it_is_gone(rig, env):
    put(env, "B.REQ", 10)
    doomed = put(env, "C.REQ", 20)
    viewer = Viewer(rig, env, refresh_ms=1000, settle_ms=0)
    viewer.select("C.REQ", check=False)
    assert viewer.wait_ids(["B.REQ", "C.REQ"], ["C.REQ"]) == (["B.REQ", "C.REQ"], ["C.REQ"])
    put(env, "A0.REQ", 1)
    put(env, "A1.REQ", 2)
    expected = ["A0.REQ", "A1.REQ", "B.REQ", "C.REQ"]
    assert viewer.wait_ids(expected, ["C.REQ"]) == (expected, ["C.REQ"])
    assert rig.list_selected(viewer.list) == [3]
    assert viewer.count_line() == COUNT_TITLE + "4 messages"

    doomed.unlink()
    expected = ["A0.REQ", "A1.REQ", "B.REQ"]
    assert viewer.wait_ids(expected, []) == (expected, [])
    assert viewer.count_line() == COUNT_TITLE + "3 messages"


def test_refresh_leaves_a_multiple_selection_alone(rig, env):
    put(env, "B.REQ", 10)
    put(env, "C.REQ", 20)
    viewer = Viewer(rig, env, refresh_ms=500, settle_ms=0)
    viewer.select("B.REQ", "C.REQ")
    put(env, "A.REQ", 1)
    time.sleep(2.5)  # several ticks
    # The tick gives up before reading the queue: rows, selection and count all stay.
    assert viewer.ids() == ["B.REQ", "C.REQ"]
    assert viewer.selected_ids() == ["B.REQ", "C.REQ"]
    assert viewer.count_line() == COUNT_TITLE + "2 messages"

    viewer.select("C.REQ", check=False)
    expected = ["A.REQ", "B.REQ", "C.REQ"]
    assert viewer.wait_ids(expected, ["C.REQ"]) == (expected, ["C.REQ"])
    assert viewer.count_line() == COUNT_TITLE + "3 messages"


# --- deleting ---

def test_delete_asks_first_and_removes_the_selected_requests(rig, env):
    paths = {name: put(env, name, minute)
             for minute, name in enumerate(["A.REQ", "B.REQ", "C.REQ", "D.REQ", "E.REQ"])}
    viewer = Viewer(rig, env)
    viewer.select("A.REQ", "C.REQ", "D.REQ")

    box = ask_delete(viewer, "No")
    assert (box.caption, box.text, box.buttons, box.icon) == \
        (CAPTION, "Delete 3 messages?", ["Yes", "No"], "question")
    rig.nobox(within=0.5)
    assert viewer.ids() == ["A.REQ", "B.REQ", "C.REQ", "D.REQ", "E.REQ"]
    assert all(path.exists() for path in paths.values())

    box = ask_delete(viewer, "Yes")
    assert box.text == "Delete 3 messages?"
    assert viewer.wait_ids(["B.REQ", "E.REQ"]) == ["B.REQ", "E.REQ"]
    assert sorted(name for name, path in paths.items() if path.exists()) == ["B.REQ", "E.REQ"]
    assert rig.list_selected(viewer.list) == []
    # The total is read again only by the next refresh, a minute away.
    assert viewer.count_line() == COUNT_TITLE + "5 messages"

    viewer.select("E.REQ")
    box = ask_delete(viewer, "Yes")
    assert (box.caption, box.text, box.buttons, box.icon) == \
        (CAPTION, "Delete Message?", ["Yes", "No"], "question")
    assert viewer.wait_ids(["B.REQ"]) == ["B.REQ"]
    assert not paths["E.REQ"].exists() and paths["B.REQ"].exists()


def test_delete_of_a_request_held_open_finishes_after_release(rig, env):
    held = put(env, "HELD.REQ", 1)
    put(env, "FREE.REQ", 2)
    viewer = Viewer(rig, env, delete_wait_ms=0)
    holder = rig.hold_file(held, ms=3000)
    viewer.select("HELD.REQ")
    ask_delete(viewer, "Yes")
    assert viewer.wait_ids(["FREE.REQ"], timeout=2) == ["FREE.REQ"], "left the list at once"
    assert held.exists(), "deleted although another process holds it without delete sharing"

    holder.wait(timeout=15)
    wait_for(lambda: not held.exists(), 8, what="deleting it after its release", interval=0.1)


# --- viewing ---

def notepad_shows(rig, name):
    """The text a Notepad window on the file name shows, or None when there is none."""
    for window in rig.windows():
        if name in window.title and window.title.endswith("Notepad"):
            edits = [c for c in rig.children(window.hwnd) if c.cls.lower() == "edit"]
            if edits and edits[0].text:
                return edits[0].text
    return None


def notepad_text(rig, name, timeout=10):
    """The text Notepad shows for the file name, once a Notepad window on it is open."""
    return wait_for(lambda: notepad_shows(rig, name), timeout,
                    what="Notepad showing %s" % name, interval=0.2)


def test_enter_and_double_click_open_the_request_in_notepad(rig, env):
    put(env, "FIRST.REQ", 1, phone="+441")
    put(env, "Q2\\SECOND.REQ", 2, phone="+442")
    viewer = Viewer(rig, env)
    try:
        viewer.select("FIRST.REQ")
        rig.key(viewer.list, "RETURN")
        text = notepad_text(rig, "FIRST.REQ")
        assert text and "PhoneNumber=+441" in text, "no Notepad on FIRST.REQ: %r" % text
        assert rig.find(TITLE, timeout=1), "Enter in the list closed the viewer"
        rig.kill_image("notepad.exe")

        # The request in the sub-queue opens by its whole path.
        rig.dblclick(viewer.list, viewer.ids().index("SECOND.REQ"))
        text = notepad_text(rig, "SECOND.REQ")
        assert text and "PhoneNumber=+442" in text, "no Notepad on Q2\\SECOND.REQ: %r" % text
        assert viewer.selected_ids() == ["SECOND.REQ"]
        rig.kill_image("notepad.exe")

        # Enter outside the list is the OK button: it closes with 1 and views nothing.
        rig.key(rig.control(viewer.hwnd, 1), "RETURN")
        assert viewer.proc.wait(timeout=10) == 1
        assert rig.nobox(within=1.0) and notepad_shows(rig, ".REQ") is None
    finally:
        rig.kill_image("notepad.exe")
