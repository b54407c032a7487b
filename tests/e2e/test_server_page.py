"""The Server page driven from outside: ports shown, written and deleted, refused ports, and
the service button against the real states of the stand-in services."""

from harness import wait_for
from program import (EXIT_QUESTION, ID_APPLY, IDCANCEL, IDOK, SERVER_TAB, configure_modem, controls,
                     end_program, is_checked, open_main_window, select_page, services_are,
                     write_ini)

WEB_PORT, SMPP_ENABLE, SMPP_PORT, SMPP_LABEL = 104, 110, 118, 114
MM7_ENABLE, MM7_PORT, MM7_LABEL = 113, 121, 117
STATUS, ACTION = 133, 134
SAVE_QUESTION = "Save configuration changes?"
MODEM_TAB, MODEM_RECEIVE_SMS = 1, 109


def server_page(rig, env):
    program, sheet = open_main_window(rig, env)
    return program, sheet, select_page(rig, sheet, SERVER_TAB)


def shown_ports(rig, page):
    c = controls(rig, page)
    return (c[WEB_PORT].text,
            is_checked(rig, page, SMPP_ENABLE), c[SMPP_PORT].text, c[SMPP_PORT].enabled,
            is_checked(rig, page, MM7_ENABLE), c[MM7_PORT].text, c[MM7_PORT].enabled)


def stored_ports(env):
    sms, mmsc = env.ini("SMSGW.INI")["SMSGW"], env.ini("MMSC.INI")["MMSC"]
    return sms.get("WebPort"), sms.get("SMPPPort"), mmsc.get("WebPort")


def apply(rig, sheet, env, expected):
    rig.click(sheet, id=ID_APPLY)
    wait_for(lambda: stored_ports(env) == expected, what="storing %s" % (expected,))


def test_ports_shown_written_and_deleted(rig, env):
    configure_modem(env)
    program, sheet, page = server_page(rig, env)
    assert shown_ports(rig, page) == ("8800", False, "", False, False, "", False)
    optional = controls(rig, page)[105]
    assert (optional.cls, optional.text) == ("Static", "Optional Protocols:"), optional
    assert not controls(rig, page)[SMPP_LABEL].enabled

    rig.click(page, id=SMPP_ENABLE)
    rig.click(page, id=MM7_ENABLE)
    c = controls(rig, page)
    assert c[SMPP_PORT].enabled and c[SMPP_LABEL].enabled and c[MM7_PORT].enabled
    rig.settext(page, WEB_PORT, "8080")
    rig.settext(page, SMPP_PORT, "2775")
    rig.settext(page, MM7_PORT, "8899")
    apply(rig, sheet, env, ("8080", "2775", "8899"))

    # SMPP left checked with an empty port: the key goes, and the box is clear next time.
    rig.settext(page, SMPP_PORT, "")
    apply(rig, sheet, env, ("8080", None, "8899"))
    rig.click(sheet, id=IDOK)
    end_program(rig, program)

    program, sheet, page = server_page(rig, env)
    assert shown_ports(rig, page) == ("8080", False, "", False, True, "8899", True)
    # An empty web port falls back to 8800; a zero MM7 port switches MM7 off.
    rig.settext(page, WEB_PORT, "")
    rig.settext(page, MM7_PORT, "0")
    apply(rig, sheet, env, ("8800", None, None))
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_ports_above_65535_are_refused(rig, env):
    configure_modem(env, "WebPort=8800\nSMPPPort=2775\n")
    write_ini(env.data / "MMSC.INI", "[MMSC]\nWebPort=8899\n")
    program, sheet, page = server_page(rig, env)
    rig.click(page, id=MM7_ENABLE)                 # MM7 off: its key would be deleted
    for field, id in (("Web Interface Port Number", WEB_PORT),
                      ("SMPP Port Number", SMPP_PORT)):
        rig.settext(page, id, "65536")
        rig.click(sheet, id=ID_APPLY)
        box = rig.box(click="OK")
        assert (box.text, box.icon) == (
            "The %s must be a number from 1 to 65535." % field, "error"), box
        assert stored_ports(env) == ("8800", "2775", "8899"), "a refused apply wrote keys"
        rig.settext(page, id, "65535")
    rig.click(page, id=MM7_ENABLE)
    rig.settext(page, MM7_PORT, "99999")
    rig.click(sheet, id=ID_APPLY)
    box = rig.box(click="OK")
    assert box.text == "The MM7/EAIF Port Number must be a number from 1 to 65535.", box
    assert stored_ports(env) == ("8800", "2775", "8899")
    rig.settext(page, MM7_PORT, "65535")
    apply(rig, sheet, env, ("65535", "65535", "65535"))
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_a_refused_port_stays_unsaved_after_another_page_saved(rig, env):
    configure_modem(env, "WebPort=8800\n[Modem - COM1]\nReceiveMMS=No\n")
    program, sheet = open_main_window(rig, env)
    rig.click(select_page(rig, sheet, MODEM_TAB), id=MODEM_RECEIVE_SMS)
    page = select_page(rig, sheet, SERVER_TAB)
    rig.settext(page, WEB_PORT, "65536")
    rig.click(sheet, id=ID_APPLY)
    assert rig.box(click="OK").text.startswith("The Web Interface Port Number"), "port not refused"
    wait_for(lambda: env.ini("SMSGW.INI")["Modem - COM1"].get("ReceiveSMS") == "No",
             what="the Modem page saving first")
    # The Server page's change is its own: Cancel still asks, and No keeps the edit.
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="No").text == EXIT_QUESTION
    assert controls(rig, page)[WEB_PORT].text == "65536"
    rig.click(sheet, id=IDCANCEL)
    assert rig.box(click="Yes").text == EXIT_QUESTION
    end_program(rig, program)


def button_reads(rig, page, status, action, timeout=5):
    def shown():
        c = controls(rig, page)
        return (c[STATUS].text, c[ACTION].text) == (status, action)
    wait_for(shown, timeout=timeout, what="the page showing %s / %s" % (status, action))


def test_service_button_follows_the_services(rig, env):
    configure_modem(env)
    program, sheet, page = server_page(rig, env)
    button_reads(rig, page, "Not Active", "Install Service")
    assert env.run("/INSTALLSERVICE", "/Q").returncode == 0
    services_are(rig, "running")
    button_reads(rig, page, "Active", "Stop Service")
    assert env.run("/STOPSERVICE").returncode == 0
    services_are(rig, "stopped")
    button_reads(rig, page, "Not Active", "Start Service")

    rig.click(page, id=ACTION)                     # no changes: starts without a question
    services_are(rig, "running")
    button_reads(rig, page, "Active", "Stop Service")
    rig.click(page, id=ACTION)
    services_are(rig, "stopped")
    button_reads(rig, page, "Not Active", "Start Service")
    assert rig.nobox(within=0.3)
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_service_button_with_unsaved_changes(rig, env):
    configure_modem(env, "WebPort=8800\n")
    program, sheet, page = server_page(rig, env)
    rig.settext(page, WEB_PORT, "8811")
    # No: the services are installed and started with the settings as last saved.
    rig.click(page, id=ACTION)
    box = rig.box(click="No")
    assert (box.text, box.buttons, box.icon) == (
        SAVE_QUESTION, ["Yes", "No", "Cancel"], "question"), box
    services_are(rig, "running", timeout=30)
    button_reads(rig, page, "Active", "Stop Service")
    assert stored_ports(env)[0] == "8800"

    rig.click(page, id=ACTION)                     # stopping never asks
    services_are(rig, "stopped")
    button_reads(rig, page, "Not Active", "Start Service")
    # Yes: saved first, then started.
    rig.click(page, id=ACTION)
    assert rig.box(click="Yes").text == SAVE_QUESTION
    services_are(rig, "running")
    assert stored_ports(env)[0] == "8811"
    # Saved: Cancel no longer asks, and running services raise no question at the end.
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
    assert rig.nobox(within=0.3)
