"""The Modem page driven from outside: a GSM modem's settings shown and saved with the
untested-settings question, the connection test through the elevated second instance and
the dial-up library's double (a passed test, a RAS error retried, a declined reboot, an
incomplete library), missing fields, the operator look-up over the real operator data, a phone
modem's MMS settings read from the phone, and "Change Modem" in the main window and the
wizard."""

from harness import to_windows, wait_for
from modem_rig import start_modem
from program import (CAPTION, ID_APPLY, ID_NEXT, IDCANCEL, IDOK, WIZARD_PAGES, WIZARD_TITLE, choose_modem,
                     controls, current_page, end_program, is_checked, open_main_window,
                     select_page, start_phone_modem, start_wizard, write_ini)
from tapi_rig import install_tapi_standin
from waplink_rig import LOG, install_waplink, plant_waplink, waplink_log

MODEM_TAB = 1
NAME, PHONE_DEFAULTS, RECEIVE_MMS, CHANGE = 102, 103, 112, 113
LOOKUP, APN, PROXY, URL, TEST, SEND_MMS, OTHER_CONNECTION = 114, 116, 122, 124, 125, 126, 127
OPERATOR_ACCESS_POINT = 2103   # the operator dialog's list of access points
REBOOT_QUESTION = ("QelSMS has updated your modem driver settings to enable GPRS connectivity.\r\n\r\n"
                   "Your system must be rebooted to apply these updates.\r\n\r\n"
                   "Do you wish to reboot now?")
UNTESTED = ("MMS configuration settings have not been tested.\r\n\r\n"
            "Do you wish to test these settings before saving configuration changes?")

GSM_INI = """[SMSGW]
Modem1=Wavecom GSM
[Modem - Wavecom GSM]
APN=mms.example
WAPGatewayIP=http://10.0.0.8:8080
MMSURL=http://mmsc.example/
"""


def modem_page(rig, env, ini=GSM_INI):
    write_ini(env.data / "SMSGW.INI", ini)
    program, sheet = open_main_window(rig, env)
    return program, sheet, select_page(rig, sheet, MODEM_TAB)


def test_gsm_settings_are_saved_after_the_untested_question(rig, env):
    install_waplink(env, "full", "[WapLink]\nConnections=GPRS Internet|Modem: Wavecom GSM\n")
    # An old default route "." names VASPOUT itself: changing the route must not delete it.
    write_ini(env.data / "MMSC.INI", "[MMSC]\nDefaultOutboundRoute=.\n")
    other = env.data / "VASPOUT" / "other" / "VASP.INI"
    other.parent.mkdir(parents=True)
    other.write_text("[VASP]\nServer=x\n")
    program, sheet, page = modem_page(rig, env)
    assert rig.text(page, NAME) == "Wavecom GSM"
    assert rig.text(page, APN) == "mms.example"
    # No ReceiveMMS yet and SMS received: both MMS boxes start checked.
    assert is_checked(rig, page, SEND_MMS) and is_checked(rig, page, RECEIVE_MMS)
    rig.settext(page, APN, "mms.other")
    rig.click(sheet, id=ID_APPLY)
    box = rig.box(timeout=10, click="Cancel")
    assert (box.text, box.buttons, box.icon) == (UNTESTED, ["Yes", "No", "Cancel"], "question"), box
    assert env.ini("SMSGW.INI")["Modem - Wavecom GSM"]["APN"] == "mms.example"  # refused
    # The refused apply left the edit unsaved, and the sheet still knows it.
    rig.click(sheet, id=IDCANCEL)
    box = rig.box(timeout=10, click="No")
    assert box.text == "Exit without saving configuration changes?", box
    rig.click(sheet, id=ID_APPLY)
    rig.box(timeout=10, click="No")
    route_ini = env.data / "VASPOUT" / "qelsmslite" / "VASP.INI"

    def saved():   # the route's server is the last key saving writes
        try:
            return env.ini(route_ini)["VASP"]["Server"] == "http://mmsc.example/"
        except (OSError, KeyError):
            return False
    wait_for(saved, what="the settings saved")
    section = env.ini("SMSGW.INI")["Modem - Wavecom GSM"]
    assert (section["APN"], section["ReceiveMMS"], section["UseModem"], section["DialUpProfile"]) == \
        ("mms.other", "Yes", "Wavecom GSM", "Modem: Wavecom GSM")
    assert env.ini(route_ini)["VASP"]["Protocol"] == "MM1"
    assert env.ini("MMSC.INI")["MMSC"]["DefaultOutboundRoute"] == "qelsmslite"
    assert other.exists(), "the old route \".\" deleted VASPOUT"
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_connection_test_runs_elevated_and_retries(rig, env):
    install_waplink(env, "full", """
        [WapLink]
        RasDial=633
        ErrorString=The port is already in use
        """)
    program, sheet, page = modem_page(rig, env)
    rig.click(page, id=TEST)
    box = rig.box(timeout=60)
    assert box.text == "Connection Failed\r\nRAS Error 633\r\nThe port is already in use", box
    assert (box.buttons, box.icon) == (["Retry", "Cancel"], "error"), box
    # The line is free now: the retry (a new elevated instance) connects.
    (env.install / "WAPLINK.INI").write_bytes(b"[WapLink]\r\nRasDial=0\r\n")
    rig.click(box.hwnd, text="Retry")
    box = rig.box(timeout=60, click="OK")
    assert (box.text, box.icon) == ("Connection Test OK!", "information"), box
    log = waplink_log(env)
    calls = [line.split(" ")[0] for line in log]
    # Two runs, the modem lent and given back in each; hung up only after the good dial.
    assert calls.count("ModemAllocate") == calls.count("ModemRelease") == 2, log
    assert calls.count("WSPRasHangUp") == 1 and calls[-1] == "ModemRelease", log
    assert "WSPRasDial Modem: Wavecom GSM mms.example   10.0.0.8:8080 -> 0" in log, log
    wait_for(lambda: not (env.data / "MODEMTEST.INI").exists(), what="the hand-over file deleted")
    # Tested: saving asks nothing.
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_a_phone_modem_shows_the_phones_mms_settings(rig, env):
    phone = start_phone_modem(rig, "mms")
    name = "QelSMSModem - 127.0.0.1:%d" % phone.port
    program, sheet, page = modem_page(rig, env, "[SMSGW]\nModem1=%s\n" % name)
    assert rig.text(page, NAME) == name
    assert rig.text(page, URL) == phone.mms_url and rig.text(page, PROXY) == phone.mms_proxy
    assert is_checked(rig, page, PHONE_DEFAULTS)
    assert not controls(rig, page)[APN].visible
    # Ticked again after an edit, the box brings the phone's own settings back to be saved.
    rig.click(page, id=PHONE_DEFAULTS)
    rig.settext(page, URL, "http://edited.example/")
    rig.click(page, id=PHONE_DEFAULTS)
    assert rig.text(page, URL) == phone.mms_url
    rig.click(sheet, id=ID_APPLY)
    wait_for(lambda: env.ini("SMSGW.INI")[name].get("QelsmsModemMMSURL") == phone.mms_url,
             what="the phone's URL saved")
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_change_modem_leads_to_the_wizard(rig, env):
    program, sheet, page = modem_page(rig, env)
    rig.click(page, id=CHANGE)
    box = rig.box(timeout=10, click="Yes")
    assert box.text == "Start the installation wizard to select a different modem?", box
    rig.box(timeout=10, click="No")   # the untested-settings question of the save
    wizard = rig.find(WIZARD_TITLE + WIZARD_PAGES[0], timeout=30)
    assert wizard, "the wizard did not open: %s" % (rig.windows(),)
    rig.click(wizard, id=IDCANCEL)
    assert program.wait(20) == 0


def test_change_modem_then_a_refused_ok_leaves_no_wizard_behind(rig, env):
    program, sheet, page = modem_page(rig, env)
    rig.click(page, id=CHANGE)
    rig.box(timeout=10, click="Yes")
    box = rig.box(timeout=10, click="Cancel")   # OK refused: the main window stays
    assert box.text == UNTESTED, box
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)   # the service question, not the wizard


def test_missing_fields_are_reported_before_a_test(rig, env):
    # A WAPLINK.DLL in the current folder and one on PATH are never loaded: the program and
    # its elevated second instance take add-ons from their own folder only.
    current, on_path = plant_waplink(env, env.folder / "current", env.folder / "onpath")
    write_ini(env.data / "SMSGW.INI", GSM_INI)
    rig.env["WINEPATH"] = to_windows(on_path)
    try:
        program = rig.wine_start([env.exe], cwd=str(current))
    finally:
        del rig.env["WINEPATH"]
    sheet = rig.find(CAPTION, timeout=20)
    assert sheet, "the main window did not open: %s" % (rig.windows(),)
    page = select_page(rig, sheet, MODEM_TAB)
    for field, message in ((URL, "MMS Server URL is Required!"),
                           (PROXY, "MMS Proxy Address is Required!")):
        rig.settext(page, field, "")
        rig.click(page, id=TEST)
        box = rig.box(timeout=10, click="OK")
        assert (box.text, box.icon) == (message, "error"), box
        rig.settext(page, field, "http://10.0.0.9/" if field == URL else "10.0.0.9:80")
    for _ in range(2):
        rig.click(page, id=TEST)
        box = rig.box(timeout=60, click="Cancel")
        assert (box.text, box.icon) == ("Internal Error", "error"), box
        assert not (current / LOG).exists() and not (on_path / LOG).exists()
        install_waplink(env, "no-hangup")   # one required entry point missing: no library
    # Without the optional entry points the library still dials: no driver check, no RAS text.
    install_waplink(env, "no-optional", "[WapLink]\nRasDial=633\n")
    rig.click(page, id=TEST)
    box = rig.box(timeout=60, click="Cancel")
    assert box.text.rstrip() == "Connection Failed\r\nRAS Error 633", box
    assert [line.split(" ")[0] for line in waplink_log(env)] == \
        ["ModemAllocate", "WSPRasDial", "ModemRelease"], waplink_log(env)
    rig.click(sheet, id=IDCANCEL)
    rig.box(timeout=10, click="Yes")   # leave without saving
    end_program(rig, program)


def test_an_smsc_connection_is_no_modem(rig, env):
    program, sheet, page = modem_page(rig, env, "[SMSGW]\nModem1=SMPP - Provider\n")
    assert rig.text(page, NAME) == ""
    rig.click(page, id=SEND_MMS)
    rig.settext(page, URL, "http://mmsc/")
    rig.click(page, id=TEST)
    box = rig.box(timeout=10, click="OK")
    assert (box.text, box.icon) == ("Please select a modem", "error"), box
    box = rig.box(timeout=10, click="No")   # the click on Change Modem that follows
    assert box.text == "Start the installation wizard to select a different modem?", box
    rig.click(sheet, id=IDCANCEL)
    rig.box(timeout=10, click="Yes")
    end_program(rig, program)


def test_lookup_fills_the_fields_from_the_operator_data(rig, env):
    program, sheet, page = modem_page(rig, env)
    rig.click(page, id=LOOKUP)
    dialog = rig.find("Operator MMS Settings", timeout=20)
    assert dialog, "the operator dialog did not open"
    points = rig.control(dialog, OPERATOR_ACCESS_POINT)
    wait_for(lambda: rig.box_items(points), what="access points listed")
    rig.box_select(points, 0)
    rig.click(dialog, id=IDOK)
    wait_for(lambda: rig.text(page, URL) != "http://mmsc.example/", what="the URL filled")
    assert rig.text(page, URL).lower().startswith("http"), rig.text(page, URL)
    assert rig.text(page, APN) not in ("", "mms.example")
    rig.click(sheet, id=ID_APPLY)
    rig.box(timeout=10, click="No")   # untested: No counts the settings as tested
    # The same settings looked up again change no field: they stay tested.
    rig.click(page, id=LOOKUP)
    dialog = rig.find("Operator MMS Settings", timeout=20)
    points = rig.control(dialog, OPERATOR_ACCESS_POINT)
    wait_for(lambda: rig.box_items(points), what="access points listed")
    rig.box_select(points, 0)
    rig.click(dialog, id=IDOK)
    wait_for(lambda: not rig.find("Operator MMS Settings", timeout=0.5), what="the dialog closed")
    rig.click(sheet, id=ID_APPLY)
    assert rig.nobox(within=3)
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_a_driver_update_offers_a_reboot_that_can_be_declined(rig, env):
    install_waplink(env, "full", """
        [WapLink]
        CidSelector0=0
        CidSelector1=3
        UpdateInitStrings=1
        """)
    program, sheet, page = modem_page(rig, env)
    rig.click(page, id=TEST)
    # The elevated instance asks (no owner); No dials with the updated driver settings.
    box = rig.box(timeout=60, click="No")
    assert (box.text, box.buttons, box.icon) == (REBOOT_QUESTION, ["Yes", "No"], "question"), box
    box = rig.box(timeout=60, click="OK")
    assert box.text == "Connection Test OK!", box
    assert any(line.startswith("ModemDriverUpdateInitStrings") for line in waplink_log(env))
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_the_wizard_goes_on_without_mms_and_back_to_change_the_modem(rig, env):
    start_modem(rig, 5, "ok")
    install_tapi_standin(env, "[Lines]\nCount=1\n[Line0]\nName=Wavecom GSM\nPortName=COM5\n")
    write_ini(env.data / "SMSGW.INI", "[Modem - Wavecom GSM]\nReceiveMMS=No\n")
    program, sheet = start_wizard(rig, env)

    def accept_the_modem():
        choose_modem(rig, sheet, "Wavecom GSM", next_title=None)
        rig.box(timeout=60, click="OK")   # "Modem successfully tested!"
        wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + WIZARD_PAGES[1], timeout=20,
                 what="the Modem Settings page")
        return current_page(rig, sheet)

    page = accept_the_modem()
    rig.click(page, id=CHANGE)
    rig.box(timeout=10, click="Yes")
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + WIZARD_PAGES[0], what="back on Select Modem")
    page = accept_the_modem()
    # Without MMS sending no MMS server URL is asked for.
    assert not is_checked(rig, page, SEND_MMS) and rig.text(page, URL) == ""
    # The data connection's choice is not part of the MMS group.
    assert controls(rig, page)[OTHER_CONNECTION].enabled and not controls(rig, page)[TEST].enabled
    rig.click(sheet, id=ID_NEXT)
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + WIZARD_PAGES[2], timeout=20,
             what="the Server Settings page")
    assert env.ini("SMSGW.INI")["Modem - Wavecom GSM"]["ReceiveMMS"] == "No"
    rig.click(sheet, id=IDCANCEL)
    assert program.wait(20) == 0
