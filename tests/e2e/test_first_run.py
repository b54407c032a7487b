"""What every start of the program does before it looks at its command line: the empty
configuration files of a first run, the redirected copies in the user's profile, and the
conversion of the old 2-way keyword table. The verb used here, the modem test, does nothing
else visible apart from its own result file."""

import os
import shutil
import tempfile
from pathlib import Path

from harness import PROGRAM, Rig, parse_ini, to_windows

CONFIG_FILES = ("SMSGW.INI", "MMSC.INI")
VIRTUAL_STORE = Path("AppData", "Local", "VirtualStore")
REDIRECTED = (VIRTUAL_STORE / "ProgramData" / "QelSMS",
              VIRTUAL_STORE / "Program Files" / "QelSMS",
              VIRTUAL_STORE / "Program Files (x86)" / "QelSMS")
OLD_TIME = 1000000000  # 2001: a start that rewrote a file would change this


def run_quiet_verb(env):
    done = env.run("/MODEMTEST", timeout=30)
    assert done.returncode == 0, done


def write_ini(path, lines):
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))


def snapshot(path):
    stat = path.stat()
    return path.read_bytes(), stat.st_mtime


def test_first_start_creates_empty_config_files_and_later_starts_keep_them(rig, env):
    assert os.listdir(str(env.data)) == []
    run_quiet_verb(env)
    for name in CONFIG_FILES:
        assert (env.data / name).read_bytes() == b"", name

    # Files that exist, empty or not, are neither recreated nor changed.
    write_ini(env.data / "SMSGW.INI", ["[SMSGW]", "Modem1=COM7"])
    for name in CONFIG_FILES:
        os.utime(str(env.data / name), (OLD_TIME, OLD_TIME))
    before = {name: snapshot(env.data / name) for name in CONFIG_FILES}
    run_quiet_verb(env)
    assert {name: snapshot(env.data / name) for name in CONFIG_FILES} == before

    # Each file is created on its own when only it is missing.
    for missing, kept in (CONFIG_FILES, reversed(CONFIG_FILES)):
        (env.data / missing).unlink()
        kept_before = snapshot(env.data / kept)
        run_quiet_verb(env)
        assert (env.data / missing).read_bytes() == b"", missing
        assert snapshot(env.data / kept) == kept_before, kept


def test_every_start_deletes_the_redirected_copies(rig, env):
    profile = rig.user_profile()
    assert profile.parent == rig.prefix / "drive_c" / "users", profile
    neighbours = (profile / VIRTUAL_STORE / "ProgramData" / "QelSMS2",
                  profile / VIRTUAL_STORE / "Program Files" / "Other")
    try:
        def plant(folders):
            for folder in folders:
                (folder / "Q" / "SMS-IN").mkdir(parents=True, exist_ok=True)
                write_ini(folder / "SMSGW.INI", ["[SMSGW]", "Modem1=COM3"])
                (folder / "Q" / "SMS-IN" / "message.txt").write_text("old")

        plant([profile / r for r in REDIRECTED] + list(neighbours))
        run_quiet_verb(env)
        for relative in REDIRECTED:
            assert not (profile / relative).exists(), relative
        for folder in neighbours:
            assert (folder / "Q" / "SMS-IN" / "message.txt").exists(), folder

        # Not only the first start: a copy made later goes at the next start.
        plant([profile / REDIRECTED[1]])
        run_quiet_verb(env)
        assert not (profile / REDIRECTED[1]).exists()
        # The program's own configuration is not what was deleted.
        assert (env.data / "SMSGW.INI").read_bytes() == b""
    finally:
        for folder in neighbours:
            shutil.rmtree(str(folder), ignore_errors=True)
        for relative in REDIRECTED:
            shutil.rmtree(str(profile / relative), ignore_errors=True)


# --- the old 2-way keyword table ---

OLD_TABLE = [
    "[SMSGW]",
    "Modem1=COM1",
    "ReceiveSMSCommand1=HELP\treplytext:Call us\tYes\t12345",
    "ReceiveSMSCommand2=INFO\tC:\\bin\\info.exe @@SENDER@@\tNo",
    "ReceiveSMSCommand3=STOP",
    "ReceiveSMSCommand4=REPORT\tmailto:ops@example.com\tYes\t555",
    "ReceiveSMSCommand6=AFTERGAP\tx.exe\tYes",
    "[2Way-Keyword-INFO]",
    "RunSendResponse=Yes",
]


def test_old_keyword_table_is_converted_at_every_start(rig, env):
    smsgw = env.data / "SMSGW.INI"
    write_ini(smsgw, OLD_TABLE)
    run_quiet_verb(env)
    ini = env.ini("SMSGW.INI")
    keywords = ini["2Way-Keywords"]
    assert keywords.get("NewFormat") == "Yes", keywords
    assert [keywords.get("Keyword%d" % n) for n in range(1, 6)] == \
        ["HELP##12345", "INFO", "STOP", "REPORT##555", None], keywords

    help_entry = ini["2Way-Keyword-HELP##12345"]
    assert help_entry.get("ReplyText") == "Call us", help_entry
    assert help_entry.get("RunSendResponse") == "Yes", help_entry
    assert "Run" not in help_entry, help_entry

    # A plain command runs; "No" leaves no response flag, even one set before.
    info = ini["2Way-Keyword-INFO"]
    assert info.get("Run") == "C:\\bin\\info.exe @@SENDER@@", info
    assert info.get("RunSendResponse") != "Yes", info

    # A line without a tab keeps its place with an empty command.
    stop = ini["2Way-Keyword-STOP"]
    assert "Run" in stop and stop["Run"] == "", stop

    report = ini["2Way-Keyword-REPORT##555"]
    assert report.get("MailTo") == "ops@example.com", report
    assert report.get("RunSendResponse") == "Yes", report

    # Converted once: later starts leave the file as it is.
    converted = smsgw.read_bytes()
    run_quiet_verb(env)
    assert smsgw.read_bytes() == converted


def test_keyword_conversion_follows_the_new_format_flag(rig, env):
    smsgw = env.data / "SMSGW.INI"
    line = "ReceiveSMSCommand1=HELP\treplytext:Call us\tYes\t12345"

    # Already converted: nothing changes, to the byte.
    write_ini(smsgw, ["[SMSGW]", line, "[2Way-Keywords]", "NewFormat=Yes", "Keyword1=OTHER"])
    before = smsgw.read_bytes()
    run_quiet_verb(env)
    assert smsgw.read_bytes() == before

    # A flag that is not true converts, and the conversion runs before any verb, also one
    # that asks first.
    write_ini(smsgw, ["[SMSGW]", line, "[2Way-Keywords]", "NewFormat=No"])
    program = env.start("/DELETEDATADIR")
    assert rig.box(click="No").text == "Delete Configuration files for QelSMS?"
    assert program.wait(20) == 0
    ini = env.ini("SMSGW.INI")
    assert ini["2Way-Keywords"].get("Keyword1") == "HELP##12345", ini["2Way-Keywords"]
    assert ini["2Way-Keywords"].get("NewFormat") == "Yes"
    assert ini["2Way-Keyword-HELP##12345"].get("ReplyText") == "Call us"

    # Nothing to convert: no first line, no flag written.
    write_ini(smsgw, ["[SMSGW]", "ReceiveSMSCommand2=LATE\tx.exe\tNo"])
    before = smsgw.read_bytes()
    run_quiet_verb(env)
    assert smsgw.read_bytes() == before


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

        write_ini(data / "SMSGW.INI", ["[SMSGW]", "Modem1=COM7"])
        run()
        assert parse_ini((data / "SMSGW.INI").read_text())["SMSGW"]["Modem1"] == "COM7"
        assert (data / "MMSC.INI").read_bytes() == b""

        # The private folder is the default one below it: deleting it leaves the data.
        private = data / "Private"
        private.mkdir(exist_ok=True)
        (private / "USERS.DAT").write_text("users")
        program = fresh.wine_start([to_windows(install / PROGRAM), "/DELETEDATADIR"],
                                   cwd=str(install))
        assert fresh.box(click="Yes").text == "Delete Configuration files for QelSMS?"
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
