"""The Users page and the "Edit User" dialog driven from outside: accounts added, renamed
(folder and routing key moved) and deleted (three at once, with folders and keys), the keys
of the list, type-ahead, the login switch, the refusals, and a user file that does not open."""

from account_files import (read_users, read_vasp_users, user_names, user_record, vasp_names,
                           write_users)
from harness import wait_for
from program import (CAPTION, ID_APPLY, IDCANCEL, IDOK, MAIN_TABS, configure_modem, controls,
                     end_program, is_checked, open_main_window, select_page)

USERS_TAB = MAIN_TABS.index("Users")
LIST, EDIT, ADD, DELETE, WEB_AUTH = 101, 102, 103, 104, 105
# The Edit User dialog.
NAME, PASSWORD, FULL_NAME = 104, 106, 108
WEB_LOGIN, SMPP_LOGIN, ACCEPT, ROUTING, MM7_LOGIN, IP = 101, 102, 109, 111, 113, 121
WEB_MENU, ADMIN = 128, 140
ROUTING_SECTION = "Inbound SMS Routing"


def seed(env, names, routing=True, extra=""):
    """Accounts with a folder each and, for each, a routing key; a configured modem."""
    write_users(env, [user_record(n, full_name=n.title() + " Example", smpp=True, accept=True)
                      for n in names])
    keys = "".join("%s=+44%d\n" % (n, i) for i, n in enumerate(names)) if routing else ""
    configure_modem(env, extra + "[%s]\n%s" % (ROUTING_SECTION, keys))
    for n in names:
        folder = env.data / "USERS" / n
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "INBOX.TXT").write_text("mail of " + n)


def users_page(rig, env):
    program, sheet = open_main_window(rig, env)
    page = select_page(rig, sheet, USERS_TAB)
    return program, sheet, page, rig.control(page, LIST)


def routing_keys(env):
    ini = env.ini("SMSGW.INI")
    return sorted(ini[ROUTING_SECTION].keys()) if ROUTING_SECTION in ini else []


def edit_dialog(rig):
    dialog = rig.find("Edit User", timeout=10)
    assert dialog, "the Edit User dialog did not open: %s" % (rig.windows(),)
    return dialog


def shown_rows(rig, list_hwnd):
    return rig.list_cells(list_hwnd)


def close(rig, program, sheet):
    rig.click(sheet, id=IDOK)
    end_program(rig, program)


def test_add_rename_and_delete_three(rig, env):
    seed(env, ["alice", "bob", "carol", "dave"])
    program, sheet, page, users = users_page(rig, env)
    wait_for(lambda: shown_rows(rig, users)[:2] == [["alice", "Alice Example"], ["bob", "Bob Example"]],
             what="the accounts listed")

    # Add: every field of the dialog reaches the record, the routing key and the MM7 login.
    rig.click(page, id=ADD)
    dialog = edit_dialog(rig)
    rig.settext(dialog, NAME, "erin")
    rig.settext(dialog, PASSWORD, "pw1")
    rig.settext(dialog, FULL_NAME, "Erin Example")
    rig.click(dialog, id=SMPP_LOGIN)
    rig.click(dialog, id=ACCEPT)
    assert controls(rig, dialog)[ROUTING].enabled
    rig.settext(dialog, ROUTING, "+4455501,+4455502")
    rig.click(dialog, id=MM7_LOGIN)
    rig.settext(dialog, IP, "10.1.2.3")
    rig.click(dialog, id=IDOK)
    # The routing key is the account's last write.
    wait_for(lambda: "erin" in routing_keys(env), what="erin stored")
    erin = read_users(env)[user_names(env).index("erin")]
    assert erin == user_record("erin", "Erin Example", "pw1", smpp=True, ip="10.1.2.3", accept=True)
    assert env.ini("SMSGW.INI")[ROUTING_SECTION]["erin"] == "+4455501,+4455502"
    assert vasp_names(env) == ["erin"]
    vasp = read_vasp_users(env)[0]
    assert (vasp[51:55], vasp[203:207], vasp[267:276]) == (b"pw1\0", b"\1\0\1\1", b"10.1.2.3\0")
    wait_for(lambda: ["erin", "Erin Example"] in shown_rows(rig, users), what="erin listed")

    # Rename alice: her record, folder and routing key follow the new name.
    rig.list_select(users, [0])
    rig.click(page, id=EDIT)
    dialog = edit_dialog(rig)
    assert rig.text(dialog, NAME) == "alice"
    rig.settext(dialog, NAME, "alicia")
    rig.click(dialog, id=IDOK)
    wait_for(lambda: "alicia" in user_names(env) and "alice" not in user_names(env), what="renamed")
    # The folder follows the record: it may still be moving when the record is read.
    wait_for(lambda: (env.data / "USERS" / "alicia" / "INBOX.TXT").exists(), what="folder moved")
    assert (env.data / "USERS" / "alicia" / "INBOX.TXT").read_text() == "mail of alice"
    assert not (env.data / "USERS" / "alice").exists()
    # The routing key is the rename's last write.
    wait_for(lambda: routing_keys(env) == ["alicia", "bob", "carol", "dave", "erin"], what="the key moved")

    # Delete three selected accounts with their folders and keys.
    rows = [r[0] for r in shown_rows(rig, users)]
    rig.list_select(users, [rows.index(n) for n in ("bob", "carol", "dave")])
    rig.click(page, id=DELETE)
    box = rig.box(click="Yes")
    assert (box.text, box.buttons, box.icon, box.caption) == ("Delete 3 users?", ["Yes", "No"], "question",
                                                              CAPTION), box
    wait_for(lambda: user_names(env) == ["erin", "alicia"], what="three deleted")
    # Each record goes before its folder: the last folder may still be going.
    wait_for(lambda: [p.name for p in (env.data / "USERS").iterdir()] == ["alicia"], what="folders deleted")
    assert routing_keys(env) == ["alicia", "erin"]
    wait_for(lambda: [r[0] for r in shown_rows(rig, users)] == ["erin", "alicia"], what="list follows")
    close(rig, program, sheet)


def test_keys_type_ahead_and_login_switch(rig, env):
    seed(env, ["alice", "bob", "carol"], extra="WebAuth=\n")
    program, sheet, page, users = users_page(rig, env)
    wait_for(lambda: len(shown_rows(rig, users)) == 3, what="three accounts listed")
    # Type-ahead asks the user file for the first name beginning with the typed letter.
    rig.key(users, "C")
    wait_for(lambda: rig.list_selected(users) == [2], what="carol found by type-ahead")
    # Enter edits the selected account, Insert adds one, Delete asks first.
    rig.key(users, "RETURN")
    dialog = edit_dialog(rig)
    assert rig.text(dialog, NAME) == "carol"
    rig.click(dialog, id=IDCANCEL)
    rig.key(users, "INSERT")
    dialog = edit_dialog(rig)
    assert rig.text(dialog, NAME) == ""
    rig.click(dialog, id=IDCANCEL)
    rig.key(users, "DELETE")
    box = rig.box(click="No")
    assert box.text == "Delete User?", box
    assert user_names(env) == ["alice", "bob", "carol"]

    # An empty WebAuth asks for no login (only a missing key means yes); the switch waits
    # for Apply.
    assert not is_checked(rig, page, WEB_AUTH)
    rig.click(page, id=WEB_AUTH)
    assert env.ini("SMSGW.INI")["SMSGW"]["WebAuth"] == ""
    rig.click(sheet, id=ID_APPLY)
    wait_for(lambda: env.ini("SMSGW.INI")["SMSGW"]["WebAuth"] == "Yes", what="WebAuth=Yes")
    close(rig, program, sheet)


def test_refusals_and_kept_rights(rig, env):
    names = ["alice", "bob"] + ["user%d" % i for i in range(8)]
    seed(env, names, routing=False)
    records = read_users(env)
    # bob's web menu option has no entry in the list: an edit keeps it.
    records[1] = user_record("bob", "Bob Example", menu=0xB3)
    write_users(env, records)
    program, sheet, page, users = users_page(rig, env)
    wait_for(lambda: len(shown_rows(rig, users)) == 10, what="ten accounts listed")

    rig.click(page, id=ADD)
    box = rig.box(click="OK")
    assert (box.text, box.icon) == ("User Limit Exceeded", "error"), box

    rig.list_select(users, [1])
    rig.click(page, id=EDIT)
    dialog = edit_dialog(rig)
    assert controls(rig, dialog)[WEB_MENU].text == ""
    for typed, message in (("", "Field is required!"),
                           ("ALICE", "User ALICE is already defined."),
                           ("..\\..\\x", 'Invalid user name!\r\nA user name cannot be "." or "..", cannot '
                            'begin or end with a blank, begin with ";" or end with ".", and cannot contain '
                            'any of these characters: \\ / : * ? " < > | = [ ]')):
        rig.settext(dialog, NAME, typed)
        rig.click(dialog, id=IDOK)
        box = rig.box(click="OK")
        assert (box.text, box.icon, box.caption) == (message, "error", CAPTION), box
    # Only the letter case changes: no rename, the record is replaced in place.
    rig.settext(dialog, NAME, "BOB")
    rig.click(dialog, id=IDOK)
    wait_for(lambda: user_names(env)[1] == "BOB", what="BOB stored")
    assert read_users(env)[1][419] == 0xB3
    assert (env.data / "USERS" / "bob").exists()
    assert vasp_names(env) == []
    close(rig, program, sheet)


def test_refused_store_leaves_no_login_and_delete_takes_it(rig, env):
    seed(env, ["alice"])
    write_users(env, [user_record("alice", "Alice Example", accept=True)])  # SMPP login off
    program, sheet, page, users = users_page(rig, env)
    wait_for(lambda: len(shown_rows(rig, users)) == 1, what="alice listed")
    # The routing addresses are shown whatever the SMPP box: OK keeps them.
    rig.list_select(users, [0])
    rig.click(page, id=EDIT)
    dialog = edit_dialog(rig)
    assert rig.text(dialog, ROUTING) == "+440"
    rig.click(dialog, id=IDOK)
    wait_for(lambda: not rig.find("Edit User", timeout=0), what="the dialog closed")
    assert env.ini("SMSGW.INI")[ROUTING_SECTION]["alice"] == "+440"

    # A refused account store writes neither the MM7/EAIF login nor the routing key, says so
    # and keeps the dialog open.
    holder = rig.hold_file(env.data / "USERS.DAT")
    rig.click(page, id=ADD)
    dialog = edit_dialog(rig)
    for control, text in ((NAME, "erin"), (PASSWORD, "pw1")):
        rig.settext(dialog, control, text)
    for control in (SMPP_LOGIN, ACCEPT, MM7_LOGIN):
        rig.click(dialog, id=control)
    rig.settext(dialog, ROUTING, "+4455501")
    rig.click(dialog, id=IDOK)
    box = rig.box(click="OK")
    assert box.text.startswith("The user account could not be saved.\r\n\r\n") and box.icon == "error", box
    assert rig.find("Edit User", timeout=0) == dialog
    assert (user_names(env), vasp_names(env), routing_keys(env)) == (["alice"], [], ["alice"])

    # Once the file is free, OK stores all three; a delete takes the account's own login.
    holder.kill()
    holder.wait()
    rig.click(dialog, id=IDOK)
    wait_for(lambda: (vasp_names(env), routing_keys(env)) == (["erin"], ["alice", "erin"]),
             what="erin's login and key stored")
    wait_for(lambda: ["erin", ""] in shown_rows(rig, users), what="erin listed")
    rig.list_select(users, [[r[0] for r in shown_rows(rig, users)].index("erin")])
    rig.click(page, id=DELETE)
    rig.box(click="Yes")
    # The record goes first, then the login and the key.
    wait_for(lambda: (user_names(env), vasp_names(env), routing_keys(env)) == (["alice"], [], ["alice"]),
             what="erin deleted with her login and key")
    close(rig, program, sheet)


def test_user_file_that_does_not_open(rig, env):
    seed(env, ["alice"])
    damaged = bytearray((env.data / "USERS.DAT").read_bytes())
    damaged[40] ^= 0xFF
    (env.data / "USERS.DAT").write_bytes(bytes(damaged))
    program, sheet = open_main_window(rig, env)
    rig.qauto("sheet-select", "--hwnd", sheet, "--index", USERS_TAB)
    box = rig.box(click="OK")
    assert box.text.startswith("The user accounts file cannot be opened, so user accounts cannot be "
                               "listed or changed.\r\n\r\n"), box
    page = select_page(rig, sheet, USERS_TAB)
    c = controls(rig, page)
    assert not (c[EDIT].enabled or c[ADD].enabled or c[DELETE].enabled)
    assert rig.list_rows(rig.control(page, LIST)) == 0
    rig.key(rig.control(page, LIST), "INSERT")
    rig.nobox()
    assert (env.data / "USERS.DAT").read_bytes() == bytes(damaged)
    close(rig, program, sheet)


def test_stored_name_outside_users_is_never_a_folder(rig, env):
    seed(env, ["alice"])
    write_users(env, [user_record("..\\victim")])
    victim = env.data / "victim"
    victim.mkdir()
    (victim / "KEEP.TXT").write_text("keep")
    program, sheet, page, users = users_page(rig, env)
    wait_for(lambda: shown_rows(rig, users) == [["..\\victim", ""]], what="the account listed")
    rig.list_select(users, [0])
    rig.click(page, id=DELETE)
    rig.box(click="Yes")
    wait_for(lambda: user_names(env) == [], what="the account deleted")
    assert (victim / "KEEP.TXT").read_text() == "keep"
    close(rig, program, sheet)
