"""The Status page over the stand-in services: the service line (and its red text read back
from the screen), queue sizes with "Empty" and the alert colour, modem error lines, the
traffic counters, the service switch and buttons."""

import datetime
import os
import struct

from harness import to_windows, wait_for
from test_queue_viewer import notepad_text
from program import (EXIT_QUESTION, IDCANCEL, MAIN_TABS, configure_modem, controls, end_program, is_checked,
                     open_main_window, select_page, services_are)

STATUS_TAB, EMAIL_TAB, EMAIL_SMS_PER_EMAIL = MAIN_TABS.index("Status"), MAIN_TABS.index("E-Mail"), 122
SAVE_QUESTION = "Save configuration changes?"
SMS_QUEUE_LABEL, SMS_QUEUE, MODEM_LINE, SERVICE_LINE = 101, 102, 105, 107
MMS_QUEUE_LABEL, MMS_QUEUE = 174, 175
RUN_AS_SERVICE, START, STOP = 171, 172, 173
SENT_TODAY, SENT_LAST7, SENT_LAST30 = 114, 115, 116
PROCESSED_TODAY = 130
RED = "FF0000"


def status_page(rig, env):
    program, sheet = open_main_window(rig, env)
    return program, sheet, select_page(rig, sheet, STATUS_TAB)


def shows(rig, page, id, text, timeout=15):
    wait_for(lambda: controls(rig, page)[id].text == text, timeout=timeout,
             what="control %d showing %r (shows %r)" % (id, text, controls(rig, page)[id].text))


def red_pixels(rig, page, id):
    rc, out = rig.qauto("colour-count", "--hwnd", page, "--id", id, "--rgb", RED)
    assert rc == 0, out
    return int(out.strip())


def counter_file(env, name, year, counts):
    """A counter file with counts {day of year: count}."""
    entries = [0] * 366
    for day, count in counts.items():
        entries[day - 1] = count
    stats = env.private / "STATS"
    stats.mkdir(exist_ok=True)
    (stats / ("%s-%d.CTR" % (name, year))).write_bytes(struct.pack("<366I", *entries))


def test_status_over_running_services(rig, env):
    configure_modem(env, "Modem2=COM2:\nAlertEMailQueueSize=2\n")
    (env.data / "Q" / "SUB").mkdir(parents=True)
    # Counted as the viewer counts (the same walk): by each file's own name, in folders
    # reached by a name that finds them.
    (env.data / "Q" / "x.").mkdir()
    for key in ("A.REQ", "B.REQ", "SUB\\C.REQ", "A.REQX", "x.\\D.REQ"):
        (env.data / "Q").joinpath(*key.split("\\")).write_text("[SMS]\r\n")
    vasp = env.data / "VASPQ"
    vasp.mkdir()
    (vasp / "M1.MMS").write_bytes(b"x")
    (vasp / "M1.INI").write_text("[Routing]\r\n")
    (vasp / "M2.MMS").write_bytes(b"x")              # no control file: not counted
    (env.private / "COM2-.ERR").write_text("No network")
    today = datetime.date.today()
    day = today.timetuple().tm_yday
    counter_file(env, "SMSSENT", today.year, {day: 5, max(day - 3, 1): 2 if day > 3 else 0})
    counter_file(env, "MMSIN-VASP", today.year, {day: 1})
    counter_file(env, "MMSIN-USER", today.year, {day: 2})

    program, sheet, page = status_page(rig, env)
    shows(rig, page, SERVICE_LINE, "Service is NOT Installed")
    shows(rig, page, MODEM_LINE, "Service is NOT active")
    assert not is_checked(rig, page, RUN_AS_SERVICE)
    assert not controls(rig, page)[START].enabled and not controls(rig, page)[STOP].enabled
    shows(rig, page, SMS_QUEUE, "4")  # A.REQX is no request; x.\D.REQ is one
    shows(rig, page, MMS_QUEUE, "1")
    # Above the threshold of 2 the SMS queue is red; the MMS queue is not.
    wait_for(lambda: red_pixels(rig, page, SMS_QUEUE) > 0 and red_pixels(rig, page, SMS_QUEUE_LABEL) > 0,
             what="the SMS queue in red")
    assert red_pixels(rig, page, MMS_QUEUE) == 0
    shows(rig, page, SENT_TODAY, "5")
    shows(rig, page, SENT_LAST7, "7" if day > 3 else "5")
    # Rewritten in place with its size and write time kept, the file still shows its new count.
    sent = env.private / "STATS" / ("SMSSENT-%d.CTR" % today.year)
    stamp = sent.stat()
    counter_file(env, "SMSSENT", today.year, {day: 9})
    os.utime(sent, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
    shows(rig, page, SENT_TODAY, "9")
    shows(rig, page, PROCESSED_TODAY, "3")
    assert controls(rig, page)[118].text == ""   # SMS Received today: no counter file

    # "Run as a service" installs and starts both services, asking first about a change
    # left unsaved on another page.
    rig.settext(select_page(rig, sheet, EMAIL_TAB), EMAIL_SMS_PER_EMAIL, "3")
    select_page(rig, sheet, STATUS_TAB)
    rig.click(page, id=RUN_AS_SERVICE)
    assert rig.box(click="No").text == SAVE_QUESTION
    services_are(rig, "running")
    shows(rig, page, SERVICE_LINE, "Service is Active")
    assert red_pixels(rig, page, SERVICE_LINE) == 0
    shows(rig, page, MODEM_LINE, "COM2: : No network\r\n")
    assert red_pixels(rig, page, MODEM_LINE) > 0
    wait_for(lambda: controls(rig, page)[STOP].enabled and not controls(rig, page)[START].enabled,
             what="Stop enabled")

    # A taken web port is reported, and the MMSC's state is then not shown.
    rig.setbyte("QEL_SMSGW_ShMem", 2, 1)
    shows(rig, page, SERVICE_LINE, "ERROR:  Web Port already in use")
    wait_for(lambda: red_pixels(rig, page, SERVICE_LINE) > 0, what="the service line in red")
    rig.setbyte("QEL_SMSGW_ShMem", 2, 0)
    rig.setbyte("QEL_MMSC_ShMem", 4, 1)
    shows(rig, page, SERVICE_LINE, "ERROR:  SMPP Port already in use")
    rig.setbyte("QEL_MMSC_ShMem", 4, 0)

    rig.click(page, id=STOP)
    services_are(rig, "stopped")
    shows(rig, page, SERVICE_LINE, "Service is NOT Active")
    rig.click(page, id=START)
    assert rig.box(click="No").text == SAVE_QUESTION
    services_are(rig, "running")

    # Removing asks first; No leaves the services installed and the box checked again.
    rig.click(page, id=RUN_AS_SERVICE)
    box = rig.box(click="No")
    assert (box.text, box.caption, box.buttons, box.icon) == (
        "Are you sure?", "Remove Service", ["Yes", "No", "Cancel"], "question"), box
    wait_for(lambda: is_checked(rig, page, RUN_AS_SERVICE), what="the box checked again")
    services_are(rig, "running")
    rig.click(page, id=STOP)
    services_are(rig, "stopped")
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="Yes").text == EXIT_QUESTION
    end_program(rig, program)


def test_log_files_in_notepad_and_the_event_log(rig, env):
    logs = env.data / "LOGS"
    logs.mkdir()
    (logs / "SMSOUT-20261207.LOG").write_text("12:00:00,TEST1A2B,+4412345,admin,OK,COM1\r\n")
    configure_modem(env, "LogDirectory=%s\n" % to_windows(logs))
    program, sheet, page = status_page(rig, env)
    rig.click(page, id=163)
    dialog = rig.find("Open", timeout=10)
    assert dialog, rig.windows()
    # The filters' first entry is chosen and the folder is the configured one.
    combos = {c.id: c.text for c in rig.children(dialog) if c.cls == "ComboBox"}
    assert (combos[1136], combos[1137]) == ("QelSMS Log Files", "LOGS"), combos
    rig.settext(dialog, 1148, "SMSOUT-20261207.LOG")
    rig.click(dialog, text="&Open")
    assert notepad_text(rig, "SMSOUT-20261207.LOG").startswith("12:00:00,TEST1A2B")
    rig.kill_image("notepad.exe")
    rig.click(page, id=164)
    events = rig.find("Event Log", timeout=10)
    assert events, rig.windows()
    rig.click(events, id=1)
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_view_buttons_open_their_viewers(rig, env):
    configure_modem(env)
    program, sheet, page = status_page(rig, env)
    for button, title in ((145, "Outbound SMS Queue"), (176, "Outbound MMS Queue"),
                          (103, "Received SMS Messages"), (104, "Received MMS Messages")):
        rig.click(page, id=button)
        viewer = rig.find(title, timeout=10)
        assert viewer, "%s did not open: %s" % (title, rig.windows())
        rig.click(viewer, id=1)
        wait_for(lambda: not rig.find(title, timeout=0.2), what="%s closed" % title)
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)
