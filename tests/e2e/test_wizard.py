"""The setup wizard driven from outside: its pages in order, the Server Settings page's Next
(ports stored, services installed and started), the Configuration Complete choices, and
Cancel ending the program."""

from test_main_window import (CAPTION, ID_BACK, ID_FINISH, ID_NEXT, IDCANCEL,
                              sheet_button, wait_for, window_gone)

PREFIX = "QelSMS Lite Setup Wizard:  "
WIZARD_PAGES = ["Select Modem", "Modem Settings", "Server Settings", "Configuration Complete",
                "Send Test Message"]
COMPLETE_YES, COMPLETE_NO = 103, 104


def start_wizard(rig, env):
    program = env.start()
    sheet = rig.find(PREFIX + WIZARD_PAGES[0], timeout=20)
    assert sheet, "the wizard did not open: %s" % (rig.windows(),)
    return program, sheet


def buttons(rig, sheet):
    """The wizard buttons a person can press: {name: usable}."""
    names = {ID_BACK: "Back", ID_NEXT: "Next", ID_FINISH: "Finish"}
    shown = {}
    for id, name in names.items():
        c = sheet_button(rig, sheet, id)
        shown[name] = bool(c and c.visible and c.enabled)
    return shown


def next_page(rig, sheet, title, timeout=10):
    rig.click(sheet, id=ID_NEXT)
    wait_for(lambda: rig.text(sheet) == PREFIX + title, timeout=timeout,
             what="reaching the page %s" % title)


def through_server_settings(rig, env, sheet, web_port):
    """From the first page to Configuration Complete; Next on Server Settings stores the
    port and installs and starts both services before the next page shows."""
    next_page(rig, sheet, "Modem Settings")
    next_page(rig, sheet, "Server Settings")
    page = rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()
    rig.settext(page, 104, web_port)
    next_page(rig, sheet, "Configuration Complete", timeout=60)
    assert [rig.service(s)["state"] for s in ("QelSMS", "QelMMSC")] == ["running", "running"]
    assert env.ini("SMSGW.INI")["SMSGW"]["WebPort"] == web_port
    return rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()


def main_window_follows(rig, program):
    """The wizard ended: the main window opens; with the services running it closes
    without a question."""
    sheet = rig.find(CAPTION, timeout=20)
    assert sheet, "no main window after the wizard: %s" % (rig.windows(),)
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
    assert rig.nobox(within=0.3)


def test_pages_in_order_and_finish_with_no(rig, env):
    program, sheet = start_wizard(rig, env)
    rc, out = rig.qauto("sheet-tabs", "--hwnd", sheet)
    assert rc == 0 and out.splitlines() == [PREFIX + p for p in WIZARD_PAGES], out
    # Every debug log is switched on when the wizard opens.
    for name, section in (("SMSGW.INI", "SMSGW"), ("MMSC.INI", "MMSC"),
                          ("MMSWAP.INI", "MMSWAP")):
        assert env.ini(name)[section]["Debug"] == "Yes", name

    page = through_server_settings(rig, env, sheet, "8802")
    assert buttons(rig, sheet) == {"Back": True, "Next": False, "Finish": False}
    rig.click(page, id=COMPLETE_NO)
    wait_for(lambda: buttons(rig, sheet)["Finish"], what="offering Finish")
    assert not buttons(rig, sheet)["Next"]
    rig.click(sheet, id=ID_FINISH)
    main_window_follows(rig, program)


def test_yes_leads_to_the_test_message_page(rig, env):
    program, sheet = start_wizard(rig, env)
    page = through_server_settings(rig, env, sheet, "8800")
    rig.click(page, id=COMPLETE_YES)
    wait_for(lambda: buttons(rig, sheet)["Next"], what="offering Next")
    assert buttons(rig, sheet) == {"Back": True, "Next": True, "Finish": False}
    next_page(rig, sheet, "Send Test Message")
    assert buttons(rig, sheet)["Finish"]
    rig.click(sheet, id=ID_FINISH)
    main_window_follows(rig, program)


def test_cancel_ends_the_program(rig, env):
    program, sheet = start_wizard(rig, env)
    next_page(rig, sheet, "Modem Settings")
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
    assert window_gone(rig, sheet)
    assert rig.find(CAPTION, timeout=0.5) is None
    assert rig.nobox(within=0.3)
    assert "Modem1" not in env.ini("SMSGW.INI")["SMSGW"]
