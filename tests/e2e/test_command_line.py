"""The program's command-line verbs, run for real under Wine: every spelling reaching the
right service state with exit code 0, the order the verbs are tested in, the result boxes
and the quiet switch, the firewall helper, repair by reinstalling, deleting the private data
folder and the modem test's result file."""

import os
import re

from harness import FWRULES, SERVICES, to_windows, wait_for

CAPTION = "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)"
DISPLAY_NAMES = {"QelSMS": "Qel SMS Gateway Lite Edition",
                 "QelMMSC": "Qel MMS Gateway Lite Edition"}
BINARIES = {"QelSMS": "TXTSVCNT.EXE", "QelMMSC": "MMSVCNT.EXE"}

INSTALL = ["-INSTALLSERVICE", "/INSTALLSERVICE", "/I", "-I"]
REMOVE = ["-REMOVESERVICE", "/REMOVESERVICE", "/R", "-R"]
QUIET = ["-QUIET", "/QUIET", "/Q", "-Q"]
STOP = ["-STOPSERVICE", "/STOPSERVICE"]
START = ["-STARTSERVICE", "/STARTSERVICE"]
# A restart takes some 3 s: both prefixes and cases, not every combination.
RESTART = ["-RESTARTSERVICE", "/restartservice", "-Restartservice", "/RESTARTSERVICE"]
DELETE_DATA = ["-DELETEDATADIR", "/DELETEDATADIR"]
MODEM_TEST = ["-MODEMTEST", "/MODEMTEST"]

INSTALLED = "Service successfully installed!"
INSTALL_FAILED = "Service installation failed!"
REMOVED = "Service successfully removed!"
DELETE_QUESTION = "Delete Configuration files for QelSMS?"


def every_case(spellings):
    """Each spelling as written, in lower case and in mixed case (/InstallService)."""
    out = []
    for spelling in spellings:
        mixed = spelling[0] + spelling[1:2].upper() + spelling[2:].lower()
        for variant in (spelling, spelling.lower(), mixed):
            if variant not in out:
                out.append(variant)
    return out


def seen(box):
    return box.caption, box.text, box.buttons, box.icon


def states(rig):
    return tuple(rig.service(name)["state"] for name in SERVICES)


def run_ok(env, *args):
    done = env.run(*args, timeout=30)
    assert done.returncode == 0, (args, done.returncode, done.stderr[-500:])
    return done


def finish(program, args):
    code = program.wait(20)
    assert code == 0, (args, code)


def install_quietly(rig, env):
    run_ok(env, "/I", "/Q")
    assert states(rig) == ("running", "running")


def delete_services(rig):
    for name in SERVICES:
        assert rig.delete_service(name), name


def standin_count(env, line):
    return env.log_lines("STANDIN.LOG").count(line)


def is_short_form(short, long):
    """True when short names the same path as long with every component Wine gives a short
    name for replaced by it (NAME~XYZ), and differs from long."""
    short_parts, long_parts = short.split("\\"), long.split("\\")
    if short == long or len(short_parts) != len(long_parts):
        return False
    for s, l in zip(short_parts, long_parts):
        if s.lower() == l.lower():
            continue
        if not re.fullmatch(r"[A-Z0-9_$!#%&'()@^`{}-]{1,7}~[A-Z0-9_]{1,4}(\.[A-Z0-9]{1,3})?", s):
            return False
        if s[0] != l[0].upper():
            return False
    return True


def check_installed(rig, env):
    for name in SERVICES:
        service = rig.service(name)
        assert service["state"] == "running", (name, service)
        assert service["start"] == "auto", (name, service)
        assert service["display"] == DISPLAY_NAMES[name], (name, service)
        long_path = to_windows(env.install / BINARIES[name])
        assert is_short_form(service["binary"], long_path), (name, service["binary"], long_path)


# --- install, remove, stop, start, restart ---

def test_install_and_remove_in_every_spelling_are_quiet(rig, env):
    installs, removes, quiets = every_case(INSTALL), every_case(REMOVE), every_case(QUIET)
    for i, install in enumerate(installs):
        remove = removes[i % len(removes)]
        quiet = quiets[i % len(quiets)]
        # A result box would keep the program open: run() then runs into its time limit.
        run_ok(env, install, quiet)
        check_installed(rig, env)
        stopped = ("stopped QelSMS", "stopped QelMMSC")
        before = [standin_count(env, line) for line in stopped]
        run_ok(env, quiet, remove)
        assert states(rig) == ("missing", "missing"), (install, remove, quiet)
        # Removal stops the services first.
        after = [standin_count(env, line) for line in stopped]
        assert after == [n + 1 for n in before], (remove, env.log_lines("STANDIN.LOG"))


def test_stop_start_and_restart_in_every_spelling(rig, env):
    install_quietly(rig, env)
    for stop, start in zip(every_case(STOP), every_case(START)):
        run_ok(env, stop)
        assert states(rig) == ("stopped", "stopped"), stop
        run_ok(env, start)
        assert wait_for(lambda: states(rig) == ("running", "running")), (start, states(rig))
    events = ("stopped QelSMS", "stopped QelMMSC", "start QelSMS", "start QelMMSC")
    for restart in RESTART:
        before = [standin_count(env, e) for e in events]
        run_ok(env, restart)
        assert wait_for(lambda: states(rig) == ("running", "running")), (restart, states(rig))
        after = [standin_count(env, e) for e in events]
        assert after == [n + 1 for n in before], (restart, env.log_lines("STANDIN.LOG"))


def test_verbs_are_tested_in_a_fixed_order(rig, env):
    install_quietly(rig, env)
    # Stop comes before start, and before remove.
    run_ok(env, "-STARTSERVICE", "-STOPSERVICE")
    assert states(rig) == ("stopped", "stopped")
    run_ok(env, "/R", "/Q", "/STOPSERVICE")
    assert states(rig) == ("stopped", "stopped")
    # "-RESTARTSERVICE" holds "-R" but restarts: the services stay installed and run.
    run_ok(env, "-RESTARTSERVICE", "-QUIET")
    assert wait_for(lambda: states(rig) == ("running", "running")), states(rig)
    # Install comes before remove.
    run_ok(env, "/r", "/i", "/q")
    assert states(rig) == ("running", "running")
    # Delete-data comes before the modem test and still asks.
    program = env.start("/MODEMTEST", "/DELETEDATADIR", "/Q")
    assert rig.box(click="No").text == DELETE_QUESTION
    finish(program, "delete before modem test")
    assert not (env.data / "MODEMTEST.INI").exists()
    # "/r /q" in lower case removes quietly.
    run_ok(env, "/r", "/q")
    assert states(rig) == ("missing", "missing")
    # "-WIZARD" is no verb: with a verb beside it the verb runs and the program ends.
    run_ok(env, "-WIZARD", "/MODEMTEST")
    assert env.ini("MODEMTEST.INI")["ModemTest"]["Result"] == "Internal Error"


def test_wizard_switch_alone_opens_a_window_and_touches_no_service(rig, env):
    program = env.start("-WIZARD")
    assert wait_for(lambda: [w for w in rig.windows() if w.title], timeout=10), rig.windows()
    assert rig.find_box(timeout=0.5) is None
    assert program.poll() is None, "the program ended as if -WIZARD were a verb"
    assert states(rig) == ("missing", "missing")


# --- result boxes and the quiet switch ---

def test_install_and_remove_tell_their_result_unless_quiet(rig, env):
    program = env.start("/INSTALLSERVICE")
    box = rig.box(timeout=20, click="OK")
    assert seen(box) == (CAPTION, INSTALLED, ["OK"], "information"), box
    finish(program, "/INSTALLSERVICE")
    assert states(rig) == ("running", "running")
    assert rig.nobox(within=0.5)

    program = env.start("-r")
    box = rig.box(timeout=20, click="OK")
    assert seen(box) == (CAPTION, REMOVED, ["OK"], "information"), box
    finish(program, "-r")
    assert states(rig) == ("missing", "missing")
    assert rig.nobox(within=0.5)


def test_failed_installation_is_told_unless_quiet(rig, env):
    # Another service already holds the display name: creating QelSMS fails.
    done = rig.wine(["sc", "create", "QelTaken", "binpath=", "C:\\nothing.exe",
                     "displayname=", DISPLAY_NAMES["QelSMS"]])
    assert done.returncode == 0, done
    try:
        program = env.start("-I")
        boxes = rig.answer_boxes(program)
        assert program.returncode == 0
        assert boxes, "no box told the failure"
        assert seen(boxes[-1]) == (CAPTION, INSTALL_FAILED, ["OK"], "error"), boxes
        assert rig.service("QelSMS")["state"] == "missing"

        program = env.start("-I", "-Q")
        boxes = rig.answer_boxes(program)
        assert program.returncode == 0
        assert all(b.text not in (INSTALL_FAILED, INSTALLED) for b in boxes), boxes
    finally:
        rig.delete_service("QelTaken")


def test_removing_nothing_stops_first_and_says_it_may_not(rig, env):
    # Removal stops the pair first, and stopping a pair that is not there counts as not
    # permitted: the command line is told so, then removal of nothing succeeds quietly.
    assert states(rig) == ("missing", "missing")
    program = env.start("/R", "/Q")
    box = rig.box(timeout=10, click="OK")
    assert box.text == "Administrator rights are required for service installation or modification.", box
    assert box.icon == "error", box
    rig.nobox(within=1.5)
    finish(program, "/R /Q with nothing installed")
    assert states(rig) == ("missing", "missing")


def test_starting_a_running_pair_shows_nothing(rig, env):
    install_quietly(rig, env)
    starts = standin_count(env, "start QelSMS")
    program = env.start("/STARTSERVICE")
    assert rig.nobox(within=1.5)
    finish(program, "/STARTSERVICE")
    assert states(rig) == ("running", "running")
    assert standin_count(env, "start QelSMS") == starts


# --- what installation sets up ---

def test_installation_runs_the_firewall_helper_once_per_service(rig, env):
    install_quietly(rig, env)
    helper = to_windows(env.install / FWRULES)
    expected = ['%s "%s" "%s"' % (helper, to_windows(env.install / exe), DISPLAY_NAMES[name])
                for name, exe in (("QelSMS", "TXTSVC.EXE"), ("QelMMSC", "MMSVC.EXE"))]
    # The helper is not waited for.
    wait_for(lambda: len(env.log_lines("FWRULES.LOG")) >= 2)
    lines = env.log_lines("FWRULES.LOG")
    assert sorted(lines) == sorted(expected), lines


def test_installation_works_without_the_firewall_helper(rig):
    env = rig.fresh_env(fwrules=False, name="no-fwrules")
    try:
        assert not (env.install / FWRULES).exists()
        install_quietly(rig, env)
        check_installed(rig, env)
        assert not (env.install / "FWRULES.LOG").exists()
    finally:
        env.cleanup()


def test_reinstalling_repairs_the_services(rig, env):
    # A QelSMS service with the wrong binary, start type and display name; no QelMMSC.
    done = rig.wine(["sc", "create", "QelSMS", "binpath=", "C:\\nothing.exe", "start=", "demand",
                     "displayname=", "Wrong name"])
    assert done.returncode == 0, done
    assert rig.service("QelSMS")["start"] == "demand"
    run_ok(env, "/INSTALLSERVICE", "/QUIET")
    check_installed(rig, env)

    # The installation moved: installing from the new folder points both services there and
    # starts them again.
    run_ok(env, "/STOPSERVICE")
    assert states(rig) == ("stopped", "stopped")
    moved = rig.fresh_env(name="moved")
    try:
        run_ok(moved, "/I", "/Q")
        check_installed(rig, moved)
        assert "running QelSMS" in moved.log_lines("STANDIN.LOG")
    finally:
        moved.cleanup()


# --- the private data folder ---

def fill_private(env):
    (env.private / "USERS.DAT").write_text("users")
    (env.private / "Sub" / "Deeper").mkdir(parents=True)
    (env.private / "Sub" / "Deeper" / "file.txt").write_text("deep")


def test_delete_data_dir_asks_in_every_spelling_and_no_keeps_everything(rig, env):
    fill_private(env)
    (env.data / "KEEP.INI").write_text("[x]\r\n")
    for spelling in every_case(DELETE_DATA):
        program = env.start(spelling, "/Q")  # the question is not quiet
        box = rig.box(click="No")
        assert seen(box) == (CAPTION, DELETE_QUESTION, ["Yes", "No"], "question"), (spelling, box)
        finish(program, spelling)
        assert (env.private / "Sub" / "Deeper" / "file.txt").exists(), spelling
        assert (env.private / "USERS.DAT").exists(), spelling
    assert (env.data / "KEEP.INI").exists()


def test_delete_data_dir_yes_deletes_the_private_folder(rig, env):
    fill_private(env)
    program = env.start("/DELETEDATADIR")
    rig.box(click="Yes")
    finish(program, "/DELETEDATADIR")
    assert not env.private.exists(), sorted(os.listdir(str(env.private)))
    # The data folder is not the private one.
    assert (env.data / "SMSGW.INI").exists()


def test_delete_data_dir_keeps_dot_folders_and_does_not_follow_links(rig, env):
    fill_private(env)
    (env.private / ".svn").mkdir()
    (env.private / ".svn" / "entries").write_text("kept")
    outside = env.folder / "outside"
    (outside / "inner").mkdir(parents=True)
    (outside / "target.txt").write_text("not ours")
    (outside / "inner" / "deep.txt").write_text("not ours either")
    os.symlink(str(outside), str(env.private / "Linked"))
    os.symlink(str(outside), str(env.private / "Sub" / "AlsoLinked"))

    program = env.start("-deletedatadir")
    rig.box(click="Yes")
    finish(program, "-deletedatadir")

    assert (outside / "target.txt").read_text() == "not ours"
    assert (outside / "inner" / "deep.txt").read_text() == "not ours either"
    assert (env.private / ".svn" / "entries").read_text() == "kept"
    assert not (env.private / "USERS.DAT").exists()
    assert not (env.private / "Sub" / "Deeper").exists()


def test_delete_data_dir_is_skipped_when_private_is_the_program_folder(rig, env):
    env.write_registry(private=env.install)
    for spelling in ("/DELETEDATADIR", "-deletedatadir"):
        program = env.start(spelling)
        assert rig.nobox(within=1.5)
        finish(program, spelling)
        assert (env.install / "QELCONF.EXE").exists()
        assert (env.install / "GWCORE.DLL").exists()


# --- the modem test ---

def test_modem_test_writes_its_result_and_shows_nothing(rig, env):
    result = env.data / "MODEMTEST.INI"
    for spelling in every_case(MODEM_TEST):
        if result.exists():
            result.unlink()
        run_ok(env, spelling)   # a box would keep the program open
        assert env.ini("MODEMTEST.INI")["ModemTest"]["Result"] == "Internal Error", spelling
    assert states(rig) == ("missing", "missing")
