"""The wizard's Select Modem page driven from outside: the phone modems found on the
network listed once each (and a name that cannot be a name left out), a listed phone modem
and a typed address probed and stored, the Windows modems of telephony listed and tested
through their data call, through a COM port named as such, and through the COM port fall-
back after a reset; a modem that answers OK to the send command refused."""

from harness import wait_for
from modem_rig import start_modem
from program import (CAPTION, IDCANCEL, SELECT_MODEM_LIST, SELECT_MODEM_NAME, WIZARD_PAGES,
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
