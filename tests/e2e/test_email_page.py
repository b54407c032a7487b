"""The E-Mail page and its two dialogs driven from outside: the page's keys in MMSC.INI and
SMSGW.INI, the authorised senders, and the mailbox dialog's defaults, refusals and removal.
A mailbox saved after both logins succeeded is shown against real mail servers below."""

from harness import to_windows, wait_for
from program import (CAPTION, HELP_DOCUMENT, ID_APPLY, IDCANCEL, IDHELP, IDOK, MAIN_TABS, configure_modem,
                     controls, end_program, is_checked, open_main_window, select_page, sheet_button, window_gone,
                     write_ini)

from test_viewers import launch_rig, logged

EMAIL_TAB = MAIN_TABS.index("E-Mail")
SMS_MAILBOX, SMS_MAILBOX_ADDRESS, AUTHORISED = 306, 307, 115
SMS_PER_EMAIL, USE_MMS, FORCE_MMS, ROUTE_REPLIES, DELIVERY_REPORTS, TEMPLATE = 122, 310, 311, 303, 312, 314
# The mailbox dialog.
ADDRESS, FULL_NAME, USER, PASSWORD, IMAP, POP3, USE_TLS = 102, 104, 106, 107, 109, 110, 111
SERVER_HOST, SERVER_PORT, SMTP_HOST, SMTP_PORT, POLL, REMOVE = 113, 114, 117, 118, 121, 124
# The authorised senders dialog.
ENTRY, ADD, SENDERS, REMOVE_SENDER = 107, 108, 109, 110
SENDERS_TITLE = "Authorised E-Mail to SMS/MMS Senders"


def email_page(rig, env):
    program, sheet = open_main_window(rig, env)
    return program, sheet, select_page(rig, sheet, EMAIL_TAB)


def mmsc(env):
    return env.ini("MMSC.INI")


def mailbox_dialog(rig, page):
    rig.click(page, id=SMS_MAILBOX)
    # The dialog has no title: it is the window that holds the mailbox fields.
    def found():
        for window in rig.windows():
            if window.title == "" and ADDRESS in controls(rig, window.hwnd) and \
                    REMOVE in controls(rig, window.hwnd):
                return window.hwnd
        return None
    return wait_for(found, what="the mailbox dialog")


def test_page_keys_and_authorised_senders(rig, env):
    configure_modem(env, "ReceiveSMS=No\n")
    write_ini(env.data / "MMSC.INI", "[MMSC]\nSMSEMailTemplate=@@Text@@\n[AuthEMailSMS]\n"
              "User1=b@example.com\nUser3=c@example.com,keep\n")
    program, sheet, page = email_page(rig, env)
    c = controls(rig, page)
    assert (c[SMS_MAILBOX_ADDRESS].text, c[SMS_PER_EMAIL].text, c[TEMPLATE].text) == (
        "(Not Configured)", "1", "@@Text@@")
    assert not c[308].visible and not c[DELIVERY_REPORTS].enabled

    rig.click(page, id=ROUTE_REPLIES)
    assert controls(rig, page)[DELIVERY_REPORTS].enabled
    rig.click(page, id=DELIVERY_REPORTS)
    rig.click(page, id=USE_MMS)
    rig.settext(page, SMS_PER_EMAIL, "0")
    rig.settext(page, TEMPLATE, "@@FromAddress@@ /@@Subject@@ /@@Text@@")
    rig.click(sheet, id=ID_APPLY)
    # ReceiveSMS in SMSGW.INI is the apply's last write.
    wait_for(lambda: env.ini("SMSGW.INI")["SMSGW"].get("ReceiveSMS") == "Yes", what="the page applied")
    keys = mmsc(env)["MMSC"]
    assert (keys["SMSEMail"], keys["SMSPerEMail"], keys["SMSEMailReceiptRequested"], keys["SMSEMailUseMMS"]) == (
        "No", "1", "Yes", "Yes")
    assert "SMSEMailTemplate" not in keys and "SMSEMailForceMMS" not in keys
    assert env.ini("SMSGW.INI")["SMSGW"]["ReceiveSMS"] == "Yes"

    # Senders: an entry for a listed address replaces it; Remove; OK writes them in order.
    rig.click(page, id=AUTHORISED)
    dialog = rig.find(SENDERS_TITLE, timeout=10)
    list_box = rig.control(dialog, SENDERS)
    assert [text for text, _ in rig.box_items(list_box)] == ["b@example.com", "c@example.com,keep"]
    rig.settext(dialog, ENTRY, "C@EXAMPLE.COM,new")
    rig.click(dialog, id=ADD)
    rig.settext(dialog, ENTRY, "a@example.com")
    rig.click(dialog, id=IDOK)                     # with text in the field, OK adds it
    assert [text for text, _ in rig.box_items(list_box)] == ["a@example.com", "b@example.com", "C@EXAMPLE.COM,new"]
    rig.box_select(list_box, 1)
    rig.click(dialog, id=REMOVE_SENDER)
    rig.click(dialog, id=IDOK)
    wait_for(lambda: dict(mmsc(env)["AuthEMailSMS"]) == {"User1": "a@example.com", "User2": "C@EXAMPLE.COM,new"},
             what="the senders written")
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_template_choice_marks_the_page_and_cancel_asks_from_its_flag(rig, env):
    configure_modem(env)
    write_ini(env.data / "MMSC.INI", "[MMSC]\nSMSEMail=No\n")
    before = (env.data / "MMSC.INI").read_bytes()
    program, sheet, page = email_page(rig, env)
    assert not sheet_button(rig, sheet, ID_APPLY).enabled
    combo = rig.control(page, TEMPLATE)
    edit = next(c.hwnd for c in rig.children(page) if c.parent == combo)
    rig.key(edit, "0x28")  # Down: the next template of the list
    wait_for(lambda: sheet_button(rig, sheet, ID_APPLY).enabled, what="Apply enabled by the choice")
    chosen = rig.text(page, TEMPLATE)
    assert chosen, "no template chosen"

    # The page's own flag makes Cancel ask; No keeps the sheet and writes nothing.
    rig.click(sheet, id=IDCANCEL)
    box = rig.box(click="No")
    assert (box.text, box.buttons, box.icon) == (
        "Exit without saving configuration changes?", ["Yes", "No", "Cancel"], "question"), box
    assert not window_gone(rig, sheet) and (env.data / "MMSC.INI").read_bytes() == before
    rig.click(sheet, id=ID_APPLY)
    wait_for(lambda: not sheet_button(rig, sheet, ID_APPLY).enabled, what="the page applied")
    rig.click(sheet, id=IDCANCEL)  # applied: the flag is clear, no question
    end_program(rig, program)


def test_mailbox_defaults_refusals_and_removal(rig, env):
    configure_modem(env)
    write_ini(env.data / "MMSC.INI", "[MMSC]\nSMSMailbox=gw@example.com\n[Mailbox-gw@example.com]\n"
              "EMailAddress=gw@example.com\nPOP3Server=pop.example.com\nUseSSL=Yes\n")
    program, sheet, page = email_page(rig, env)
    assert rig.text(page, SMS_MAILBOX_ADDRESS) == "gw@example.com"
    dialog = mailbox_dialog(rig, page)
    c = controls(rig, dialog)
    assert (c[SERVER_HOST].text, c[SERVER_PORT].text, c[SMTP_PORT].text, c[POLL].text) == (
        "pop.example.com", "995", "587", "120")
    assert is_checked(rig, dialog, POP3) and is_checked(rig, dialog, USE_TLS)
    rig.click(dialog, id=USE_TLS)
    assert (rig.text(dialog, SERVER_PORT), rig.text(dialog, SMTP_PORT)) == ("110", "25")
    rig.click(dialog, id=IMAP)
    assert rig.text(dialog, SERVER_PORT) == "143"

    # Every required field in turn, the address first: nothing is written.
    before = (env.data / "MMSC.INI").read_bytes()
    for field, value in ((ADDRESS, ""), (USER, ""), (PASSWORD, ""), (SERVER_HOST, ""), (SMTP_HOST, "")):
        rig.settext(dialog, field, value)
    for field, value in ((ADDRESS, "gw2@example.com"), (USER, "gw"), (PASSWORD, "pw"),
                         (SERVER_HOST, "imap.example.com"), (None, None)):
        rig.click(dialog, id=IDOK)
        box = rig.box(click="OK")
        assert (box.text, box.icon, box.caption) == ("Field is required!", "error", CAPTION), box
        if field:
            rig.settext(dialog, field, value)
    assert (env.data / "MMSC.INI").read_bytes() == before

    rig.click(dialog, id=REMOVE)
    box = rig.box(click="No")
    assert (box.text, box.buttons, box.icon) == (
        "All Mailbox Settings will be removed.\r\n\r\nAre you sure?", ["Yes", "No", "Cancel"], "question"), box
    rig.click(dialog, id=REMOVE)
    rig.box(click="Yes")
    wait_for(lambda: rig.text(page, SMS_MAILBOX_ADDRESS) == "(Not Configured)", what="the mailbox removed")
    ini = mmsc(env)
    assert "SMSMailbox" not in ini["MMSC"] and "Mailbox-gw@example.com" not in ini
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_mailbox_saved_after_both_logins_succeed(rig, env):
    from mail_servers import MailServers, PLAIN_PASSWORD, PLAIN_USER
    configure_modem(env)
    write_ini(env.data / "MMSC.INI", "[MMSC]\nSMSMailbox=old@example.com\n[Mailbox-old@example.com]\n"
              "EMailAddress=old@example.com\nIMAPServer=imap.example.com\n")
    with MailServers(rig, env.folder) as servers:
        program, sheet, page = email_page(rig, env)
        dialog = mailbox_dialog(rig, page)
        imap_host, imap_port = servers.imap_tls.rsplit(":", 1)
        smtp_host, smtp_port = servers.smtp_starttls.rsplit(":", 1)
        for field, value in ((ADDRESS, "gw@example.com"), (FULL_NAME, "Gateway"), (USER, PLAIN_USER),
                             (PASSWORD, PLAIN_PASSWORD)):
            rig.settext(dialog, field, value)

        # While a test runs the dialog is disabled (no second test) and the wait window shows.
        slow = servers.fake(greeting=b"* OK hi\r\n", greeting_delay=4, answers=[b"A0001 NO no\r\n"])
        for field, value in ((SERVER_HOST, "127.0.0.1"), (SERVER_PORT, str(slow.port)), (SMTP_HOST, smtp_host)):
            rig.settext(dialog, field, value)
        rig.click(dialog, id=IDOK)
        assert rig.find("Test in Progress", timeout=3), "no wait window"
        assert "enabled: no" in rig.qauto("state", "--hwnd", dialog)[1]
        box = rig.box(click="OK", timeout=30)
        assert box.text == "IMAP login failed - Invalid username and/or password?", box
        assert "enabled: yes" in rig.qauto("state", "--hwnd", dialog)[1] and slow.received[:1] == [
            'A0001 LOGIN "%s" "%s"' % (PLAIN_USER, PLAIN_PASSWORD)]

        rig.click(dialog, id=USE_TLS)
        for field, value in ((SERVER_HOST, imap_host), (SERVER_PORT, imap_port), (SMTP_HOST, smtp_host),
                             (SMTP_PORT, smtp_port), (POLL, "")):
            rig.settext(dialog, field, value)

        # A wrong password: the server's own message, the focus stays and nothing is written.
        rig.settext(dialog, PASSWORD, "wrong")
        rig.click(dialog, id=IDOK)
        box = rig.box(click="OK", timeout=30)
        assert box.text == "IMAP login failed - Invalid username and/or password?", box
        assert "Mailbox-gw@example.com" not in mmsc(env)

        rig.settext(dialog, PASSWORD, PLAIN_PASSWORD)
        rig.click(dialog, id=IDOK)
        wait_for(lambda: rig.text(page, SMS_MAILBOX_ADDRESS) == "gw@example.com", timeout=30,
                 what="the mailbox saved")
        ini = mmsc(env)
        assert "Mailbox-old@example.com" not in ini and ini["MMSC"]["SMSMailbox"] == "gw@example.com"
        box_keys = dict(ini["Mailbox-gw@example.com"])
        assert box_keys == {"EMailAddress": "gw@example.com", "EMailFullName": "Gateway", "Username": PLAIN_USER,
                            "Password": PLAIN_PASSWORD, "IMAPServer": servers.imap_tls, "UseSSL": "Yes",
                            "SMTPServer": servers.smtp_starttls}, box_keys
        rig.click(sheet, id=IDCANCEL)
        end_program(rig, program)


def test_help_opens_the_help_document(rig, env):
    configure_modem(env)
    launch, _, open_log = launch_rig(rig)
    try:
        launch.wine(["reg", "add", "HKCR\\.pdf", "/ve", "/d", "QelTest.jpg", "/f"], check=True)
        env.rig = launch
        env.write_registry()
        program, sheet = open_main_window(launch, env)
        select_page(launch, sheet, EMAIL_TAB)
        launch.click(sheet, id=IDHELP)
        assert to_windows(env.install / HELP_DOCUMENT) in logged(open_log)[0]
        launch.click(sheet, id=IDCANCEL)
        end_program(launch, program)
    finally:
        env.rig = rig
        launch.close()
