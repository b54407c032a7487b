"""What the end-to-end tests know of the program itself, written once for every test module:
its caption, questions and windows, the configuration written before a start, and opening,
reading and ending its main window and wizard."""

import sys
from pathlib import Path

from harness import SERVICES, wait_for

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "testing" / "simulators"))

CAPTION = "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)"
WIZARD_TITLE = "QelSMS Lite Setup Wizard:  "   # two spaces, then the page's name
WIZARD_PAGES = ["Select Modem", "Modem Settings", "Server Settings", "Configuration Complete",
                "Send Test Message"]
MAIN_TABS = ["Status", "Modem", "Server", "Users", "2-Way", "E-Mail", "Test Message",
             "Debug Logs"]
STATUS_TAB, SERVER_TAB, DEBUG_LOGS_TAB = 0, 2, 7
HELP_DOCUMENT = "QelSMS Lite.pdf"

EXIT_QUESTION = "Exit without saving configuration changes?"
SERVICE_QUESTION = "Service is not active, do you wish to activate the service?"
DELETE_QUESTION = "Delete Configuration files for QelSMS?"

# Sheet buttons (the platform's control ids).
IDOK, IDCANCEL, IDHELP = 1, 2, 9
ID_APPLY, ID_BACK, ID_NEXT, ID_FINISH = 0x3021, 0x3023, 0x3024, 0x3025

# The private code of the pages' unsaved-changes query (PSM_QUERYSIBLINGS, lParam 0).
UNSAVED_CHANGES_QUERY = 2038


# --- configuration written before a start ---

def write_ini(path, text):
    """Writes an INI file as the program's own files are: CRLF line ends, Windows-1252."""
    path.write_bytes(text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252"))


def configure_modem(env, extra=""):
    """A configured modem: the program opens the main window, not the wizard."""
    write_ini(env.data / "SMSGW.INI", "[SMSGW]\nModem1=COM1\n" + extra)


# --- services ---

def service_states(rig):
    """The states of QelSMS and QelMMSC, in that order ('missing' when not installed)."""
    return tuple(rig.service(name)["state"] for name in SERVICES)


def services_are(rig, state, timeout=15):
    """Waits until both services are in the state; fails otherwise."""
    wait_for(lambda: service_states(rig) == (state, state), timeout=timeout,
             what="both services %s" % state)


# --- windows ---

def open_main_window(rig, env, *args):
    """Starts the program on a configured installation; (process, sheet hwnd)."""
    program = env.start(*args)
    sheet = rig.find(CAPTION, timeout=20)
    assert sheet, "the main window did not open: %s" % (rig.windows(),)
    return program, sheet


def start_wizard(rig, env, *args):
    """Starts the program where it opens the wizard; (process, wizard hwnd on its first
    page)."""
    program = env.start(*args)
    sheet = rig.find(WIZARD_TITLE + WIZARD_PAGES[0], timeout=20)
    assert sheet, "the wizard did not open: %s" % (rig.windows(),)
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
    """Shows the tab and returns its page's hwnd."""
    rc, out = rig.qauto("sheet-select", "--hwnd", sheet, "--index", index)
    assert rc == 0, "tab %d was not shown" % index
    return out.strip()


def current_page(rig, sheet):
    rc, out = rig.qauto("sheet-page", "--hwnd", sheet)
    assert rc == 0, "the sheet shows no page"
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


# --- modems ---

SELECT_MODEM_LIST, SELECT_MODEM_NAME = 102, 104


class Stoppable:
    """A simulator in this process, registered with the rig like a started program so that
    the rig's end_started() (after every test) stops it."""

    def __init__(self, server):
        self.server = server

    def poll(self):
        return None if self.server else 0

    def kill(self):
        if self.server:
            self.server.stop()
            self.server = None

    def wait(self, timeout=None):
        return 0


def start_phone_modem(rig, scenario="ok", **options):
    """A phone modem's HTTP side on 127.0.0.1; .port is its port."""
    from phone_modem_sim import PhoneModemSimulator
    phone = PhoneModemSimulator(scenario, **options)
    phone.start()
    rig.started.append(Stoppable(phone))
    return phone


def start_modem_discovery(rig, env, phones, **options):
    """Phones answering the program's search for phone modems on a UDP port of 127.0.0.1:
    phones is [(name, tcp port)]."""
    from mdns_responder import MdnsResponder
    responder = MdnsResponder(phones, **options)
    port = responder.start()
    rig.started.append(Stoppable(responder))
    env.set_registry_value("ModemDiscoveryServer", "127.0.0.1:%d" % port)
    return responder


def choose_modem(rig, sheet, text, next_title="Modem Settings", timeout=60):
    """Types the modem's name or address on the Select Modem page and presses Next; waits
    for the next page unless next_title is None."""
    page = current_page(rig, sheet)
    rig.settext(page, SELECT_MODEM_NAME, text)
    rig.click(sheet, id=ID_NEXT)
    if next_title:
        wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + next_title, timeout=timeout,
                 what="reaching the page %s" % next_title)
    return page


def choose_phone_modem(rig, sheet):
    """Passes the Select Modem page with a phone modem typed as an address."""
    phone = start_phone_modem(rig)
    choose_modem(rig, sheet, "127.0.0.1:%d" % phone.port)
