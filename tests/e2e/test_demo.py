"""make demo's set-up (tools/demo.py) run headless and walked as a new user would: the demo's
telephony modem tested and chosen, the wizard to its end with a test SMS sent through the
stand-in gateway, then the Status page counting that message and the received SMS viewer
listing what the gateway received; closing the window ends everything the demo started."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from harness import wait_for
from program import (CAPTION, ID_FINISH, ID_NEXT, IDCANCEL, WIZARD_PAGES, WIZARD_TITLE,
                     choose_modem, controls, current_page, service_states, sheet_button)

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import demo  # noqa: E402

COMPLETE_YES = 103
TEST_NUMBER, TEST_SEND_SMS, TEST_SMS_STATUS = 102, 103, 105
SMS_SENT_TODAY, VIEW_RECEIVED_SMS = 114, 103
SENT = "Status:  OK -- Message Sent"


def next_page(rig, sheet, title, timeout=20):
    rig.click(sheet, id=ID_NEXT)
    wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + title, timeout=timeout,
             what="reaching the page %s" % title)


def started_here(pid):
    """Whether the process descends from this test run (another run's demo is not ours)."""
    while pid > 1:
        if pid == os.getpid():
            return True
        try:
            with open("/proc/%d/stat" % pid) as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            return False
    return False


def left_running(folder):
    """Processes of this run that belong to the demo in folder (simulators, servers)."""
    done = subprocess.run(["pgrep", "-af", "modem_sim.py|dovecot|aiosmtpd|" + str(folder)],
                          stdout=subprocess.PIPE, text=True, check=False)
    return [line for line in done.stdout.splitlines()
            if "pgrep" not in line and (str(folder) in line or started_here(int(line.split()[0])))]


def test_demo_from_the_wizard_to_a_gateway_at_work(rig):
    folder = rig.tmp_root / "demo"
    shutil.rmtree(str(folder), ignore_errors=True)
    before = left_running(folder)
    session = demo.Demo(rig, folder)
    try:
        lines = session.start()
        assert any(demo.MODEM_NAME in line for line in lines), lines
        program = session.start_program()
        sheet = rig.find(WIZARD_TITLE + WIZARD_PAGES[0], timeout=30)
        assert sheet, rig.windows()

        choose_modem(rig, sheet, demo.MODEM_NAME, next_title=None)
        box = rig.box(timeout=60, click="OK")
        assert box.text == "Modem successfully tested!", box
        wait_for(lambda: rig.text(sheet) == WIZARD_TITLE + "Modem Settings", what="Modem Settings")
        next_page(rig, sheet, "Server Settings")
        next_page(rig, sheet, "Configuration Complete", timeout=60)
        assert service_states(rig) == ("running", "running")
        rig.click(current_page(rig, sheet), id=COMPLETE_YES)
        next_page(rig, sheet, "Send Test Message")
        page = current_page(rig, sheet)
        rig.settext(page, TEST_NUMBER, "+447700900001")
        wait_for(lambda: controls(rig, page)[TEST_SEND_SMS].enabled, what="Send Test SMS enabled")
        rig.click(page, id=TEST_SEND_SMS)
        wait_for(lambda: rig.text(page, TEST_SMS_STATUS) == SENT, timeout=30, what="the SMS sent")
        wait_for(lambda: sheet_button(rig, sheet, ID_FINISH).enabled, what="Finish offered")
        rig.click(sheet, id=ID_FINISH)

        main = rig.find(CAPTION, timeout=30)
        assert main, rig.windows()
        status = current_page(rig, main)
        wait_for(lambda: rig.text(status, SMS_SENT_TODAY) == "1", timeout=15,
                 what="the Status page counting the sent SMS")
        rig.click(status, id=VIEW_RECEIVED_SMS)
        viewer = rig.find("Received SMS Messages", timeout=15)
        assert viewer, rig.windows()
        wait_for(lambda: rig.list_rows(rig.control(viewer, 101)) >= 1, timeout=15,
                 what="a received SMS listed")
        rig.click(viewer, id=1)
        wait_for(lambda: not rig.find("Received SMS Messages", timeout=0.2), what="viewer closed")
        rig.click(main, id=IDCANCEL)
        assert program.wait(30) == 0
    finally:
        session.close()
        for service in demo.harness.SERVICES:
            rig.delete_service(service)
        shutil.rmtree(str(folder), ignore_errors=True)
    assert rig.kill_image(*demo.harness.STANDINS) == []
    # dovecot's own helpers end a moment after its master process.
    wait_for(lambda: left_running(folder) == before, timeout=10,
             what="nothing the demo started left running (%s)" % left_running(folder))
