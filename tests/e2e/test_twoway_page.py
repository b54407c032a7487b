"""The 2-Way page and the "2-Way Keyword Processor" dialog driven from outside: keywords
added, edited and removed with each action, every refusal of the dialog, the character set
saved and "(default)" deleting its key, the PHP switch with and without php-cgi.exe, the
upload URL kept in the route section, and the viewers and the MM7 dialog opened from the
page."""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path

from harness import REG_KEY, REG_ROOT_KEY, Rig, parse_ini, to_windows, wait_for
from program import (CAPTION, ID_APPLY, IDCANCEL, IDOK, MAIN_TABS, configure_modem, controls,
                     end_program, is_checked, open_main_window, select_page, window_gone, write_ini)
from test_mm7_dialog import TITLE as MM7_TITLE, URL as MM7_URL, Server

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
    refused(rig, dialog, 'Invalid keyword!\r\nA keyword cannot contain "##".')
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


def test_long_row_edited_and_removed_and_a_refused_write_said(rig, env):
    # A row of 1023 characters (Wine's ANSI LB_GETTEXT overruns on rows above about 511).
    configure_modem(env, "ReceiveSMS=Yes\n[2Way-Keywords]\nKeyword1=TENLETTERS\nKeyword2=STOP\n"
                         "[2Way-Keyword-TENLETTERS]\nReplyText=%s\n[2Way-Keyword-STOP]\nDListRemove=News\n"
                         % ("z" * 1010))
    program, sheet, page = twoway_page(rig, env)
    assert [len(r) for r in rows(rig, page)] == [1023, len("STOP\tDListRemove=News")]
    rig.box_select(rig.control(page, TABLE), 0)
    dialog = keyword_dialog(rig, page, EDIT)
    assert rig.text(dialog, KEYWORD) == "TENLETTERS"
    rig.settext(dialog, KEYWORD, "ELEVENLETTER")
    rig.click(dialog, id=IDOK)
    wait_for(lambda: rows(rig, page)[0].startswith("ELEVENLETTER\t"), what="the long row renamed")
    rig.box_select(rig.control(page, TABLE), 0)
    rig.click(page, id=REMOVE)
    wait_for(lambda: rows(rig, page) == ["STOP\tDListRemove=News"], what="the long row removed")
    ini = env.ini("SMSGW.INI")
    assert "2Way-Keyword-ELEVENLETTER" not in ini and "2Way-Keyword-TENLETTERS" not in ini

    # A refused write says so with the system's text and keeps the dialog open. The file is
    # made immutable: the tests run as root, whom a read-only mode does not stop.
    smsgw = env.data / "SMSGW.INI"
    before = smsgw.read_bytes()
    subprocess.run(["chattr", "+i", str(smsgw)], check=True)
    try:
        dialog = keyword_dialog(rig, page, ADD)
        rig.settext(dialog, KEYWORD, "HELP")
        rig.settext(dialog, REPLY_TEXT, "hi")
        rig.click(dialog, id=IDOK)
        box = rig.box(click="OK")
        assert box.text.startswith("The configuration could not be saved to ") and box.icon == "error", box
        assert "SMSGW.INI.\r\n\r\n" in box.text, box
        assert rig.find(KW_TITLE, timeout=0) == dialog
        rig.click(dialog, id=IDCANCEL)
    finally:
        subprocess.run(["chattr", "-i", str(smsgw)], check=True)
    assert smsgw.read_bytes() == before and rows(rig, page) == ["STOP\tDListRemove=News"]
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


PHP_GONE = ("The php-cgi.exe of the configuration no longer exists:\r\n\r\n%s\r\n\r\n"
            "It has been removed from the configuration.")
PHP_FOUND = ("php-cgi.exe was found here:\r\n\r\n%s\r\n\r\n"
             "The gateway service will run this program for local PHP scripts. Use it?")


def php_question(rig, path, click):
    box = rig.box(timeout=60, click=click)
    assert (box.text.lower(), box.caption, box.icon, box.buttons) == (
        (PHP_FOUND % path).lower(), CAPTION, "question", ["Yes", "No"]), box


def test_php_switch_with_php_cgi_found(rig, env):
    old, new = env.folder / "php-old", env.folder / "php"
    for folder in (old, new):
        folder.mkdir()
        shutil.copy2(str(rig.testbin / "php" / "php-cgi.exe"), str(folder / "php-cgi.exe"))
    old_exe, new_exe = to_windows(old) + "\\php-cgi.exe", to_windows(new) + "\\php-cgi.exe"
    configure_modem(env, "PHPEnable=Yes\nPHPAllowRemote=Yes\nPHP-CGI.EXE=%s\n" % old_exe)
    rig.env["PHPRC"] = to_windows(new)
    try:
        program, sheet, page = twoway_page(rig, env)  # the configured path: nothing asked
    finally:
        del rig.env["PHPRC"]
    assert is_checked(rig, page, PHP_ENABLE) and is_checked(rig, page, PHP_REMOTE)
    directory = to_windows(env.data) + "\\PHP\\"
    assert controls(rig, page)[PHP_LABEL].text == "http://qelsms.local/php resolves to " + directory
    assert (env.data / "PHP").is_dir()
    rig.click(page, id=PHP_ENABLE)
    assert not controls(rig, page)[PHP_REMOTE].enabled and controls(rig, page)[PHP_LABEL].text == ""

    # The configured one gone: said, then the one PHPRC names is shown and stored only on Yes.
    (old / "php-cgi.exe").unlink()
    rig.click(page, id=PHP_ENABLE)
    box = rig.box(timeout=30, click="OK")
    assert (box.text, box.icon) == (PHP_GONE % old_exe, "warning"), box
    php_question(rig, new_exe, "No")
    wait_for(lambda: not is_checked(rig, page, PHP_ENABLE), what="PHP left off")
    assert "PHP-CGI.EXE" not in env.ini("SMSGW.INI")["SMSGW"]
    # A Yes the configuration cannot take is said and leaves PHP off.
    smsgw = env.data / "SMSGW.INI"
    subprocess.run(["chattr", "+i", str(smsgw)], check=True)
    try:
        rig.click(page, id=PHP_ENABLE)
        php_question(rig, new_exe, "Yes")
        box = rig.box(click="OK")
        assert box.text.startswith("The configuration could not be saved to ") and box.icon == "error", box
        wait_for(lambda: not is_checked(rig, page, PHP_ENABLE), what="PHP left off after the refusal")
    finally:
        subprocess.run(["chattr", "-i", str(smsgw)], check=True)
    rig.click(page, id=PHP_ENABLE)
    php_question(rig, new_exe, "Yes")
    wait_for(lambda: controls(rig, page)[PHP_REMOTE].enabled, what="PHP switched on")
    assert env.ini("SMSGW.INI")["SMSGW"]["PHP-CGI.EXE"].lower() == new_exe.lower()
    rig.click(sheet, id=IDOK)
    end_program(rig, program)
    assert env.ini("SMSGW.INI")["SMSGW"]["PHPEnable"] == "Yes"


def test_configure_opens_the_mm7_dialog_and_a_saved_server_clears_the_refusal(rig, env):
    configure_modem(env, "ReceiveSMS=Yes\nReceiveMMS=Yes\n[%s]\nMMSRouting=qelsmslitemm7\n" % ROUTE)
    program, sheet, page = twoway_page(rig, env)
    assert is_checked(rig, page, MM7) and controls(rig, page)[CONFIGURE].enabled
    rig.click(page, id=CONFIGURE)
    dialog = rig.find(MM7_TITLE, timeout=10)
    assert dialog, "Configure did not open the MM7 dialog: %s" % (rig.windows(),)
    rig.click(dialog, id=IDCANCEL)
    wait_for(lambda: window_gone(rig, dialog), what="the MM7 dialog closed")
    rig.click(sheet, id=IDOK)
    assert rig.box(click="OK").text == "MM7 Settings must be configured"

    server = Server("127.0.0.1")
    try:
        rig.click(page, id=CONFIGURE)
        dialog = rig.find(MM7_TITLE, timeout=10)
        rig.settext(dialog, MM7_URL, "http://127.0.0.1:%d/mm7" % server.port)
        rig.click(dialog, id=IDOK)
        wait_for(lambda: window_gone(rig, dialog), timeout=30, what="the MM7 dialog saved")
    finally:
        server.close()
    assert env.ini("VASPOUT/qelsmslitemm7/VASP.INI")["VASP"]["Server"] == "http://127.0.0.1:%d/mm7" % server.port
    rig.click(sheet, id=IDOK)
    end_program(rig, program)                            # the service question comes first
    assert env.ini("SMSGW.INI")[ROUTE]["MMSRouting"] == "qelsmslitemm7"


# --- the php-cgi.exe search over drives of the test's own ---

class DrivesRig(Rig):
    """A rig on a prefix of its own whose drives are C: and the given letters, each a folder
    here, and no Z: (the whole Unix tree): a search over the fixed drives sees only these.
    qauto.exe runs from the folder of drive Y:."""

    def __init__(self, rig, drives):
        self.drives = drives
        super().__init__(rig.root, rig.win, prefix=Path(str(rig.prefix) + "-drives"))

    def _ensure_prefix(self):
        super()._ensure_prefix()
        devices = self.prefix / "dosdevices"
        for link in devices.iterdir():
            if len(link.name) == 2 and link.name.endswith(":") and link.name != "c:":
                link.unlink()
        for letter, folder in self.drives.items():
            (devices / (letter + ":")).symlink_to(folder)
        self.qauto_exe = self.drives["y"] / "qauto.exe"
        shutil.copy2(str(self.testbin / "qauto.exe"), str(self.qauto_exe))
        self.env.pop("PHPRC", None)


def test_php_refused_without_php_cgi_and_open_folders_and_links_not_entered(rig):
    work = Path(tempfile.mkdtemp(prefix="phpdrives-", dir=str(rig.tmp_root)))
    y, x, outside = work / "y", work / "x", work / "outside"
    shutil.copytree(str(rig.install_source), str(y / "install"))
    for folder in (y / "data", y / "private", x / "loop", x / "aaa", outside):
        folder.mkdir(parents=True)
    # A folder any user may write (as one made at a drive's root): what lies there is not taken.
    os.chmod(str(x / "aaa"), 0o777)
    shutil.copy2(str(rig.testbin / "php" / "php-cgi.exe"), str(x / "aaa" / "php-cgi.exe"))
    (x / "loop" / "again").symlink_to(x / "loop")           # a loop inside the drive
    (x / "linked").symlink_to(outside)                       # the only way to this php-cgi.exe
    shutil.copy2(str(rig.testbin / "php" / "php-cgi.exe"), str(outside / "php-cgi.exe"))
    write_ini(y / "data" / "SMSGW.INI", "[SMSGW]\nModem1=COM1\nReceiveSMS=Yes\n")
    drives = DrivesRig(rig, {"x": x, "y": y})
    try:
        for name, folder in (("DataDirectory", "data"), ("PrivateDataDirectory", "private"),
                             ("ProgramDirectory", "install")):
            drives.wine(["reg", "add", REG_KEY, "/v", name, "/d", "Y:\\%s\\" % folder, "/f"], check=True)
        program = drives.wine_start(["Y:\\install\\QELCONF.EXE"], cwd=str(y / "install"))
        sheet = drives.find(CAPTION, timeout=20)
        assert sheet, "the main window did not open: %s" % (drives.windows(),)
        page = select_page(drives, sheet, TWOWAY_TAB)
        drives.click(page, id=PHP_ENABLE)
        box = drives.box(timeout=60, click="OK")
        assert (box.text, box.caption, box.icon, box.buttons) == (
            "PHP support not available, unable to locate php-cgi.exe", CAPTION, "error", ["OK"]), box
        assert not is_checked(drives, page, PHP_ENABLE)
        assert "PHP-CGI.EXE" not in drives_ini(y)["SMSGW"]

        # The same search finds one in a folder of a test drive.
        (x / "tools").mkdir()
        shutil.copy2(str(outside / "php-cgi.exe"), str(x / "tools" / "php-cgi.exe"))
        drives.click(page, id=PHP_ENABLE)
        php_question(drives, "X:\\tools\\php-cgi.exe", "Yes")
        wait_for(lambda: controls(drives, page)[PHP_REMOTE].enabled, timeout=30, what="PHP switched on")
        assert drives_ini(y)["SMSGW"]["PHP-CGI.EXE"].lower() == "x:\\tools\\php-cgi.exe"
        drives.click(sheet, id=IDOK)
        end_program(drives, program)
    finally:
        drives.reg_delete(REG_ROOT_KEY)
        drives.close()
        shutil.rmtree(str(work), ignore_errors=True)


def drives_ini(y):
    return parse_ini((y / "data" / "SMSGW.INI").read_bytes().decode("cp1252"))
