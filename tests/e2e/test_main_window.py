"""The main window driven from outside: its tabs, caption, Help button, the cancel question,
the system menu's Minimize item and the Debug Logs page. The helpers here are shared with
test_server_page.py and test_wizard.py."""

import time

CAPTION = "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)"
MAIN_TABS = ["Status", "Modem", "Server", "Users", "2-Way", "E-Mail", "Test Message",
             "Debug Logs"]
STATUS_TAB, SERVER_TAB, DEBUG_LOGS_TAB = 0, 2, 7
HELP_DOCUMENT = "QelSMS Lite.pdf"
EXIT_QUESTION = "Exit without saving configuration changes?"
SERVICE_QUESTION = "Service is not active, do you wish to activate the service?"

# Sheet buttons (the platform's control ids).
IDOK, IDCANCEL, IDHELP = 1, 2, 9
ID_APPLY, ID_BACK, ID_NEXT, ID_FINISH = 0x3021, 0x3023, 0x3024, 0x3025

# Debug Logs page: check box, View button, INI file, section, log file.
DEBUG_ROWS = [(113, 151, "SMSGW.INI", "SMSGW", "SMSDEBUG.LOG"),
              (114, 152, "MMSC.INI", "MMSC", "MMSCDEBUG.LOG"),
              (115, 153, "MMSWAP.INI", "MMSWAP", "MMSWAPDEBUG.LOG")]


def wait_for(condition, timeout=5.0, what="the condition"):
    """Polls condition() until it gives a true value; returns that value or fails."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("%s did not happen within %s s" % (what, timeout))
        time.sleep(0.1)


def write_ini(env, name, text):
    (env.data / name).write_bytes(text.replace("\n", "\r\n").encode("ascii"))


def configure_modem(env, extra=""):
    """A configured modem: the program opens the main window, not the wizard."""
    write_ini(env, "SMSGW.INI", "[SMSGW]\nModem1=COM1\n" + extra)


def open_main_window(rig, env):
    """Starts the program on a configured installation; (process, sheet hwnd)."""
    program = env.start()
    sheet = rig.find(CAPTION, timeout=20)
    assert sheet, "the main window did not open: %s" % (rig.windows(),)
    return program, sheet


def controls(rig, hwnd):
    """The descendants of a window by control id (a page's controls, or the sheet's)."""
    return {c.id: c for c in rig.children(hwnd)}


def sheet_button(rig, sheet, id):
    """A button of the sheet itself (not of a page), or None."""
    for c in rig.children(sheet):
        if c.id == id and c.parent == sheet:
            return c
    return None


def select_page(rig, sheet, index):
    rc, out = rig.qauto("sheet-select", "--hwnd", sheet, "--index", index)
    assert rc == 0, "tab %d was not shown" % index
    return out.strip()


def is_checked(rig, hwnd, id):
    rc, out = rig.qauto("checked", "--hwnd", hwnd, "--id", id)
    assert rc == 0, "no check box %d" % id
    return out.strip() == "checked"


def window_gone(rig, hwnd):
    return rig.qauto("state", "--hwnd", hwnd)[0] != 0


def end_program(rig, program):
    """After the main window has closed with a modem configured and the services not
    running: declines the service question and waits for the program to end with 0."""
    box = rig.box(timeout=10, click="No")
    assert (box.text, box.buttons, box.icon) == (SERVICE_QUESTION, ["Yes", "No"], "question"), box
    assert program.wait(20) == 0


def close_unchanged(rig, program, sheet):
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_tabs_caption_and_help_button(rig, env):
    configure_modem(env)
    assert (env.install / HELP_DOCUMENT).exists(), "the build did not stage the help document"
    program, sheet = open_main_window(rig, env)
    rc, out = rig.qauto("sheet-tabs", "--hwnd", sheet)
    assert rc == 0 and out.splitlines() == MAIN_TABS, out
    assert rig.text(sheet) == CAPTION
    help_button = sheet_button(rig, sheet, IDHELP)
    assert help_button and help_button.visible and help_button.text == "Help", help_button
    close_unchanged(rig, program, sheet)

    # Without the document in the program folder there is no Help button.
    (env.install / HELP_DOCUMENT).unlink()
    program, sheet = open_main_window(rig, env)
    help_button = sheet_button(rig, sheet, IDHELP)
    assert help_button is None or not help_button.visible, help_button
    close_unchanged(rig, program, sheet)


def test_cancel_asks_only_when_something_changed(rig, env):
    configure_modem(env, "WebPort=8800\n")
    # Nothing changed: the window closes at once; the only question is the service one.
    program, sheet = open_main_window(rig, env)
    select_page(rig, sheet, SERVER_TAB)
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)

    program, sheet = open_main_window(rig, env)
    page = select_page(rig, sheet, SERVER_TAB)
    rig.settext(page, 104, "8801")
    # On the changed page: No and Cancel both keep the window open.
    for answer in ("No", "Cancel"):
        rig.click(sheet, id=IDCANCEL)
        box = rig.box(click=answer)
        assert (box.text, box.buttons, box.icon) == (
            EXIT_QUESTION, ["Yes", "No", "Cancel"], "question"), box
        assert rig.nobox(within=0.3) and not window_gone(rig, sheet)
    # The other pages learn of the change through the unsaved-changes query.
    select_page(rig, sheet, DEBUG_LOGS_TAB)
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="No").text == EXIT_QUESTION
    select_page(rig, sheet, STATUS_TAB)
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="Yes").text == EXIT_QUESTION
    wait_for(lambda: window_gone(rig, sheet), what="closing the main window")
    end_program(rig, program)
    assert env.ini("SMSGW.INI")["SMSGW"]["WebPort"] == "8800", "Cancel saved the change"


def test_system_menu_ends_with_minimize(rig, env):
    configure_modem(env)
    program, sheet = open_main_window(rig, env)
    rc, out = rig.qauto("sysmenu", "--hwnd", sheet)
    assert rc == 0, "the system menu could not be read"
    last_id, _, last_text = out.splitlines()[-1].partition("\t")
    assert (int(last_id), last_text) == (0xF020, "Minimize"), out  # SC_MINIMIZE
    assert rig.qauto("syscommand", "--hwnd", sheet, "--command", "minimize")[0] == 0
    assert "iconic: yes" in rig.qauto("state", "--hwnd", sheet)[1]
    assert rig.qauto("syscommand", "--hwnd", sheet, "--command", "restore")[0] == 0
    close_unchanged(rig, program, sheet)


def test_debug_logs_switches_and_viewers(rig, env):
    configure_modem(env, "Debug=yes\n")           # lower case still reads as true
    write_ini(env, "MMSC.INI", "[MMSC]\nDebug=No\n")
    program, sheet = open_main_window(rig, env)
    page = select_page(rig, sheet, DEBUG_LOGS_TAB)
    assert [is_checked(rig, page, row[0]) for row in DEBUG_ROWS] == [True, False, False]
    shown = controls(rig, page)
    assert [shown[row[1]].enabled for row in DEBUG_ROWS] == [False, False, False]

    # A log that appears makes its View button usable at the next refresh (every 5 s).
    (env.data / "MMSCDEBUG.LOG").write_text("log\r\n")
    wait_for(lambda: controls(rig, page)[152].enabled, timeout=7, what="enabling View (MMSC)")
    shown = controls(rig, page)
    assert not shown[151].enabled and not shown[153].enabled

    rig.click(page, id=113)                        # clear the SMS gateway's log
    rig.click(page, id=115)                        # switch the GPRS log on
    rig.click(sheet, id=IDCANCEL)                  # a change on this page alone asks too
    assert rig.box(click="No").text == EXIT_QUESTION
    rig.click(sheet, id=ID_APPLY)
    wait_for(lambda: "Debug" not in env.ini("SMSGW.INI")["SMSGW"], what="deleting Debug")
    assert env.ini("SMSGW.INI")["SMSGW"]["Modem1"] == "COM1"
    assert "Debug" not in env.ini("MMSC.INI")["MMSC"]
    assert env.ini("MMSWAP.INI")["MMSWAP"]["Debug"] == "Yes"
    rig.click(sheet, id=IDOK)
    end_program(rig, program)
