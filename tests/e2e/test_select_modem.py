"""The wizard's Select Modem page driven from outside: the phone modems found on the
network listed once each (and a name that cannot be a name left out), a listed phone modem
and a typed address probed and stored, the Windows modems of telephony listed and tested
through their data call, through a COM port named as such, and through the COM port fall-
back after a reset; a modem that answers OK to the send command refused, and telephony's
failures reported; the COM ports where a modem answers the probe listed and chosen
directly. The modem test on its own (modem_host.exe) shows a wrong PIN and a
telephony that does not start."""

import os
import shutil
import termios
import time

from harness import SERIAL_MAP, wait_for
from modem_rig import start_modem
from tapi_rig import install_tapi_standin, tapi_leaks, tapi_log
from program import (CAPTION, ID_NEXT, IDCANCEL, SELECT_MODEM_LIST, SELECT_MODEM_NAME, WIZARD_PAGES,
                     WIZARD_TITLE, choose_modem, current_page, start_modem_discovery,
                     start_phone_modem, start_wizard, write_ini)

UNABLE_TO_CONNECT = "Unable to connect to modem"
PASSED = "Modem successfully tested!"


def listed(rig, page):
    return [text for text, _ in rig.box_items(rig.control(page, SELECT_MODEM_LIST))]


def cancel(rig, program, sheet):
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0


def test_phone_modems_found_on_the_network_are_listed_once_and_stored_by_name(rig, env):
    phone = start_phone_modem(rig)
    start_modem_discovery(rig, env, [("Pixel 7", phone.port), ("Galaxy Tab", phone.port),
                                     ("../evil]", phone.port), ("Late Phone", phone.port)],
                          twice=["Galaxy Tab"], late=["Late Phone"])
    program, sheet = start_wizard(rig, env)
    page = current_page(rig, sheet)
    wanted = {"QelSMSModem - Pixel 7", "QelSMSModem - Galaxy Tab", "QelSMSModem - Late Phone"}
    wait_for(lambda: set(listed(rig, page)) >= wanted, timeout=20, what="the phones listed")
    names = listed(rig, page)
    assert sorted(names) == sorted(wanted), names            # each once, the bad name never

    list_box = rig.control(page, SELECT_MODEM_LIST)
    rig.box_select(list_box, names.index("QelSMSModem - Pixel 7"))
    assert rig.text(page, SELECT_MODEM_NAME) == "QelSMSModem - Pixel 7"
    choose_modem(rig, sheet, "QelSMSModem - Pixel 7")
    ini = env.ini("SMSGW.INI")
    assert ini["SMSGW"]["Modem1"] == "QelSMSModem - Pixel 7"
    assert ini["QelSMSModem - Pixel 7"]["RouteName"] == "Pixel 7"
    cancel(rig, program, sheet)


def test_a_typed_address_is_probed_and_stored_without_its_port(rig, env):
    program, sheet = start_wizard(rig, env)
    choose_modem(rig, sheet, "127.0.0.1:9", next_title=None)   # nobody answers there
    box = rig.box(timeout=30, click="OK")
    assert (box.caption, box.text, box.icon) == (CAPTION, UNABLE_TO_CONNECT, "error"), box
    assert rig.text(sheet) == WIZARD_TITLE + WIZARD_PAGES[0]
    assert "Modem1" not in env.ini("SMSGW.INI").get("SMSGW", {})

    phone = start_phone_modem(rig, "lf-only")
    address = "127.0.0.1:%d" % phone.port
    choose_modem(rig, sheet, address)
    ini = env.ini("SMSGW.INI")
    assert ini["SMSGW"]["Modem1"] == "QelSMSModem - " + address
    assert ini["QelSMSModem - " + address]["RouteName"] == "127.0.0.1"
    assert rig.nobox(within=0.3)
    cancel(rig, program, sheet)


# --- Windows modems ---

LINES = """
    [Lines]
    Count=5
    [Line0]
    Name=Zeta GSM Modem
    PortName=COM5
    [Line1]
    Name=Alpha Modem
    [Line2]
    Name=Voice Only
    Media=voice
    [Line3]
    Name=COM6:
    [Line4]
    Name=Fallback Modem
    PortName=COM7
    MakeCall=80000048
    MakeCallFailures=1
    """


def wizard_with_windows_modems(rig, env):
    install_tapi_standin(env, LINES)
    write_ini(env.data / "SMSGW.INI", "[Modem - Zeta GSM Modem]\nPIN=1234\n")
    program, sheet = start_wizard(rig, env)
    return program, sheet, current_page(rig, sheet)


def answer(rig, text, icon):
    box = rig.box(timeout=60, click="OK")
    assert (box.text, box.icon) == (text, icon), box
    return box


def test_windows_modems_are_listed_and_tested_through_their_data_call(rig, env):
    modem = start_modem(rig, 5, "ok")
    program, sheet, page = wizard_with_windows_modems(rig, env)
    # Sorted, data lines only.
    assert listed(rig, page) == ["Alpha Modem", "COM6:", "Fallback Modem", "Zeta GSM Modem"]

    choose_modem(rig, sheet, "Zeta GSM Modem", next_title=None)
    answer(rig, PASSED, "information")
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + "Modem Settings", timeout=10,
             what="the next page")
    ini = env.ini("SMSGW.INI")
    assert ini["SMSGW"]["Modem1"] == "Zeta GSM Modem"
    assert "PIN" not in ini["Modem - Zeta GSM Modem"]
    sent = [command for _, command in modem.commands()]
    assert "AT+CMGS=86" in sent and sent[-1] == "AT"
    assert tapi_leaks(tapi_log(env)) == []
    trace = (env.data / "MODEMTRACE.LOG").read_text("cp1252")
    assert "> AT+CMGS=86\\r" in trace and "message: " + PASSED in trace
    cancel(rig, program, sheet)


def test_a_modem_named_as_a_com_port_is_opened_directly(rig, env):
    start_modem(rig, 6, "ok")
    program, sheet, page = wizard_with_windows_modems(rig, env)
    choose_modem(rig, sheet, "COM6:", next_title=None)
    box = answer(rig, "Initialised modem at 115200 bps", "information")
    answer(rig, PASSED, "information")
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + "Modem Settings", timeout=10,
             what="the next page")
    assert env.ini("SMSGW.INI")["SMSGW"]["Modem1"] == "COM6:"
    assert not any(line.startswith("lineOpenA") for line in tapi_log(env))
    cancel(rig, program, sheet)


def test_the_wizard_is_held_while_a_modem_is_tested_and_a_cancel_then_wins(rig, env):
    start_modem(rig, 6, "ok")
    program, sheet, page = wizard_with_windows_modems(rig, env)
    choose_modem(rig, sheet, "COM6:", next_title=None)
    box = rig.box(timeout=60)   # "Initialised modem at 115200 bps", left open
    assert int(box.owner, 16) == int(sheet, 16), box
    assert "enabled: no" in rig.qauto("state", "--hwnd", sheet)[1]
    # Pressed in the box's message loop: Next starts no second test, Cancel waits for the test.
    rig.click(sheet, id=ID_NEXT)
    rig.click(sheet, id=IDCANCEL)
    rig.box(timeout=10, click="OK")
    answer(rig, PASSED, "information")
    assert program.wait(30) == 0   # then the wizard is cancelled, with nothing stored
    assert "Modem1" not in env.ini("SMSGW.INI").get("SMSGW", {})


def test_a_failed_data_call_falls_back_to_a_reset_through_the_com_port(rig, env):
    modem = start_modem(rig, 7, "ok")
    program, sheet, page = wizard_with_windows_modems(rig, env)
    choose_modem(rig, sheet, "Fallback Modem", next_title=None)
    # The first call fails silently: the modem is found on its port, reset, and found again
    # after its restart; the second call works.
    answer(rig, "Initialised modem at 115200 bps", "information")
    answer(rig, "Initialised modem at 115200 bps", "information")
    answer(rig, PASSED, "information")
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + "Modem Settings", timeout=10,
             what="the next page")
    assert "AT+CFUN=1,1" in [command for _, command in modem.commands()]
    assert sum(line.startswith("lineMakeCallA") for line in tapi_log(env)) == 2
    assert tapi_leaks(tapi_log(env)) == []
    cancel(rig, program, sheet)


def test_a_modem_that_answers_ok_to_the_send_command_is_refused(rig, env):
    start_modem(rig, 5, "cmgs-ok")
    program, sheet, page = wizard_with_windows_modems(rig, env)
    choose_modem(rig, sheet, "Zeta GSM Modem", next_title=None)
    box = answer(rig, "Modem does not properly support command for sending SMS (AT+CMGS)", "error")
    assert box.caption == CAPTION
    assert rig.text(sheet) == WIZARD_TITLE + WIZARD_PAGES[0]
    assert "Modem1" not in env.ini("SMSGW.INI").get("SMSGW", {})
    cancel(rig, program, sheet)


def test_a_wrong_pin_ends_the_test_with_the_modems_answer(rig, env):
    modem = start_modem(rig, 8, "sim-pin", pin="1234")
    host = rig.wine_start([str(rig.testbin / "modem_host.exe"), "--pin", "9999", "COM8:"],
                          cwd=str(env.install))
    answer(rig, "Initialised modem at 115200 bps", "information")
    box = answer(rig, "Invalid PIN --\r\n\r\n\r\n+CME ERROR: 16\r\n", "error")
    assert box.caption == CAPTION
    assert host.wait(20) == 0
    trace = (env.data / "MODEMTRACE.LOG").read_text("cp1252")
    assert "9999" not in trace and 'AT+CPIN="****"' in trace, trace
    assert "(incorrect password)" in trace
    assert (115200, 'AT+CPIN="9999"') in modem.commands()


def test_telephony_failures_are_reported_when_no_com_port_is_left(rig, env):
    install_tapi_standin(env, """
        [Lines]
        Count=4
        [Line0]
        Name=Open Fails
        Open=80000048
        [Line1]
        Name=Call Fails
        MakeCall=80000048
        [Line2]
        Name=No Handle
        GetId=80000048
        [Line3]
        Name=Reply Fails
        Reply=80000048
        """)
    program, sheet = start_wizard(rig, env)
    for name, failure in (("Open Fails", "Error 80000048 from lineOpen"),
                          ("Call Fails", "Error 80000048 from lineMakeCall"),
                          ("No Handle", "Error 80000048 from lineGetID"),
                          ("Reply Fails", "lineMakeCall failed to init modem")):
        choose_modem(rig, sheet, name, next_title=None)
        box = answer(rig, "Unable to initialize modem:  " + failure, "error")
        assert box.caption == CAPTION
        answer(rig, "Unable to access modem, ensure that it is powered on and passes diagnostic "
                    "tests.", "error")
        assert rig.text(sheet) == WIZARD_TITLE + WIZARD_PAGES[0]
    assert tapi_leaks(tapi_log(env)) == []
    cancel(rig, program, sheet)

    install_tapi_standin(env, "[Lines]\nCount=1\nInitialize=80000048\n")
    program = env.start()
    answer(rig, "Unable to initialize TAPI:  Error 80000048 from lineInitialize", "none")
    sheet = rig.find(WIZARD_TITLE + WIZARD_PAGES[0], timeout=20)
    # The box came while the page was opening: the sheet shows it once that has ended.
    wait_for(lambda: rig.qauto("sheet-page", "--hwnd", sheet)[0] == 0, timeout=20,
             what="the page shown")
    assert listed(rig, current_page(rig, sheet)) == []
    # Closing the report activated the wizard again: its re-listing does not report again.
    assert rig.nobox(within=1.5)
    cancel(rig, program, sheet)


def test_a_modem_test_without_telephony_says_so(rig, env):
    # The modem test on its own, beside the stand-in (the page lists nothing then).
    shutil.copy2(str(rig.testbin / "modem_host.exe"), str(env.install))
    install_tapi_standin(env, "[Lines]\nCount=1\nInitialize=80000048\n")
    host = rig.wine_start([str(env.install / "modem_host.exe"), "Any Modem"], cwd=str(env.install))
    answer(rig, "Unable to initialize TAPI:  Error 80000048 from lineInitialize", "error")
    answer(rig, "Unable to access modem, ensure that it is powered on and passes diagnostic "
                "tests.", "error")
    assert host.wait(20) == 0


# --- COM ports where a modem answers ---

def list_serial_ports(rig, numbers):
    """Names the ports in the SERIALCOMM map, as Wine's mount manager does for the ports it
    finds (it does not list ports linked into dosdevices by hand)."""
    for number in numbers:
        done = rig.wine(["reg", "add", SERIAL_MAP, "/v", "\\Device\\QelTest%d" % number,
                         "/t", "REG_SZ", "/d", "COM%d" % number, "/f"])
        assert done.returncode == 0, done.stderr


def port_speed(path):
    port = os.open(path, os.O_RDWR | os.O_NOCTTY)
    try:
        return termios.tcgetattr(port)[5]
    finally:
        os.close(port)


def test_com_ports_where_a_modem_answers_are_listed_and_chosen_directly(rig, env):
    good = start_modem(rig, 5, "ok")
    silent = start_modem(rig, 6, "silence")
    silent_speed = port_speed(silent.slave)
    assert silent_speed != termios.B115200
    # COM7 is held by another process without sharing, as the gateway holds its modem.
    held = env.folder / "com7-held"
    held.write_bytes(b"")
    held_link = rig.prefix / "dosdevices" / "com7"
    os.symlink(str(held), str(held_link))
    try:
        rig.hold_file(held)
        list_serial_ports(rig, (5, 6, 7))
        program, sheet = start_wizard(rig, env)
        page = current_page(rig, sheet)
        wait_for(lambda: "COM5:" in listed(rig, page), timeout=3, what="COM5: listed")
        wait_for(lambda: (env.data / "PORTPROBE.LOG").exists(), timeout=5, what="the log")
        assert listed(rig, page) == ["COM5:"]
        assert silent.commands() == [(115200, "AT")]          # one AT, and nothing else
        assert good.commands() == [(115200, "AT")]
        assert held.stat().st_size == 0
        assert port_speed(silent.slave) == silent_speed       # left as found
        log = (env.data / "PORTPROBE.LOG").read_text("cp1252")
        assert "COM5: answered OK in " in log, log
        assert "COM6: no modem answer in " in log, log
        assert "COM7: skipped, cannot be opened exclusively (in use or missing): error 32" in log, log

        rig.box_select(rig.control(page, SELECT_MODEM_LIST), 0)
        choose_modem(rig, sheet, "COM5:", next_title=None)
        answer(rig, "Initialised modem at 115200 bps", "information")
        answer(rig, PASSED, "information")
        wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + "Modem Settings", timeout=10,
                 what="the next page")
        ini = env.ini("SMSGW.INI")
        assert ini["SMSGW"]["Modem1"] == "COM5:"
        assert "PIN" not in ini.get("Modem - COM5:", {})
        assert silent.commands() == [(115200, "AT")]          # activations do not ask again
        cancel(rig, program, sheet)
    finally:
        rig.wine(["reg", "delete", SERIAL_MAP, "/va", "/f"])
        held_link.unlink()
