"""What every start of the program does before it looks at its command line: the empty
configuration files of a first run, the redirected copies in the user's profile, and the
conversion of the old 2-way keyword table, each checked once here (their cases are the
in-process configuration-file tests' and the native keyword-conversion table's). The verb
used here, the modem test, does nothing else visible apart from its own result file."""

import shutil
import tempfile
from pathlib import Path

from harness import PROGRAM, Rig, parse_ini, to_windows
from program import DELETE_QUESTION, write_ini

CONFIG_FILES = ("SMSGW.INI", "MMSC.INI")
VIRTUAL_STORE = Path("AppData", "Local", "VirtualStore")
REDIRECTED = (VIRTUAL_STORE / "ProgramData" / "QelSMS",
              VIRTUAL_STORE / "Program Files" / "QelSMS",
              VIRTUAL_STORE / "Program Files (x86)" / "QelSMS")


def run_quiet_verb(env):
    done = env.run("/MODEMTEST", timeout=30)
    assert done.returncode == 0, done


def test_first_start_creates_empty_config_files(rig, env):
    assert not any(env.data.iterdir())
    run_quiet_verb(env)
    for name in CONFIG_FILES:
        assert (env.data / name).read_bytes() == b"", name


def test_a_start_deletes_the_redirected_copies(rig, env):
    profile = rig.user_profile()
    assert profile.parent == rig.prefix / "drive_c" / "users", profile
    try:
        for relative in REDIRECTED:
            (profile / relative).mkdir(parents=True, exist_ok=True)
            write_ini(profile / relative / "SMSGW.INI", "[SMSGW]\nModem1=COM3\n")
        run_quiet_verb(env)
        for relative in REDIRECTED:
            assert not (profile / relative).exists(), relative
        # The program's own configuration is not what was deleted.
        assert (env.data / "SMSGW.INI").exists()
    finally:
        for relative in REDIRECTED:
            shutil.rmtree(str(profile / relative), ignore_errors=True)


def test_a_start_converts_the_old_keyword_table(rig, env):
    write_ini(env.data / "SMSGW.INI",
              "[SMSGW]\nModem1=COM1\nReceiveSMSCommand1=HELP\treplytext:Call us\tYes\t12345\n")
    run_quiet_verb(env)
    ini = env.ini("SMSGW.INI")
    assert ini["2Way-Keywords"].get("NewFormat") == "Yes", ini["2Way-Keywords"]
    assert ini["2Way-Keywords"].get("Keyword1") == "HELP##12345", ini["2Way-Keywords"]
    assert ini["2Way-Keyword-HELP##12345"].get("ReplyText") == "Call us"


# --- a Wine prefix that never saw the program ---

def test_fresh_prefix_uses_the_default_data_folders(rig):
    prefix = Path(str(rig.prefix) + "-fresh")
    shutil.rmtree(str(prefix), ignore_errors=True)
    rig.tmp_root.mkdir(parents=True, exist_ok=True)
    install = Path(tempfile.mkdtemp(prefix="fresh-prefix-", dir=str(rig.tmp_root))) / "QelSMS"
    fresh = None
    try:
        shutil.copytree(str(rig.install_source), str(install))
        fresh = Rig(rig.root, rig.win, prefix=prefix)
        data = prefix / "drive_c" / "ProgramData" / "QelSMS"
        assert not data.exists()

        def run():
            done = fresh.wine([to_windows(install / PROGRAM), "/MODEMTEST"], timeout=30,
                              cwd=str(install))
            assert done.returncode == 0, done

        run()
        for name in CONFIG_FILES:
            assert (data / name).read_bytes() == b"", name
        modem_test = parse_ini((data / "MODEMTEST.INI").read_text())
        assert modem_test["ModemTest"]["Result"] == "Internal Error"
        assert not (install / "SMSGW.INI").exists()

        write_ini(data / "SMSGW.INI", "[SMSGW]\nModem1=COM7\n")
        run()
        assert parse_ini((data / "SMSGW.INI").read_text())["SMSGW"]["Modem1"] == "COM7"
        assert (data / "MMSC.INI").read_bytes() == b""

        # The private folder is the default one below it: deleting it leaves the data.
        private = data / "Private"
        private.mkdir(exist_ok=True)
        (private / "USERS.DAT").write_text("users")
        program = fresh.wine_start([to_windows(install / PROGRAM), "/DELETEDATADIR"],
                                   cwd=str(install))
        assert fresh.box(click="Yes").text == DELETE_QUESTION
        assert program.wait(20) == 0
        assert not private.exists()
        assert parse_ini((data / "SMSGW.INI").read_text())["SMSGW"]["Modem1"] == "COM7"
    finally:
        if fresh is not None:
            fresh.close()
        shutil.rmtree(str(install.parent), ignore_errors=True)
        shutil.rmtree(str(prefix), ignore_errors=True)
        lock = Path(str(prefix) + ".lock")
        if lock.exists():
            lock.unlink()


def test_an_account_refused_by_the_data_folder_is_told_so_at_start(rig, env):
    # A folder where SMSGW.INI belongs is refused with "access denied", as the file is to an
    # account the data folder is closed to.
    (env.data / "SMSGW.INI").mkdir()
    program = env.start()
    box = rig.box(timeout=20, click="OK")
    assert box.text.startswith("This account may not read the gateway's configuration file SMSGW.INI in the "
                               "folder %s\\\r\n" % to_windows(env.data)), box
    assert box.icon == "warning", box
    program.kill()
