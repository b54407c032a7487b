"""Smoke tests of the rig: qauto against a known window program, and the INI reader the
tests check files with."""

from harness import parse_ini, wait_for


def _target(rig):
    return str(rig.testbin / "qauto_target.exe")


def test_message_boxes_are_read_and_answered(rig):
    # flags, button to press, buttons seen, icon seen, exit code (id of the pressed button)
    cases = [
        (0x23, "no", ["Yes", "No", "Cancel"], "question", 7),
        (0x40, "OK", ["OK"], "information", 1),
        (0x12, "&Retry", ["Abort", "Retry", "Ignore"], "error", 4),
        (0x31, "cancel", ["OK", "Cancel"], "warning", 2),
        (0x04, "YES", ["Yes", "No"], "none", 6),
    ]
    for flags, press, buttons, icon, code in cases:
        program = rig.wine_start([_target(rig), "box", "Caption %x" % flags,
                                  "First line\r\nC:\\path\tend", hex(flags)])
        box = rig.box(timeout=10, click=press)
        assert box.caption == "Caption %x" % flags, box
        assert box.text == "First line\r\nC:\\path\tend", box
        assert box.buttons == buttons, box
        assert box.icon == icon, box
        assert program.wait(10) == code, "flags %x: pressed %s" % (flags, press)
    assert rig.nobox(within=0.3)


def test_a_box_without_the_button_is_left_open(rig):
    program = rig.wine_start([_target(rig), "box", "Question", "Go on?", "0x4"])
    try:
        rc, out = rig.qauto("box", "--click", "Cancel")
        assert rc == 1 and "buttons: Yes|No" in out
        try:
            rig.nobox(within=0.3)
        except AssertionError as error:
            assert "Go on?" in str(error)
        else:
            raise AssertionError("nobox did not see the open box")
    finally:
        rig.box(click="No")
        program.wait(10)


def test_typing_and_clicking_reach_the_window(rig):
    program = rig.wine_start([_target(rig), "form", "Smoke form"])
    hwnd = None
    try:
        hwnd = rig.find("Smoke form", cls="QautoTargetForm")
        assert hwnd, rig.windows()
        controls = {c.id: c for c in rig.children(hwnd)}
        assert controls[102].text == "&Later" and not controls[102].enabled
        rig.settext(hwnd, 100, "typed text")
        assert rig.text(hwnd, id=100) == "typed text"
        rig.click(hwnd, text="apply")  # '&' and case do not matter
        # The form saw EN_CHANGE before the click: its title ends in "(1)".
        wait_for(lambda: rig.text(hwnd) == "typed text (1)", what="the form counting the click")
        rc, _ = rig.qauto("click", "--hwnd", hwnd, "--id", "102")
        assert rc == 1, "a disabled button was clicked"
        assert rig.qauto("click", "--hwnd", hwnd)[0] == 2
    finally:
        if hwnd:
            rig.close_window(hwnd)
        else:
            program.kill()
        assert program.wait(10) == 0


def test_shared_memory_bytes(rig):
    program = rig.wine_start([_target(rig), "mapping", "Local\\QautoSmoke", "64", "2000"])
    wait_for(lambda: rig.getbyte("QautoSmoke", 0) is not None, what="the mapping appearing")
    assert rig.getbyte("QautoSmoke", 63) == 0
    rig.setbyte("QautoSmoke", 0, 200)
    assert rig.getbyte("QautoSmoke", 0) == 200
    assert rig.qauto("getbyte", "--mapping", "QautoSmoke", "--offset", "100000")[0] == 1
    assert program.wait(10) == 200  # the owner reads what was written
    assert rig.getbyte("QautoSmoke", 0) is None


def test_ini_reading_follows_the_profile_functions(rig):
    ini = parse_ini("; comment\n[SMSGW]\nModem1 = COM1 \nmodem1=second\n"
                    "Quoted=\"a b\"\n[smsgw]\nDebug=Yes\n")
    assert ini["smsgw"]["MODEM1"] == "COM1"       # the first of duplicates counts
    assert ini["SMSGW"]["Quoted"] == "a b"
    assert "Debug" not in ini["SMSGW"]            # a repeated section is not read
    assert ini["Missing"] == {}
    assert list(ini["SMSGW"]) == ["Modem1", "Quoted"]

