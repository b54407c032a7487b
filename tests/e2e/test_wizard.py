"""The setup wizard driven from outside: -WIZARD forcing it on a configured gateway, running
services stopped behind a wait window before it opens, its pages in order, the Server
Settings page's Next (ports stored, services installed and started), the Configuration
Complete choices, and Cancel ending the program."""

import subprocess

from harness import wait_for
from program import (CAPTION, controls, ID_BACK, ID_FINISH, ID_NEXT, IDCANCEL, WIZARD_PAGES,
                     WIZARD_TITLE, choose_phone_modem, configure_modem, current_page, service_states, sheet_button,
                     start_wizard, window_gone, write_ini)

COMPLETE_YES, COMPLETE_NO = 103, 104
TEST_NUMBER, TEST_SEND_SMS, TEST_SMS_STATUS = 102, 103, 105
WAIT_TITLE, WAIT_TEXT_ID = "Please wait...", 1444


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
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + title, timeout=timeout,
             what="reaching the page %s" % title)


def through_server_settings(rig, env, sheet, web_port):
    """From the first page to Configuration Complete; Next on Server Settings stores the
    port and installs and starts both services before the next page shows."""
    choose_phone_modem(rig, sheet)
    next_page(rig, sheet, "Server Settings")
    rig.settext(current_page(rig, sheet), 104, web_port)
    next_page(rig, sheet, "Configuration Complete", timeout=60)
    assert service_states(rig) == ("running", "running")
    assert env.ini("SMSGW.INI")["SMSGW"]["WebPort"] == web_port
    return current_page(rig, sheet)


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
    assert rc == 0 and out.splitlines() == [WIZARD_TITLE + p for p in WIZARD_PAGES], out
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
    # The stand-in services act as the gateway: the test SMS is retried, then sent.
    write_ini(env.install / "STANDIN.INI", "[QelSMS]\nTestScenario=retry\nFinishAfterMs=3000\n")
    program, sheet = start_wizard(rig, env)
    page = through_server_settings(rig, env, sheet, "8800")
    rig.click(page, id=COMPLETE_YES)
    wait_for(lambda: buttons(rig, sheet)["Next"], what="offering Next")
    assert buttons(rig, sheet) == {"Back": True, "Next": True, "Finish": False}
    next_page(rig, sheet, "Send Test Message")
    page = current_page(rig, sheet)
    # Finish only once a test has left the queue.
    assert buttons(rig, sheet) == {"Back": True, "Next": False, "Finish": False}
    rig.settext(page, TEST_NUMBER, "+4412345")
    wait_for(lambda: controls(rig, page)[TEST_SEND_SMS].enabled, what="Send Test SMS enabled")
    rig.click(page, id=TEST_SEND_SMS)
    wait_for(lambda: rig.text(page, TEST_SMS_STATUS) == "Status:  Retry pending, 2 attempts",
             timeout=15, what="the test SMS retried")
    assert not buttons(rig, sheet)["Finish"]
    wait_for(lambda: rig.text(page, TEST_SMS_STATUS) == "Status:  OK -- Message Sent", timeout=20,
             what="the test SMS sent")
    wait_for(lambda: buttons(rig, sheet)["Finish"], what="offering Finish")
    rig.click(sheet, id=ID_FINISH)
    main_window_follows(rig, program)


def test_cancel_ends_the_program(rig, env):
    # A debug-log switch the file does not take is said before the wizard opens (the file is
    # made immutable: the tests run as root).
    mmswap = env.data / "MMSWAP.INI"
    mmswap.write_text("")
    subprocess.run(["chattr", "+i", str(mmswap)], check=True)
    try:
        program = env.start()
        box = rig.box(timeout=20, click="OK")
        assert box.text.startswith("The configuration could not be saved to ") and box.icon == "error", box
        assert "MMSWAP.INI.\r\n\r\n" in box.text, box
        sheet = rig.find(WIZARD_TITLE + WIZARD_PAGES[0], timeout=20)
    finally:
        subprocess.run(["chattr", "-i", str(mmswap)], check=True)
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
    assert window_gone(rig, sheet)
    assert rig.find(CAPTION, timeout=0.5) is None
    assert rig.nobox(within=0.3)
    assert "Modem1" not in env.ini("SMSGW.INI")["SMSGW"]


def test_cancel_after_the_server_settings_applied_still_ends_the_program(rig, env):
    # Next on Server Settings applied a page; Cancel afterwards is still no success.
    program, sheet = start_wizard(rig, env)
    through_server_settings(rig, env, sheet, "8803")
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
    assert rig.find(CAPTION, timeout=1.0) is None


def test_wizard_switch_opens_the_wizard_on_a_configured_gateway(rig, env):
    configure_modem(env)            # without -WIZARD the main window would open
    program, sheet = start_wizard(rig, env, "-WIZARD")
    assert rig.find(CAPTION, timeout=0.5) is None
    assert service_states(rig) == ("missing", "missing")
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0


def test_running_services_are_stopped_behind_a_wait_window_first(rig, env):
    configure_modem(env)
    assert env.run("-INSTALLSERVICE", "-QUIET").returncode == 0
    assert service_states(rig) == ("running", "running")
    # The SMS service refuses to stop until the test lets it.
    standin_ini = env.install / "STANDIN.INI"
    write_ini(standin_ini, "[QelSMS]\nRefuseStop=1\n")
    program = env.start("-WIZARD")
    # The program waits without reading messages: only stored titles can be read meanwhile.
    shown = rig.peek(WAIT_TITLE, id=WAIT_TEXT_ID, timeout=20)
    assert shown and shown[1] == "Stopping Services...", shown
    wait_for(lambda: "refused-stop QelSMS" in env.log_lines("STANDIN.LOG"),
             what="the SMS service refusing to stop")
    assert rig.service("QelSMS")["state"] == "running"
    assert rig.peek(WIZARD_TITLE + WIZARD_PAGES[0], timeout=0.5) is None, "wizard before the stop"

    write_ini(standin_ini, "[QelSMS]\nRefuseStop=0\n")
    wait_for(lambda: window_gone(rig, shown[0]), timeout=15, what="closing the wait window")
    sheet = rig.find(WIZARD_TITLE + WIZARD_PAGES[0], timeout=20)
    assert sheet, "the wizard did not open after the stop"
    assert service_states(rig) == ("stopped", "stopped")
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
