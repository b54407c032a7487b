"""The installer (build/win32/dist/QelSMSLiteSetup.exe) run silently under Wine, in a prefix of
its own (build/wineprefix-installer), as an administrator installs and removes the program:
the files, shortcuts and uninstall entry it lays down, the program's verbs working from the
installed folder, the uninstaller removing the services and its files but keeping the
gateway's data, and an installation over a running one keeping the configuration."""

import contextlib
import shutil

import harness
from harness import SERVICES, STANDINS, wait_for
from program import service_states, services_are, write_ini

SETUP = "QelSMSLiteSetup.exe"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QelSMS Lite"
PRODUCT_FILES = {"QELCONF.EXE", "GWCORE.DLL", "MMCORE.DLL", "TLSLINK.DLL", "QelSMS Lite.pdf",
                 "MMSTEST.MMS"}
SHORTCUTS = {"QelSMS Lite.lnk": "QELCONF.EXE", "QelSMS Lite Help.lnk": "QelSMS Lite.pdf"}
CONFIGURATION = "[SMSGW]\nModem1=COM1\nWebPort=8811\n"
BLANKLESS_FOLDER = "C:\\QelSMSLite"  # an installation folder "_?=" can name


class Installation:
    """Where the installer puts things in the prefix, as paths here."""

    def __init__(self, rig):
        self.rig = rig
        self.setup = rig.win / "dist" / SETUP
        assert self.setup.is_file(), "%s was not built (is nsis installed?)" % self.setup
        self.folder = self._expand("%ProgramFiles%") / "QelSMS"
        self.menu = self._expand("%ALLUSERSPROFILE%").joinpath(
            "Microsoft", "Windows", "Start Menu", "Programs", "QelSMS Lite")
        self.data = self._expand("%ALLUSERSPROFILE%") / "QelSMS"
        self.folder_windows = None

    def _expand(self, variable):
        done = self.rig.wine(["cmd", "/c", "echo", variable])
        assert done.returncode == 0 and ":" in done.stdout, done
        return self.rig.unix_path(done.stdout.strip())

    def remove_leftovers(self):
        """A previous run that failed half-way leaves nothing behind for this one."""
        for service in SERVICES:
            self.rig.delete_service(service)
        self.rig.kill_image(harness.PROGRAM, *STANDINS)
        self.rig.reg_delete(UNINSTALL_KEY)
        for folder in (self.folder, self.rig.unix_path(BLANKLESS_FOLDER), self.menu, self.data):
            shutil.rmtree(str(folder), ignore_errors=True)

    def install(self, folder=None):
        """Installs silently; into folder (a Windows path) when given, else where it was."""
        args = [self.setup, "/S"]
        if folder:
            self.folder_windows = folder
            self.folder = self.rig.unix_path(folder)
            args.append("/D=" + folder)
        done = self.rig.wine(args, timeout=120)
        assert done.returncode == 0, (done.returncode, done.stderr[-800:])

    def uninstall(self, exit_code=0):
        if exit_code:
            # Run in place ("_?=", a folder without blanks: the argument cannot be quoted), so
            # that its exit code is seen; it cannot delete itself then.
            done = self.rig.wine([self.folder / "Uninstall.exe", "/S", "_?=" + self.folder_windows],
                                 timeout=120)
            assert done.returncode == exit_code, (done.returncode, done.stderr[-800:])
            return
        # The uninstaller runs on from a copy of itself in the temporary folder: wait for the
        # last thing it does, removing its entry.
        done = self.rig.wine([self.folder / "Uninstall.exe", "/S"], timeout=120)
        assert done.returncode == 0, (done.returncode, done.stderr[-800:])
        wait_for(lambda: self.entry() == {} and not (self.folder / "Uninstall.exe").exists(),
                 timeout=60, what="the uninstaller finishing")

    def run(self, *args):
        done = self.rig.wine([self.folder / harness.PROGRAM] + list(args), timeout=60,
                             cwd=str(self.folder))
        assert done.returncode == 0, (args, done.returncode, done.stderr[-500:])

    def add_standins(self):
        """The gateway's service programs, stand-ins for the test only."""
        for exe in STANDINS:
            shutil.copy2(str(self.rig.testbin / "standins" / exe), str(self.folder / exe))

    def entry(self):
        """The uninstall entry's values as {name: text}; {} when there is none."""
        done = self.rig.wine(["reg", "query", UNINSTALL_KEY])
        values = {}
        for line in done.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values


@contextlib.contextmanager
def installer_prefix(rig):
    """A Wine session on the installer's own prefix, cleared of earlier runs."""
    own = harness.Rig(rig.root, rig.win, prefix=rig.root / "build" / "wineprefix-installer",
                      log=rig.log)
    try:
        installation = Installation(own)
        installation.remove_leftovers()
        try:
            yield installation
        finally:
            installation.remove_leftovers()
    finally:
        own.close()


def shortcut_target(path):
    """True names of what a .lnk file points at, read from its bytes (ANSI or UTF-16)."""
    data = path.read_bytes()
    return data.decode("latin-1") + data.decode("utf-16-le", errors="ignore")


def staged_kilobytes(rig):
    return sum(p.stat().st_size for p in (rig.win / "install" / "QelSMS").iterdir()) // 1024


def test_install_run_verbs_and_uninstall(rig):
    with installer_prefix(rig) as at:
        at.install()
        # The staged folder, nothing less and nothing from the test programs.
        assert {p.name for p in at.folder.iterdir()} == PRODUCT_FILES | {"Uninstall.exe"}
        assert {p.name for p in (rig.win / "install" / "QelSMS").iterdir()} == PRODUCT_FILES
        for name, target in SHORTCUTS.items():
            assert target in shortcut_target(at.menu / name), name
        entry = at.entry()
        version = (rig.root / "VERSION").read_text().strip()
        assert (entry["DisplayName"], entry["DisplayVersion"], entry["Publisher"]) == (
            "Qel SMS/MMS Gateway Lite Edition", version, "Qel"), entry
        assert "Uninstall.exe" in entry["UninstallString"], entry
        size = int(entry["EstimatedSize"], 16)
        assert staged_kilobytes(rig) <= size <= staged_kilobytes(rig) + 200, (size, entry)
        # Administrator rights asked for, the version carried, nothing else written.
        setup = at.setup.read_bytes()
        assert b'level="requireAdministrator"' in setup
        assert version.encode("utf-16-le") in setup
        assert at.rig.wine(["reg", "query", harness.REG_ROOT_KEY]).returncode != 0

        # The installed program's verbs, with the service programs beside it.
        at.add_standins()
        at.run("-INSTALLSERVICE", "-QUIET")
        services_are(at.rig, "running")
        binary = at.rig.service("QelSMS")["binary"].upper()
        assert "TXTSVCNT.EXE" in binary and "\\QELSMS\\" in binary, binary
        write_ini(at.data / "SMSGW.INI", CONFIGURATION)

        at.uninstall()
        assert service_states(at.rig) == ("missing", "missing")
        # Its own files go; what others put in the folder and the gateway's data stay.
        left = {p.name for p in at.folder.iterdir()}
        assert not left & (PRODUCT_FILES | {"Uninstall.exe"}) and set(STANDINS) <= left, left
        assert not at.menu.exists()
        assert (at.data / "SMSGW.INI").read_bytes() == CONFIGURATION.replace(
            "\n", "\r\n").encode("ascii")


def test_second_install_keeps_configuration_and_running_services(rig):
    with installer_prefix(rig) as at:
        at.install(BLANKLESS_FOLDER)
        at.add_standins()
        at.run("-INSTALLSERVICE", "-QUIET")
        services_are(at.rig, "running")
        write_ini(at.data / "SMSGW.INI", CONFIGURATION)
        before = (at.data / "SMSGW.INI").read_bytes()
        stale = at.folder / "MMSTEST.MMS"
        stale.write_bytes(b"an older test MMS")

        at.install()
        assert stale.read_bytes() == (rig.win / "install" / "QelSMS" / "MMSTEST.MMS").read_bytes()
        assert (at.data / "SMSGW.INI").read_bytes() == before
        # The services were stopped for the files to be replaced and run again afterwards.
        log = at.folder.joinpath("STANDIN.LOG").read_text(errors="replace")
        assert "stopped QelSMS" in log, log
        services_are(at.rig, "running")

        # With only the MMSC service installed, it alone is stopped and started again; the
        # program's removal looks at the SMS service only, so the uninstaller finds the MMSC
        # service left and says so.
        at.rig.delete_service("QelSMS")
        at.folder.joinpath("STANDIN.LOG").write_text("")
        at.install()
        log = at.folder.joinpath("STANDIN.LOG").read_text(errors="replace")
        assert "stopped QelMMSC" in log, log
        wait_for(lambda: service_states(at.rig) == ("missing", "running"), what="QelMMSC running again")
        at.uninstall(exit_code=2)
        assert service_states(at.rig)[1] != "missing"
