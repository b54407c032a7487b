"""The main window driven from outside: its tabs, caption, Help button, the cancel question,
the unsaved-changes query, the system menu's Minimize item, the Debug Logs page and the
service question after it closes."""

from harness import wait_for
from program import (CAPTION, DEBUG_LOGS_TAB, EXIT_QUESTION, HELP_DOCUMENT, ID_APPLY, IDCANCEL,
                     IDHELP, IDOK, MAIN_TABS, SERVER_TAB, SERVICE_QUESTION,
                     UNSAVED_CHANGES_QUERY, close_unchanged, configure_modem, controls,
                     end_program, is_checked, open_main_window, select_page, service_states,
                     services_are, sheet_button, window_gone, write_ini)

# Debug Logs page: check box, View button, INI file, section, log file.
DEBUG_ROWS = [(113, 151, "SMSGW.INI", "SMSGW", "SMSDEBUG.LOG"),
              (114, 152, "MMSC.INI", "MMSC", "MMSCDEBUG.LOG"),
              (115, 153, "MMSWAP.INI", "MMSWAP", "MMSWAPDEBUG.LOG")]


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
    # Yes closes the window without saving.
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="Yes").text == EXIT_QUESTION
    wait_for(lambda: window_gone(rig, sheet), what="closing the main window")
    end_program(rig, program)
    assert env.ini("SMSGW.INI")["SMSGW"]["WebPort"] == "8800", "Cancel saved the change"


def test_debug_logs_page_answers_the_unsaved_changes_query(rig, env):
    configure_modem(env)
    program, sheet = open_main_window(rig, env)
    page = select_page(rig, sheet, DEBUG_LOGS_TAB)
    other_code = UNSAVED_CHANGES_QUERY - 1
    assert rig.sheet_query(sheet, UNSAVED_CHANGES_QUERY) == 0, "unsaved changes before any"
    assert rig.sheet_query(sheet, other_code) == 0
    rig.click(page, id=DEBUG_ROWS[0][0])
    wait_for(lambda: rig.sheet_query(sheet, UNSAVED_CHANGES_QUERY) != 0,
             what="the page answering the query with its change")
    assert rig.sheet_query(sheet, other_code) == 0, "a code of no query was answered"
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="Yes").text == EXIT_QUESTION
    end_program(rig, program)


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
    write_ini(env.data / "MMSC.INI", "[MMSC]\nDebug=No\n")
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


def test_ok_then_yes_to_the_service_question_installs_and_starts_both(rig, env):
    configure_modem(env)
    assert service_states(rig) == ("missing", "missing")
    program, sheet = open_main_window(rig, env)
    rig.click(sheet, id=IDOK)
    box = rig.box(timeout=10, click="Yes")
    assert (box.text, box.buttons) == (SERVICE_QUESTION, ["Yes", "No"]), box
    assert program.wait(30) == 0
    services_are(rig, "running")
