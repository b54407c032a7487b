"""The 2-Way page and the "2-Way Keyword Processor" dialog driven from outside: keywords
added, edited and removed with each action, every refusal of the dialog, the character set
saved and "(default)" deleting its key, the PHP switch with and without php-cgi.exe, the
upload URL kept in the route section, and the viewers and the MM7 dialog opened from the
page."""

import shutil

from harness import to_windows, wait_for
from program import (CAPTION, ID_APPLY, IDCANCEL, IDOK, MAIN_TABS, configure_modem, controls,
                     end_program, is_checked, open_main_window, select_page)

TWOWAY_TAB = MAIN_TABS.index("2-Way")
RECEIVE_SMS, COMMANDS, TABLE, ADD, EDIT, REMOVE, CHARSET = 101, 104, 106, 107, 108, 109, 111
RECEIVE_MMS, MMS_IN, POST, POST_URL, MM7, CONFIGURE = 112, 113, 115, 116, 114, 119
VIEW_SMS, VIEW_MMS, PHP_ENABLE, PHP_LABEL, PHP_REMOTE = 120, 121, 191, 192, 193
# The keyword dialog.
KW_TITLE = "2-Way Keyword Processor"
KEYWORD, NUMBERS, REPLY, REPLY_TEXT, IMAGE, IMAGE_FILE, BROWSE = 102, 104, 106, 107, 108, 109, 110
RUN, COMMAND, MAIL, MAIL_ADDRESS, ADD_LIST, ADD_NAME, REMOVE_LIST, REMOVE_NAME = 111, 112, 113, 114, 115, 116, 117, 118
SEND_OUTPUT = 119
ROUTE = "Modem - COM1"


def twoway_page(rig, env):
    program, sheet = open_main_window(rig, env)
    return program, sheet, select_page(rig, sheet, TWOWAY_TAB)


def rows(rig, page):
    return [text for text, _ in rig.box_items(rig.control(page, TABLE))]


def keyword_dialog(rig, page, button):
    rig.click(page, id=button)
    dialog = rig.find(KW_TITLE, timeout=10)
    assert dialog, "the keyword dialog did not open: %s" % (rig.windows(),)
    return dialog


def refused(rig, dialog, text):
    rig.click(dialog, id=IDOK)
    box = rig.box(click="OK")
    assert (box.text, box.caption, box.icon, box.buttons) == (text, CAPTION, "error", ["OK"]), box


def close(rig, program, sheet):
    rig.click(sheet, id=IDCANCEL)
    end_program(rig, program)


def test_keywords_added_edited_and_removed(rig, env):
    configure_modem(env, "ReceiveSMS=Yes\n[2Way-Keywords]\nKeyword1=STOP##555\n[2Way-Keyword-STOP##555]\n"
                         "DListRemove=News\n")
    (env.data / "FILES").mkdir()
    (env.data / "FILES" / "logo.png").write_bytes(b"png")
    program, sheet, page = twoway_page(rig, env)
    assert rows(rig, page) == ["STOP##555\tDListRemove=News"]

    # Add: the refusals in their order, each with its message; then every action saved.
    dialog = keyword_dialog(rig, page, ADD)
    assert not controls(rig, dialog)[NUMBERS].visible
    refused(rig, dialog, "Keyword is required!")
    rig.settext(dialog, KEYWORD, "x" * 1011)
    refused(rig, dialog, "The keyword and its receive phone numbers are too long: together they "
                         "must fit in 1010 characters.")
    rig.settext(dialog, KEYWORD, "stop##555")
    refused(rig, dialog, 'The keyword "stop##555" is already in the command table.')
    rig.settext(dialog, KEYWORD, "HELP")
    refused(rig, dialog, "At least one type of action is required")
    rig.click(dialog, id=REPLY)
    refused(rig, dialog, "Reply text cannot be blank")
    rig.settext(dialog, REPLY_TEXT, "y" * 1000 + "\r\n" * 12)
    refused(rig, dialog, "The reply text is too long: with each line break stored as two "
                         "characters it must fit in 1023 characters.")
    rig.settext(dialog, REPLY_TEXT, "Line one\r\nLine two")
    rig.click(dialog, id=IMAGE)
    refused(rig, dialog, "Reply file must be selected")
    rig.click(dialog, id=IMAGE)
    rig.settext(dialog, COMMAND, "notepad")
    assert is_checked(rig, dialog, RUN)                   # typing checks the action
    refused(rig, dialog, "Cannot locate program file:  notepad.EXE\r\n\r\nPlease specify an "
                         "http://url, or a valid executable file name.")
    rig.settext(dialog, COMMAND, "")
    assert not is_checked(rig, dialog, RUN)
    rig.click(dialog, id=RUN)
    refused(rig, dialog, "Run command cannot be blank")
    rig.settext(dialog, COMMAND, "HTTPS://example.invalid/?from=@@SENDER@@&t=@@SMS@@")
    rig.click(dialog, id=SEND_OUTPUT)
    rig.click(dialog, id=MAIL)
    refused(rig, dialog, "E-Mail Address cannot be blank")
    rig.settext(dialog, MAIL_ADDRESS, "desk@example.com")
    rig.click(dialog, id=ADD_LIST)
    refused(rig, dialog, "Distribution list name cannot be blank")
    rig.settext(dialog, ADD_NAME, "News")
    rig.click(dialog, id=REMOVE_LIST)
    refused(rig, dialog, "Distribution list name cannot be blank")
    rig.click(dialog, id=REMOVE_LIST)

    # Browse: an image inside FILES is stored by its relative name.
    rig.click(dialog, id=BROWSE)
    opened = rig.find("Open", timeout=10)
    assert opened, rig.windows()
    rig.settext(opened, 1148, to_windows(env.data / "FILES" / "logo.png"))
    rig.click(opened, text="&Open")
    wait_for(lambda: controls(rig, dialog)[IMAGE_FILE].text == "logo.png", what="the image chosen")
    assert is_checked(rig, dialog, IMAGE)
    rig.click(dialog, id=IDOK)
    wait_for(lambda: len(rows(rig, page)) == 2, what="the new row")
    section = env.ini("SMSGW.INI")["2Way-Keyword-HELP"]
    assert dict(section) == {
        "ReplyText": "Line one\\r\\nLine two", "ReplyFile": "logo.png",
        "Run": "HTTPS://example.invalid/?from=@@SENDER@@&t=@@SMS@@", "MailTo": "desk@example.com",
        "DListAdd": "News", "RunSendResponse": "Yes"}, dict(section)
    assert env.ini("SMSGW.INI")["2Way-Keywords"]["Keyword2"] == "HELP"
    assert rows(rig, page)[1] == ("HELP\tDListAdd=News\tReplyFile=logo.png\tReplyText=Line one\\r\\nLine two"
                                  "\tMailTo=desk@example.com\tRun=HTTPS://example.invalid/?from=@@SENDER@@"
                                  "&t=@@SMS@@\tRunSendResponse=Yes")

    # Edit: the reply comes back on two lines; renaming moves the section, the hidden
    # numbers follow the keyword; clearing a field unchecks and drops its action.
    rig.box_select(rig.control(page, TABLE), 0)
    dialog = keyword_dialog(rig, page, EDIT)
    assert controls(rig, dialog)[NUMBERS].text == "555"
    assert is_checked(rig, dialog, REMOVE_LIST)
    rig.settext(dialog, KEYWORD, "QUIT")
    rig.settext(dialog, MAIL_ADDRESS, "")
    assert not is_checked(rig, dialog, MAIL)
    rig.click(dialog, id=IDOK)
    wait_for(lambda: rows(rig, page)[0].startswith("QUIT##555\t"), what="the renamed row")
    ini = env.ini("SMSGW.INI")
    assert "2Way-Keyword-STOP##555" not in ini
    assert ini["2Way-Keywords"]["Keyword1"] == "QUIT##555"
    rig.box_select(rig.control(page, TABLE), 1)
    dialog = keyword_dialog(rig, page, EDIT)
    assert controls(rig, dialog)[REPLY_TEXT].text == "Line one\r\nLine two"
    rig.click(dialog, id=IDCANCEL)

    # Remove the first: the second moves up, its section stays, the first's goes.
    rig.box_select(rig.control(page, TABLE), 0)
    rig.click(page, id=REMOVE)
    wait_for(lambda: len(rows(rig, page)) == 1, what="the row removed")
    ini = env.ini("SMSGW.INI")
    assert ini["2Way-Keywords"]["Keyword1"] == "HELP" and "Keyword2" not in ini["2Way-Keywords"]
    assert "2Way-Keyword-QUIT##555" not in ini and "2Way-Keyword-HELP" in ini
    close(rig, program, sheet)


def test_settings_charset_upload_url_and_refusals_on_leaving(rig, env):
    configure_modem(env, "ReceiveSMS=Yes\nReceiveSMSCharset=utf-7\n"
                         "[%s]\n2WayMMSPostURL=upload.example/in\n" % ROUTE)
    program, sheet, page = twoway_page(rig, env)
    items = controls(rig, page)
    assert items[POST].visible and is_checked(rig, page, POST)
    assert items[CHARSET].text == "utf-7", items[CHARSET].text
    # "(default)" deletes the key; the upload URL is completed and stays in the route section.
    rig.key(rig.control(page, CHARSET), "HOME")
    rig.click(page, id=RECEIVE_MMS)
    rig.click(sheet, id=ID_APPLY)
    wait_for(lambda: "ReceiveSMSCharset" not in env.ini("SMSGW.INI")["SMSGW"], what="the charset key deleted")
    ini = env.ini("SMSGW.INI")
    assert ini[ROUTE]["2WayMMSPostURL"] == "http://upload.example/in"
    assert "2WayMMSPostURL" not in ini["SMSGW"] and ini["SMSGW"]["ReceiveMMS"] == "Yes"
    assert controls(rig, page)[POST_URL].text == "http://upload.example/in"

    # Local routing without an account, and MM7 routing without an MM7 server, keep the page.
    rig.click(page, id=102)
    rig.click(sheet, id=ID_APPLY)
    box = rig.box(click="OK")
    assert (box.text, box.icon) == ("Please select a local user account to receive messages", "error"), box
    rig.click(page, id=COMMANDS)
    rig.click(page, id=MM7)
    rig.click(sheet, id=ID_APPLY)
    box = rig.box(click="OK")
    assert (box.text, box.icon) == ("MM7 Settings must be configured", "error"), box
    rig.click(page, id=MMS_IN)

    # The viewers open from the page.
    for button in (VIEW_SMS, VIEW_MMS):
        rig.click(page, id=button)
        viewer = wait_for(lambda: [w for w in rig.windows() if w.title.startswith("Received")],
                          what="the viewer")[0]
        rig.close_window(viewer.hwnd)
        wait_for(lambda: not [w for w in rig.windows() if w.title.startswith("Received")],
                 what="the viewer closed")
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_php_switch_with_php_cgi_found(rig, env):
    php = env.folder / "php"
    php.mkdir()
    shutil.copy2(str(rig.testbin / "php" / "php-cgi.exe"), str(php / "php-cgi.exe"))
    configure_modem(env, "PHPEnable=Yes\nPHPAllowRemote=Yes\n")
    rig.env["PHPRC"] = to_windows(php)
    try:
        program, sheet, page = twoway_page(rig, env)
    finally:
        del rig.env["PHPRC"]
    assert is_checked(rig, page, PHP_ENABLE) and is_checked(rig, page, PHP_REMOTE)
    directory = to_windows(env.data) + "\\PHP\\"
    assert controls(rig, page)[PHP_LABEL].text == "http://qelsms.local/php resolves to " + directory
    assert (env.data / "PHP").is_dir()
    assert env.ini("SMSGW.INI")["SMSGW"]["PHP-CGI.EXE"].lower() == (to_windows(php) + "\\php-cgi.exe").lower()
    rig.click(page, id=PHP_ENABLE)
    assert not controls(rig, page)[PHP_REMOTE].enabled and controls(rig, page)[PHP_LABEL].text == ""
    rig.click(page, id=PHP_ENABLE)                       # found again from the stored path
    wait_for(lambda: controls(rig, page)[PHP_REMOTE].enabled, what="PHP switched on")
    rig.click(sheet, id=IDOK)
    end_program(rig, program)
    assert env.ini("SMSGW.INI")["SMSGW"]["PHPEnable"] == "Yes"
