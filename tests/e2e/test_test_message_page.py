"""The Send Test Message page driven from outside against the stand-in services acting as a
small gateway: a test SMS and a test MMS followed to their outcome in the day logs, a retry
and an error note shown while the request waits, Cancel on a request the gateway holds, and
the web interface opened through the shell, after its first account is added."""

from account_files import user_names
from harness import to_windows, wait_for
from program import IDOK, controls, open_main_window, select_page, services_are, write_ini

TEST_MESSAGE_TAB = 6
NUMBER, SEND_SMS, SEND_MMS, SMS_STATUS, SMS_DETAIL = 102, 103, 104, 105, 106
CANCEL, WEB, MMS_STATUS, MMS_DETAIL = 107, 108, 111, 112
USER_NAME, USER_PASSWORD = 104, 106  # the Edit User dialog

SENT = "Status:  OK -- Message Sent"
WAITING = "Status:  Waiting"
GATEWAY_ERROR = "ERROR: 500 Modem error"
NO_USERS = ("No user accounts are defined.\r\n"
            "Create a user account to access the web interface?")


def set_scenario(env, scenario, **keys):
    """What the stand-in services do with the test requests they find (STANDIN.INI)."""
    lines = []
    for service in ("QelSMS", "QelMMSC"):
        lines += ["[%s]" % service, "TestScenario=" + scenario]
        lines += ["%s=%s" % item for item in keys.items()]
    (env.install / "STANDIN.INI").write_text("\r\n".join(lines) + "\r\n", encoding="ascii")


def open_test_message_page(rig, env, scenario, smsgw="", **keys):
    """The main window on the Test Message tab with both services running as a gateway."""
    # A modem name with its colon: the error note of "COM1" would be COM1.ERR, a device name.
    write_ini(env.data / "SMSGW.INI", "[SMSGW]\nModem1=COM3:\n" + smsgw)
    set_scenario(env, scenario, **keys)
    done = env.run("-INSTALLSERVICE", "-QUIET", timeout=30)
    assert done.returncode == 0, done.stderr[-500:]
    services_are(rig, "running")
    program, sheet = open_main_window(rig, env)
    return program, sheet, select_page(rig, sheet, TEST_MESSAGE_TAB)


def usable(rig, page, id):
    c = controls(rig, page)[id]
    return c.visible and c.enabled


def send(rig, page, button, number="+4412345"):
    rig.settext(page, NUMBER, number)
    wait_for(lambda: usable(rig, page, button), what="the send button enabled")
    rig.click(page, id=button)


def texts(rig, page, *ids):
    return tuple(rig.text(page, id) for id in ids)


def wait_texts(rig, page, ids, expected, timeout=15):
    wait_for(lambda: texts(rig, page, *ids) == expected, timeout=timeout,
             what="%s showing %s" % (ids, expected))


def taken_request(env, extension):
    """The name of the test request the stand-in took last (TEST%04X)."""
    lines = [l for l in env.log_lines("STANDIN.LOG") if l.startswith("took TEST")
             and l.endswith(extension)]
    return lines[-1][len("took "):-len(extension)] if lines else None


def test_sms_sent_and_invalid_numbers_refused(rig, env):
    program, sheet, page = open_test_message_page(rig, env, "ok")
    assert not controls(rig, page)[CANCEL].visible
    rig.settext(page, NUMBER, "+44-123")
    wait_for(lambda: not usable(rig, page, SEND_SMS) and not usable(rig, page, SEND_MMS),
             what="both send buttons disabled for +44-123")

    send(rig, page, SEND_SMS)
    wait_texts(rig, page, (SMS_STATUS, SMS_DETAIL), (SENT, ""))
    name = taken_request(env, ".REQ")
    assert name and len(name) == 8, env.log_lines("STANDIN.LOG")
    log = next(env.data.glob("SMSOUT-*.LOG")).read_bytes().decode("cp1252")
    assert "," + name + ",+4412345,admin,OK," in log, log
    assert not controls(rig, page)[CANCEL].visible
    assert usable(rig, page, SEND_SMS)  # a done test can be repeated


def test_mms_retried_then_sent_as_a_copy_of_the_template(rig, env):
    program, sheet, page = open_test_message_page(rig, env, "retry", FinishAfterMs=6000)
    send(rig, page, SEND_MMS, "4477")
    wait_texts(rig, page, (MMS_STATUS, MMS_DETAIL),
               ("Status:  Retry pending, 2 attempts", "Last Error Info:  " + GATEWAY_ERROR))
    assert usable(rig, page, CANCEL) and not usable(rig, page, SEND_MMS)
    name = taken_request(env, ".INI")
    queue = env.data / "VASPQ"
    template = (env.install / "MMSTEST.MMS").read_bytes()
    assert (queue / (name + ".MMS")).read_bytes() == template
    control = env.ini(queue / (name + ".INI"))
    assert control["Routing"]["MessageID"] == name
    assert control["Recipients"]["Recip1"] == "4477/TYPE=VASP:qelsmslite"
    assert sorted(p.name for p in queue.iterdir()) == [name + ".INI", name + ".MMS"]

    wait_texts(rig, page, (MMS_STATUS, MMS_DETAIL), (SENT, ""), timeout=20)
    assert not controls(rig, page)[CANCEL].visible


def test_note_while_waiting_and_cancel_of_a_held_request(rig, env):
    program, sheet, page = open_test_message_page(rig, env, "offline")
    send(rig, page, SEND_SMS)
    wait_texts(rig, page, (SMS_STATUS, SMS_DETAIL), ("Status:  Modem Off-Line", GATEWAY_ERROR))
    assert not usable(rig, page, NUMBER)
    rig.click(page, id=CANCEL)
    wait_for(lambda: not controls(rig, page)[CANCEL].visible, what="Cancel hidden")
    assert list((env.data / "Q").iterdir()) == []
    (env.private / "COM3-.ERR").unlink()

    # The gateway holds the next request open: Cancel stops the services to delete it.
    set_scenario(env, "hold")
    send(rig, page, SEND_SMS)
    wait_for(lambda: any(l.startswith("holding TEST") for l in env.log_lines("STANDIN.LOG")),
             timeout=10, what="the request held")
    assert texts(rig, page, SMS_STATUS) == (WAITING,)
    stops = env.log_lines("STANDIN.LOG").count("stopped QelSMS")
    rig.click(page, id=CANCEL)
    wait_for(lambda: not controls(rig, page)[CANCEL].visible, timeout=30, what="Cancel hidden")
    assert list((env.data / "Q").iterdir()) == []
    assert env.log_lines("STANDIN.LOG").count("stopped QelSMS") == stops + 1
    services_are(rig, "running")
    assert texts(rig, page, SMS_STATUS, SMS_DETAIL) == ("", "")


def register_url_logger(rig, env):
    """Points the http protocol's open command at cmd's echo into a file of the test;
    gives that file and the command that was there before."""
    key = r"HKCR\http\shell\open\command"
    done = rig.wine(["reg", "query", key, "/ve"])
    previous = None
    for line in done.stdout.splitlines():
        if "REG_SZ" in line:
            previous = line.split("REG_SZ", 1)[1].strip()
    logged = env.folder / "url.txt"
    command = 'cmd.exe /c echo %%1>%s' % to_windows(logged)
    assert rig.wine(["reg", "add", key, "/ve", "/t", "REG_SZ", "/d", command, "/f"]).returncode == 0
    return key, previous, logged


def test_web_interface_opened_with_the_configured_address(rig, env):
    program, sheet, page = open_test_message_page(rig, env, "ok", "WebAuth=No\nWebPort=8123\n")
    key, previous, logged = register_url_logger(rig, env)
    try:
        rig.click(page, id=WEB)
        wait_for(lambda: logged.exists() and logged.read_bytes().strip(), timeout=15,
                 what="the URL opened")
        assert logged.read_bytes().decode().strip() == "http://127.0.0.1:8123/"

        # With web logins the first account is offered; once added, the browser opens.
        logged.unlink()
        write_ini(env.data / "SMSGW.INI", "[SMSGW]\nModem1=COM3:\nIPAddress=127.0.0.2\n")
        rig.click(page, id=WEB)
        box = rig.box(click="Yes")
        assert (box.text, box.buttons, box.icon) == (NO_USERS, ["Yes", "No"], "question"), box
        dialog = rig.find("Edit User", timeout=10)
        assert dialog, "the Edit User dialog did not open: %s" % (rig.windows(),)
        rig.settext(dialog, USER_NAME, "tester")
        rig.settext(dialog, USER_PASSWORD, "secret")
        rig.click(dialog, id=IDOK)
        wait_for(lambda: logged.exists() and logged.read_bytes().strip(), timeout=15,
                 what="the URL opened after the account was added")
        assert logged.read_bytes().decode().strip() == "http://127.0.0.2:8800/"
        assert user_names(env) == ["tester"]
    finally:
        if previous is not None:
            rig.wine(["reg", "add", key, "/ve", "/t", "REG_SZ", "/d", previous, "/f"])
        else:
            rig.wine(["reg", "delete", key, "/ve", "/f"])


def test_missing_template_and_queues_that_cannot_be_written(rig, env):
    program, sheet, page = open_test_message_page(rig, env, "ok")
    template = env.install / "MMSTEST.MMS"
    template.rename(env.install / "MMSTEST.KEEP")
    send(rig, page, SEND_MMS)
    box = rig.box(click="OK")
    assert (box.caption, box.icon) == ("Error locating MMS message template file", "error"), box
    assert box.text.lower() == (to_windows(env.install) + "\\MMSTEST.MMS").lower(), box
    (env.install / "MMSTEST.KEEP").rename(template)

    # A queue that is a file, not a folder: nothing can be created in it.
    for queue, button, message in (("VASPQ", SEND_MMS, "Error creating MMS request file in queue"),
                                   ("Q", SEND_SMS, "Error creating SMS request file in queue")):
        folder = env.data / queue
        if folder.exists():
            for item in folder.iterdir():
                item.unlink()
            folder.rmdir()
        folder.write_bytes(b"not a folder")
        send(rig, page, button)
        box = rig.box(click="OK")
        assert (box.text, box.icon) == (message, "error"), box
    assert rig.text(page, SMS_STATUS) == "" and rig.text(page, MMS_STATUS) == ""
