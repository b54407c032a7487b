#!/usr/bin/env python3
"""Takes a picture of every page of the setup wizard and of the main window, and of the
message viewers.

    python3 tools/screenshots.py [--windows build/win32] [--out build/screenshots]

Runs the staged program under Wine on an X display of its own, in a fresh installation, with
Wine's virtual desktop so that windows get their frames and title bars. Goes through the
wizard with Next (choosing "Yes" on Configuration Complete so that Next leads on), sends a
test SMS through the stand-in gateway on its last page, then goes through the tabs of the
main window, and saves one PNG per page (import -window root).
Uses a Wine prefix of its own (build/wineprefix-screenshots). Python 3 standard library,
Wine, Xvfb and ImageMagick.
"""

import argparse
import contextlib
import shutil
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))
import demo  # noqa: E402
import harness  # noqa: E402
from account_files import user_record, write_users  # noqa: E402
from modem_rig import start_modem  # noqa: E402
from program import start_modem_discovery, start_phone_modem  # noqa: E402
from tapi_rig import install_tapi_standin  # noqa: E402

CAPTION = "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)"
WIZARD = "QelSMS Lite Setup Wizard:  "
WIZARD_PAGES = ["Select Modem", "Modem Settings", "Server Settings", "Configuration Complete",
                "Send Test Message"]
ID_NEXT, ID_FINISH, IDCANCEL = 0x3024, 0x3025, 2
COMPLETE_YES = 103
TEST_NUMBER, TEST_SEND_SMS, TEST_SMS_STATUS = 102, 103, 105
DESKTOP = "qel"
SETTLE_SECONDS = 0.6   # time for the page to paint before the picture is taken


def file_name(prefix, index, title):
    slug = "".join(ch.lower() if ch.isalnum() else "-" for ch in title).strip("-")
    return "%s-%d-%s.png" % (prefix, index, slug.replace("--", "-"))


class Shooter:
    def __init__(self, rig, out):
        self.rig, self.out = rig, out
        self.saved = []

    def shot(self, name):
        time.sleep(SETTLE_SECONDS)
        path = self.out / name
        subprocess.run(["import", "-window", "root", str(path)], env=self.rig.env, check=True)
        self.saved.append(path)
        print("saved %s" % path, flush=True)

    def wait_title(self, sheet, title, timeout=60):
        deadline = time.monotonic() + timeout
        while self.rig.text(sheet) != title:
            if time.monotonic() > deadline:
                raise RuntimeError("the wizard did not reach %r" % title)
            time.sleep(0.1)


def use_virtual_desktop(rig):
    """Every program started from now on runs in one virtual desktop window of 1024x768."""
    key = r"HKEY_CURRENT_USER\Software\Wine\Explorer"
    rig.wine(["reg", "add", key, "/v", "Desktop", "/d", DESKTOP, "/f"], check=True)
    rig.wine(["reg", "add", key + r"\Desktops", "/v", DESKTOP, "/d", "1024x768", "/f"],
             check=True)


MODEM_LINES = """
    [Lines]
    Count=3
    [Line0]
    Name=Standard 33600 bps Modem
    [Line1]
    Name=Wavecom Fastrack GSM Modem
    PortName=COM5
    [Line2]
    Name=USB GSM Modem
    """


def answering_com_port(rig, number):
    """A modem on COM<number> that the page finds by its probe of the ports Windows lists."""
    start_modem(rig, number, "ok")
    rig.wine(["reg", "add", harness.SERIAL_MAP, "/v", "\\Device\\Serial%d" % number,
              "/d", "COM%d" % number, "/f"], check=True)


def choose_listed_phone(rig, sheet, name, also=()):
    """Waits for the phone modem (and the other entries named) to be listed and selects the
    phone, as a click would."""
    page = rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()
    box = rig.control(page, 102)
    harness.wait_for(lambda: {name, *also} <= {text for text, _ in rig.box_items(box)},
                     timeout=20, what="%s listed" % name)
    rig.box_select(box, [text for text, _ in rig.box_items(box)].index(name))


def wizard_pages(rig, env, shooter):
    install_tapi_standin(env, MODEM_LINES)
    phone = start_phone_modem(rig, "mms")
    start_modem_discovery(rig, env, [("Pixel 7", phone.port), ("Galaxy A54", phone.port)])
    answering_com_port(rig, 6)
    program = env.start()
    sheet = rig.find(WIZARD + WIZARD_PAGES[0], timeout=30)
    if not sheet:
        raise RuntimeError("the wizard did not open: %s" % (rig.windows(),))
    for index, page in enumerate(WIZARD_PAGES, 1):
        shooter.wait_title(sheet, WIZARD + page)
        if page == "Select Modem":
            choose_listed_phone(rig, sheet, "QelSMSModem - Pixel 7", also=["COM6:"])
        if page == "Configuration Complete":
            current = rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()
            rig.click(current, id=COMPLETE_YES)
        shooter.shot(file_name("wizard", index, page))
        if index < len(WIZARD_PAGES):
            rig.click(sheet, id=ID_NEXT)   # Server Settings installs the services here
    send_test_sms(rig, sheet, shooter)     # Finish is offered once a test has been sent
    rig.click(sheet, id=ID_FINISH)
    return program


def send_test_sms(rig, sheet, shooter):
    """Sends a test SMS from the Send Test Message page through the stand-in gateway."""
    page = rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()
    rig.settext(page, TEST_NUMBER, "+4412345678")
    harness.wait_for(lambda: rig.text(page, TEST_SMS_STATUS) == "" and
                     any(c.id == TEST_SEND_SMS and c.enabled for c in rig.children(page)),
                     timeout=20, what="Send Test SMS enabled")
    rig.click(page, id=TEST_SEND_SMS)
    harness.wait_for(lambda: rig.text(page, TEST_SMS_STATUS) == "Status:  OK -- Message Sent",
                     timeout=30, what="the test SMS sent")
    shooter.shot("test-message-sent.png")


def main_window_pages(rig, shooter):
    sheet = rig.find(CAPTION, timeout=30)
    if not sheet:
        raise RuntimeError("the main window did not open: %s" % (rig.windows(),))
    rc, out = rig.qauto("sheet-tabs", "--hwnd", sheet)
    if rc != 0:
        raise RuntimeError("the tabs could not be read")
    for index, tab in enumerate(out.splitlines()):
        if rig.qauto("sheet-select", "--hwnd", sheet, "--index", index)[0] != 0:
            raise RuntimeError("tab %s was not shown" % tab)
        shooter.shot(file_name("main", index + 1, tab))
    rig.click(sheet, id=IDCANCEL)


GSM_MODEM = """[SMSGW]
Modem1=Wavecom Fastrack GSM Modem
[Modem - Wavecom Fastrack GSM Modem]
APN=mms.example.net
WAPGatewayIP=10.0.0.8:8080
MMSURL=http://mmsc.example.net/mms
"""


@contextlib.contextmanager
def main_window_on(rig, name, tab, smsgw, mmsc=None, prepare=None):
    """The main window in an installation of its own (SMSGW.INI and MMSC.INI as given,
    prepare(env) for anything else), showing the tab; yields (env, sheet, page). The window
    is closed with Cancel afterwards, declining the offer to start the services."""
    env = rig.fresh_env(name=name)
    try:
        (env.data / "SMSGW.INI").write_bytes(smsgw.replace("\n", "\r\n").encode("cp1252"))
        if mmsc:
            (env.data / "MMSC.INI").write_bytes(mmsc.replace("\n", "\r\n").encode("cp1252"))
        if prepare:
            prepare(env)
        env.start()
        sheet = rig.find(CAPTION, timeout=30)
        if not sheet or rig.qauto("sheet-select", "--hwnd", sheet, "--index", tab)[0] != 0:
            raise RuntimeError("tab %d of the main window did not open" % tab)
        yield env, sheet, rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()
        rig.click(sheet, id=IDCANCEL)
        try:
            rig.box(timeout=3, click="No")   # the offer to start the services, when stopped
        except AssertionError:
            pass
    finally:
        env.cleanup()


SEND_MMS = 126
ID_APPLY = 0x3021


def modem_pages(rig, shooter):
    """The main window's Modem page in its four states: a GSM modem and a phone modem, each
    with MMS sending on (no ReceiveMMS yet) and then switched off (and applied, so that the
    window closes without a question)."""
    phone = start_phone_modem(rig, "mms")
    phone_modem = "[SMSGW]\nModem1=QelSMSModem - 127.0.0.1:%d\n" % phone.port
    # The phone modem first: an installation's clean-up ends what the rig started, the
    # phone's simulator too.
    for kind, smsgw in (("phone", phone_modem), ("gsm", GSM_MODEM)):
        with main_window_on(rig, "screenshots-" + kind, 1, smsgw) as (env, sheet, page):
            shooter.shot("modem-%s.png" % kind)
            rig.click(page, id=SEND_MMS)
            shooter.shot("modem-%s-no-mms.png" % kind)
            rig.click(sheet, id=ID_APPLY)


ACCOUNTS = [("admin", "Gateway Administrator"), ("alice", "Alice Johnson"), ("bob", "Bob Smith"),
            ("carol", "Carol Davies"), ("sales", "Sales Department")]


def users_page(rig, shooter):
    """The Users page with accounts, and the Edit User dialog on one of them."""
    def accounts(env):
        write_users(env, [user_record(name, full, smpp=name == "alice", accept=name == "alice",
                                      admin=name == "admin") for name, full in ACCOUNTS])
    with main_window_on(rig, "screenshots-users", 3,
                        "[SMSGW]\nModem1=COM1\n[Inbound SMS Routing]\nalice=+447700900123\n",
                        prepare=accounts) as (env, sheet, page):
        rig.list_select(rig.control(page, 101), [1])
        shooter.shot("users-page.png")
        rig.click(page, id=102)
        if not rig.find("Edit User", timeout=10):
            raise RuntimeError("the Edit User dialog did not open")
        shooter.shot("edit-user-dialog.png")
        rig.click(rig.find("Edit User"), id=IDCANCEL)


TWOWAY = """[SMSGW]
Modem1=COM1
ReceiveSMS=Yes
ReceiveMMS=Yes
[Modem - COM1]
MMSRouting=mms-desk@example.com
[2Way-Keywords]
NewFormat=Yes
Keyword1=HELP
Keyword2=JOIN##447700900123
Keyword3=STOP
[2Way-Keyword-HELP]
ReplyText=Send JOIN to subscribe, STOP to leave.\\r\\nSupport: +44 20 7946 0000
[2Way-Keyword-JOIN##447700900123]
DListAdd=News
ReplyText=Welcome to the news list.
[2Way-Keyword-STOP]
DListRemove=News
Run=https://crm.example.com/optout?from=@@SENDER@@
RunSendResponse=Yes
"""


def twoway_page(rig, shooter):
    """The 2-Way page with a keyword table, and the keyword dialog on its first keyword."""
    with main_window_on(rig, "screenshots-twoway", 4, TWOWAY) as (env, sheet, page):
        shooter.shot("twoway-page.png")
        rig.click(page, id=108)
        if not rig.find("2-Way Keyword Processor", timeout=10):
            raise RuntimeError("the keyword dialog did not open")
        shooter.shot("keyword-dialog.png")
        rig.click(rig.find("2-Way Keyword Processor"), id=IDCANCEL)


def status_page_and_viewers(rig, shooter):
    """The Status page over the demo's gateway at work (both services active, counters of the
    last 30 days, a queue above its alert size, messages received), then the four viewers it
    opens and the MMS view dialog on a received MMS."""
    folder = rig.tmp_root / "screenshots-demo"
    shutil.rmtree(str(folder), ignore_errors=True)
    session = demo.Demo(rig, folder, receive_every_ms=1000)
    try:
        session.start()
        env = session.env
        (env.data / "SMSGW.INI").write_bytes(
            ("[SMSGW]\r\nModem1=%s\r\nAlertEMailQueueSize=5\r\n[Modem - %s]\r\nReceiveMMS=No\r\n"
             % (demo.MODEM_NAME, demo.MODEM_NAME)).encode("cp1252"))
        for name, text in QUEUED_FILES.items():
            path = env.data.joinpath(*name.split("\\"))
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(text.encode("cp1252"))
        counter_history(env.private / "STATS")
        for n in range(1, 4):   # taken and sent by the stand-in gateway: today's counts
            (env.data / "Q" / ("TEST%04d.REQ" % n)).write_bytes(
                b"[SMS]\r\nPhoneNumber=+447700900123\r\nData=Hello\r\n")
        if env.run("-INSTALLSERVICE", "-QUIET", timeout=30).returncode != 0:
            raise RuntimeError("the services did not start")
        harness.wait_for(lambda: len(list((env.data / "MMS-IN").glob("*.HDR"))) >= 4, timeout=30,
                         what="messages received")
        env.start()
        sheet = rig.find(CAPTION, timeout=30)
        if not sheet:
            raise RuntimeError("the main window did not open")
        time.sleep(2)   # a tick of the page after the services answered
        shooter.shot("status-page.png")
        page = rig.qauto("sheet-page", "--hwnd", sheet)[1].strip()
        for button, (which, title) in zip((145, 176, 103, 104), VIEWERS):
            rig.click(page, id=button)
            window = rig.find(title, timeout=30)
            if not window:
                raise RuntimeError("the %s viewer did not open" % which)
            rig.list_select(rig.control(window, 101), [0])
            shooter.shot("viewer-%s.png" % which)
            if which == "received-mms":
                rig.key(rig.control(window, 101), "RETURN")
                dialog = rig.find("MMS Message Details", timeout=10)
                if not dialog:
                    raise RuntimeError("the MMS view dialog did not open")
                shooter.shot("mms-view-dialog.png")
                rig.click(dialog, id=IDCANCEL)
            rig.click(window, id=IDCANCEL)
            harness.wait_for(lambda: not rig.find(title, timeout=0.2), what="%s closed" % title)
        rig.click(sheet, id=IDCANCEL)
        env.run("-REMOVESERVICE", "-QUIET", timeout=30)
    finally:
        session.close()
        for service in harness.SERVICES:
            rig.delete_service(service)
        shutil.rmtree(str(folder), ignore_errors=True)


def counter_history(stats):
    """Counts for the last 30 days, as a gateway in use leaves them; today's come on top."""
    stats.mkdir(parents=True, exist_ok=True)
    year = time.localtime().tm_year
    day = time.localtime().tm_yday
    for name, scale in (("SMSSUBMIT", 40), ("SMSSENT", 38), ("SMSRECEIVED", 12), ("SMSFAILED", 1),
                        ("SMSRETRY", 3), ("MMSIN-VASP", 2), ("MMSOUT-VASP", 2), ("MMSIN-MODEM", 1)):
        counts = [0] * 366
        for back in range(1, 30):
            if day - 1 - back >= 0:
                counts[day - 1 - back] = scale + (back * 7) % 5
        (stats / ("%s-%d.CTR" % (name, year))).write_bytes(struct.pack("<366I", *counts))


EMAIL_SETTINGS = """[MMSC]
SMSMailbox=gateway@example.com
SMSPerEMail=3
SMSEMailTrackSender=Yes
SMSEMailUseMMS=Yes
[Mailbox-gateway@example.com]
EMailAddress=gateway@example.com
EMailFullName=SMS Gateway
Username=gateway
Password=secret
IMAPServer=mail.example.com
UseSSL=Yes
SMTPServer=mail.example.com:587
PollInterval=60
[AuthEMailSMS]
User1=alice@example.com
User2=bob@example.com,sales
User3=helpdesk@example.com
"""


def email_page(rig, shooter):
    """The E-Mail page with a mailbox, the mailbox dialog and the authorised senders dialog."""
    with main_window_on(rig, "screenshots-email", 5, "[SMSGW]\nModem1=COM3:\n", EMAIL_SETTINGS) as (env, sheet, page):
        shooter.shot("email-page.png")
        rig.click(page, id=306)
        time.sleep(1)
        mailbox = next(w.hwnd for w in rig.windows() if w.title == "" and
                       any(c.id == 124 for c in rig.children(w.hwnd)))
        shooter.shot("mailbox-dialog.png")
        rig.click(mailbox, id=IDCANCEL)
        rig.click(page, id=115)
        senders = rig.find("Authorised E-Mail to SMS/MMS Senders", timeout=10)
        if not senders:
            raise RuntimeError("the authorised senders dialog did not open")
        shooter.shot("authorised-senders-dialog.png")
        rig.click(senders, id=IDCANCEL)


def operator_dialog(rig, env, shooter):
    rig.wine_start([rig.testbin / "operator_dialog_host.exe", "--pick", "1"], cwd=str(env.install))
    if not rig.find("Operator MMS Settings", timeout=30):
        raise RuntimeError("the operator dialog did not open")
    shooter.shot("operator-dialog.png")
    rig.end_started()


def mm7_dialog(rig, env, shooter):
    """The MM7 settings dialog over a stored connection, opened on its own by mm7_host.exe."""
    vasp = env.data / "VASPOUT" / "qelsmslitemm7" / "VASP.INI"
    vasp.parent.mkdir(parents=True, exist_ok=True)
    vasp.write_bytes(b"[VASP]\r\nProtocol=MM7\r\nServer=https://mm7.example.com:8443/mm7/deliver\r\n"
                     b"UserName=qelsms\r\nPassword=secret\r\nVASPID=QelVASP\r\nServiceCode=4477\r\n"
                     b"MM7Version=6.3.0\r\n")
    rig.wine_start([rig.testbin / "mm7_host.exe"], cwd=str(env.install))
    if not rig.find("Configure MM7 or PHP Receiver", timeout=30):
        raise RuntimeError("the MM7 dialog did not open")
    shooter.shot("mm7-dialog.png")
    rig.end_started()


def event_log_viewer(rig, env, shooter):
    """The event log viewer with a few of the gateway's events among others."""
    from event_records import ERROR, INFORMATION, WARNING, RecordFile
    log = RecordFile(env.folder / "screenshot-events.bin")
    now = int(time.time()) - 3600
    for minutes, source, kind, text in [
            (0, "QelSMS", INFORMATION, "QelSMS service started"),
            (3, "Other Application", ERROR, "not the gateway's"),
            (5, "QelSMS", WARNING, "Modem on COM5 did not answer, retrying"),
            (9, "QelSMS", ERROR, "Message to +447700900123 failed: +CMS ERROR: 330"),
            (12, "QelSMS", INFORMATION, "Modem on COM5 is ready")]:
        log.add(source, kind, text, now + 60 * minutes)
    rig.wine_start([rig.testbin / "event_log_host.exe", harness.to_windows(log.path)])
    if not rig.find("Event Log", timeout=30):
        raise RuntimeError("the event log viewer did not open")
    shooter.shot("event-log-viewer.png")
    rig.end_started()


# Requests the stand-in gateway leaves alone (it takes only TEST* requests): the queues have
# something waiting, one of them retried.
QUEUED_FILES = {
    "Q\\R0001.REQ": "[SMS]\r\nPhoneNumber=+447700900123\r\nSubmitUser=alice\r\nData=Meeting at 10\r\n",
    "Q\\Modem1\\R0002.REQ": "[SMS]\r\nPhoneNumber=+447700900456\r\nSubmitUser=bob\r\nData=Hi\r\n"
                            "[ErrorDetail]\r\nRetryCount=2\r\nLastErrorInfo=No answer from modem\r\n",
    "VASPQ\\V0001.MMS": "mms",
    "VASPQ\\V0001.INI": "[Routing]\r\nSenderAddress=+447700900100\r\n[Recipients]\r\n"
                         "To1=+447700900123/TYPE=PLMN\r\nTo2=+447700900456/TYPE=PLMN\r\n",
    "VASPQ\\V0002.MMS": "mms",
    "VASPQ\\V0002.INI": "[Routing]\r\nSenderAddress=+447700900100\r\nRetryCount=3\r\n"
                         "LastErrorInfo=MMSC refused the message\r\n[Recipients]\r\nTo1=+447700900789\r\n",
}
QUEUED_FILES.update(("Q\\R%04d.REQ" % n, "[SMS]\r\nPhoneNumber=+4477009001%02d\r\nSubmitUser=web\r\n"
                     "Data=Reminder %d\r\n" % (n, n)) for n in range(3, 9))
VIEWERS = [("outbound-sms", "Outbound SMS Queue"), ("outbound-mms", "Outbound MMS Queue"),
           ("received-sms", "Received SMS Messages"), ("received-mms", "Received MMS Messages")]


def tour(rig, shooter):
    """Every page of the wizard and the main window, the dialogs and the viewers, each shown
    to the shooter (shooter.shot(name) when it is on screen)."""
    env = rig.fresh_env(name="screenshots")
    try:
        # The stand-in services answer test messages as a working gateway would.
        (env.install / "STANDIN.INI").write_bytes(b"[QelSMS]\r\nTestScenario=ok\r\n")
        program = wizard_pages(rig, env, shooter)
        main_window_pages(rig, shooter)
        program.wait(30)
        operator_dialog(rig, env, shooter)
        mm7_dialog(rig, env, shooter)
        event_log_viewer(rig, env, shooter)
        modem_pages(rig, shooter)
        users_page(rig, shooter)
        status_page_and_viewers(rig, shooter)
        email_page(rig, shooter)
        twoway_page(rig, shooter)
    finally:
        env.cleanup()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows", default="build/win32", help="Windows build folder")
    parser.add_argument("--out", default=str(ROOT / "build" / "screenshots"))
    parser.add_argument("--viewers-only", action="store_true",
                        help="only the Status page and the message viewers over the demo's gateway")
    parser.add_argument("--twoway-only", action="store_true",
                        help="only the 2-Way page and the keyword dialog")
    parser.add_argument("--modem-only", action="store_true",
                        help="only the Modem page in its four states")
    options = parser.parse_args()
    out = Path(options.out)
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.png"):
        old.unlink()

    rig = harness.Rig(ROOT, options.windows, prefix=ROOT / "build" / "wineprefix-screenshots",
                      log=lambda message: print(message, flush=True))
    try:
        use_virtual_desktop(rig)
        shooter = Shooter(rig, out)
        if options.viewers_only:
            status_page_and_viewers(rig, shooter)
            return 0
        if options.twoway_only:
            twoway_page(rig, shooter)
            return 0
        if options.modem_only:
            modem_pages(rig, shooter)
            return 0
        tour(rig, shooter)
    finally:
        rig.close()
    print("%d screenshots in %s" % (len(shooter.saved), out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
