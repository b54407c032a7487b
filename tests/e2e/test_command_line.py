"""The program's command-line verbs, run for real under Wine: each verb once reaching the
right service state (or file) with exit code 0, the quiet switch, the order the verbs are
tested in where one command line holds several, the result boxes, and deleting the private
data folder. Every spelling and letter case of the verbs is the native command-line table's
business; the service and folder rules behind the verbs are the in-process tests'."""

import os
import re
import subprocess

from harness import SERVICES, to_windows
from program import CAPTION, DELETE_QUESTION, services_are
from program import service_states as states

DISPLAY_NAMES = {"QelSMS": "Qel SMS Gateway Lite Edition",
                 "QelMMSC": "Qel MMS Gateway Lite Edition"}
BINARIES = {"QelSMS": "TXTSVCNT.EXE", "QelMMSC": "MMSVCNT.EXE"}

INSTALLED = "Service successfully installed!"
INSTALL_FAILED = "Service installation failed!"
REMOVED = "Service successfully removed!"


def seen(box):
    return box.caption, box.text, box.buttons, box.icon


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

def test_install_and_remove_quietly(rig, env):
    # A result box would keep the program open: run() would then run into its time limit.
    run_ok(env, "-INSTALLSERVICE", "-QUIET")
    check_installed(rig, env)
    run_ok(env, "-REMOVESERVICE", "-QUIET")
    assert states(rig) == ("missing", "missing")


def test_stop_start_and_restart(rig, env):
    install_quietly(rig, env)
    run_ok(env, "-STOPSERVICE")
    assert states(rig) == ("stopped", "stopped")
    run_ok(env, "-STARTSERVICE")
    services_are(rig, "running")
    events = ("stopped QelSMS", "stopped QelMMSC", "start QelSMS", "start QelMMSC")
    before = [standin_count(env, e) for e in events]
    run_ok(env, "-RESTARTSERVICE")
    services_are(rig, "running")
    after = [standin_count(env, e) for e in events]
    assert after == [n + 1 for n in before], env.log_lines("STANDIN.LOG")


def test_verbs_are_tested_in_a_fixed_order(rig, env):
    install_quietly(rig, env)
    # Stop comes before remove.
    run_ok(env, "/R", "/Q", "/STOPSERVICE")
    assert states(rig) == ("stopped", "stopped")
    # Install comes before remove.
    run_ok(env, "/r", "/i", "/q")
    assert states(rig) == ("running", "running")
    # Delete-data comes before the modem test and still asks.
    program = env.start("/MODEMTEST", "/DELETEDATADIR", "/Q")
    assert rig.box(click="No").text == DELETE_QUESTION
    finish(program, "delete before modem test")
    assert not (env.data / "MODEMTEST.INI").exists()
    # "-WIZARD" is no verb: with a verb beside it the verb runs and the program ends.
    run_ok(env, "-WIZARD", "/MODEMTEST")
    assert env.ini("MODEMTEST.INI")["ModemTest"]["Result"] == "Internal Error"


# --- result boxes ---

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


def test_removing_nothing_needs_no_rights_and_says_nothing(rig, env):
    # Removal stops the pair first; a service that is not installed is nothing to stop,
    # so removing nothing (or only what is there) asks for no rights.
    assert states(rig) == ("missing", "missing")
    program = env.start("/R", "/Q")
    assert rig.nobox(within=1.5)
    finish(program, "/R /Q with nothing installed")
    assert states(rig) == ("missing", "missing")

    install_quietly(rig, env)
    rig.delete_service("QelMMSC")
    program = env.start("-REMOVESERVICE")
    box = rig.box(timeout=30, click="OK")
    assert box.text == "Service successfully removed!", box
    finish(program, "-REMOVESERVICE with only QelSMS installed")
    assert states(rig) == ("missing", "missing")


# --- the private data folder ---

def fill_private(env):
    (env.private / "USERS.DAT").write_text("users")
    (env.private / "Sub" / "Deeper").mkdir(parents=True)
    (env.private / "Sub" / "Deeper" / "file.txt").write_text("deep")


def test_delete_data_dir_asks_and_no_keeps_everything(rig, env):
    fill_private(env)
    program = env.start("-DELETEDATADIR", "/Q")  # the question is not quiet
    box = rig.box(click="No")
    assert seen(box) == (CAPTION, DELETE_QUESTION, ["Yes", "No"], "question"), box
    finish(program, "-DELETEDATADIR")
    assert (env.private / "Sub" / "Deeper" / "file.txt").exists()
    assert (env.private / "USERS.DAT").exists()


def test_delete_data_dir_yes_deletes_the_private_folder(rig, env):
    fill_private(env)
    program = env.start("/DELETEDATADIR")
    rig.box(click="Yes")
    finish(program, "/DELETEDATADIR")
    assert not env.private.exists(), sorted(os.listdir(str(env.private)))
    # The data folder is not the private one.
    assert (env.data / "SMSGW.INI").exists()


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
    run_ok(env, "-MODEMTEST")   # a box would keep the program open
    assert env.ini("MODEMTEST.INI")["ModemTest"]["Result"] == "Internal Error"
    assert states(rig) == ("missing", "missing")
    # A result the file does not take would leave the waiting instance silent: it is said here
    # (the file made immutable: the tests run as root).
    handover = env.data / "MODEMTEST.INI"
    handover.write_text("")
    subprocess.run(["chattr", "+i", str(handover)], check=True)
    try:
        program = env.start("-MODEMTEST")
        box = rig.box(timeout=20, click="OK")
        assert box.text.startswith("The configuration could not be saved to ") and box.icon == "error", box
        finish(program, "-MODEMTEST with a refused result")
    finally:
        subprocess.run(["chattr", "-i", str(handover)], check=True)
