"""The end-to-end rig: Wine, an X display of its own and qauto.exe, for tests that drive the
real program from outside as a person would.

    rig = Rig(root, root / "build/win32")
    env = rig.fresh_env()
    env.run("/INSTALLSERVICE", "/Q")
    assert rig.service("QelSMS")["state"] == "stopped"
    env.cleanup(); rig.close()

Python 3 standard library only.
"""

import collections
import fcntl
import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

REG_KEY = r"HKEY_LOCAL_MACHINE\Software\QelSMS\Lite"
REG_ROOT_KEY = r"HKEY_LOCAL_MACHINE\Software\QelSMS"
SERVICES = ("QelSMS", "QelMMSC")
STANDINS = ("TXTSVCNT.EXE", "MMSVCNT.EXE", "TXTSVC.EXE", "MMSVC.EXE")
FWRULES = "FWRULES.EXE"
PROGRAM = "QELCONF.EXE"

Box = collections.namedtuple("Box", "caption text buttons icon hwnd owner", defaults=(None,))
Control = collections.namedtuple("Control", "id cls text visible enabled hwnd parent")
TopWindow = collections.namedtuple("TopWindow", "hwnd cls title pid")


def to_windows(path):
    """A Linux path as Wine's Z: drive shows it: /tmp/x -> Z:\\tmp\\x."""
    return "Z:" + str(Path(path).absolute()).replace("/", "\\")


def unescape(text):
    """Undoes qauto's escaping of backslash, CR, LF and TAB."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append({"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_fields(stdout):
    """qauto's 'name: value' lines as a dict (values unescaped)."""
    fields = {}
    for line in stdout.splitlines():
        name, sep, value = line.partition(": ")
        if sep:
            fields[name] = unescape(value)
        elif line.endswith(":"):
            fields[line[:-1]] = ""
    return fields


def _box_from(stdout):
    f = parse_fields(stdout)
    buttons = f.get("buttons", "")
    return Box(f.get("caption", ""), f.get("text", ""),
               buttons.split("|") if buttons else [], f.get("icon"), f.get("hwnd"), f.get("owner"))


class IniSection(dict):
    """Keys keep their case; lookups ignore it, as the profile functions do."""

    def _key(self, key):
        if dict.__contains__(self, key):
            return key
        for k in self.keys():
            if k.lower() == str(key).lower():
                return k
        return key

    def __getitem__(self, key):
        return dict.__getitem__(self, self._key(key))

    def __contains__(self, key):
        return dict.__contains__(self, self._key(key))

    def get(self, key, default=None):
        return dict.get(self, self._key(key), default)


class IniFile(IniSection):
    """Sections -> IniSection. A missing section reads as empty; where a section or a key
    comes twice only the first one is read, as with GetPrivateProfileString."""

    def __getitem__(self, key):
        return IniSection.get(self, key, IniSection())


def parse_ini(text):
    ini, section = IniFile(), None
    for raw in text.splitlines():
        line = raw.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and "]" in line:
            name = line[1:line.index("]")].strip()
            section = IniSection()
            if name not in ini:
                ini[name] = section  # a repeated section is read into nothing
            continue
        if section is None or "=" not in line:
            continue
        key, _, value = line.partition("=")
        key, value = key.strip(), value.strip()
        if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
            value = value[1:-1]
        if key not in section:
            section[key] = value
    return ini


def wait_for(condition, timeout=5.0, what="the condition", interval=0.05):
    """Polls condition() until it gives a true value and returns that value; fails the test
    when the time is up first. For what a program does without being waited for: windows it
    opens, helpers it starts, files it writes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("%s did not happen within %s s" % (what, timeout))
        time.sleep(interval)


def _free_xvfb():
    """Starts Xvfb on a display number it picks itself; returns (Popen, ':N')."""
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(write_fd)
    number = b""
    with os.fdopen(read_fd, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        proc.kill()
        raise RuntimeError("Xvfb did not start")
    return proc, ":" + number.decode().strip()


SERIAL_MAP = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"


class Rig:
    """One Wine session for a test run: prefix, wineserver, X display, qauto."""

    def __init__(self, root, win_build_dir, prefix=None, log=None, display=None):
        self.root = Path(root).resolve()
        self.win = Path(win_build_dir)
        if not self.win.is_absolute():
            self.win = self.root / self.win
        self.testbin = self.win / "testbin"
        self.install_source = self.win / "install" / "QelSMS"
        self.qauto_exe = self.testbin / "qauto.exe"
        self.prefix = Path(prefix or os.environ.get("QEL_PREFIX")
                           or self.root / "build" / "wineprefix-test")
        self.tmp_root = self.root / "build" / "e2e-tmp"
        self.log = log or (lambda message: None)
        self.timings = {}
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=str(self.prefix), WINEARCH="win32", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;tapi32=n,b")
        self.xvfb = None
        self.started = []
        try:
            # A display given (make demo on a desktop) is used as it is; otherwise one of our own.
            if display:
                self.env["DISPLAY"] = display
            else:
                self.xvfb, self.env["DISPLAY"] = _free_xvfb()
            self._ensure_prefix()
            started = time.monotonic()
            subprocess.run(["wineserver", "-p"], env=self.env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # The first program of a session starts Wine's helpers; do it here, not in a test.
            self.qauto("windows", timeout=60)
            # Wine lists the machine's own serial ports (/dev/ttyS*) in the registry's
            # SERIALCOMM map, and the modem page probes every port listed there: the tests
            # list only the simulated ports they mean to be probed.
            self.wine(["reg", "delete", SERIAL_MAP, "/va", "/f"])
            self.timings["session-start"] = time.monotonic() - started
        except BaseException:
            self.close()
            raise

    # --- Wine session ---

    def _ensure_prefix(self):
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        with open(str(self.prefix) + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # two runs must not create it at once
            if (self.prefix / "system.reg").exists():
                return
            self.log("creating Wine prefix %s" % self.prefix)
            started = time.monotonic()
            self.prefix.mkdir(parents=True, exist_ok=True)
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env, check=False)
            self.timings["prefix-create"] = time.monotonic() - started

    def close(self):
        """Ends the Wine session and the X server."""
        self.end_started()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
            self.xvfb = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _command(self, args):
        args = [str(a) for a in args]
        return ["wine"] + args

    def wine(self, args, timeout=60, cwd=None, check=False):
        """Runs a Windows program to its end; CompletedProcess with text output. Wine passes
        the program's exit code through (modulo 256).

        Output goes through files, not pipes: Wine's helper processes started by the first
        program of a session inherit its handles and would keep a pipe open forever."""
        command = self._command(args)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen(command, env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err)
            try:
                code = proc.wait(timeout=timeout)
            except BaseException:
                proc.kill()
                proc.wait()
                raise
            out.seek(0)
            err.seek(0)
            done = subprocess.CompletedProcess(
                command, code, out.read().decode("utf-8", "replace"),
                err.read().decode("utf-8", "replace"))
        if check:
            done.check_returncode()
        return done

    def wine_start(self, args, cwd=None):
        """Starts a Windows program and returns its Popen (the Wine process is the program).
        Its output is dropped (see wine()); end_started() ends it if it is still running."""
        proc = subprocess.Popen(self._command(args), env=self.env, cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.started.append(proc)
        return proc

    def end_started(self):
        """Ends every program wine_start() started that still runs."""
        for proc in self.started:
            if proc.poll() is None:
                proc.kill()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        self.started = []

    # --- qauto ---

    def qauto(self, *args, timeout=30):
        """Runs qauto.exe; returns (exit code, stdout)."""
        done = self.wine([self.qauto_exe] + list(args), timeout=timeout)
        return done.returncode, done.stdout

    def find_box(self, timeout=10):
        """The message box on screen within timeout seconds, or None."""
        rc, out = self.qauto("box", "--timeout", int(timeout * 1000), timeout=timeout + 30)
        return _box_from(out) if rc == 0 else None

    def box(self, timeout=10, click=None):
        """Waits for a message box, answers it with the button named click (if given) and
        returns it as Box(caption, text, buttons, icon, hwnd, owner). Fails the test when none
        comes."""
        args = ["box", "--timeout", int(timeout * 1000)]
        if click is not None:
            args += ["--click", click]
        rc, out = self.qauto(*args, timeout=timeout + 30)
        if rc != 0:
            if out.strip():
                raise AssertionError("could not click %r on the box: %s" % (click, _box_from(out)))
            raise AssertionError("no message box within %s s" % timeout)
        return _box_from(out)

    def nobox(self, within=1.5):
        """True when no message box appears within the time; fails the test otherwise."""
        rc, out = self.qauto("nobox", "--within", int(within * 1000), timeout=within + 30)
        if rc == 1:
            raise AssertionError("unexpected message box: %s" % (_box_from(out),))
        if rc != 0:
            raise RuntimeError("qauto nobox failed (%d)" % rc)
        return True

    def windows(self):
        rc, out = self.qauto("windows")
        rows = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 4:
                rows.append(TopWindow(parts[0], parts[1], unescape(parts[2]), int(parts[3])))
        return rows

    def find(self, title, cls=None, timeout=10):
        """The hwnd (hex text) of a top-level window with that title, or None."""
        args = ["find", "--title", title, "--timeout", int(timeout * 1000)]
        if cls:
            args += ["--class", cls]
        rc, out = self.qauto(*args, timeout=timeout + 30)
        return out.strip() if rc == 0 else None

    def peek(self, title, id=None, timeout=10):
        """Like find(), for a window whose program is busy and reads no messages: only the
        stored titles are read. (hwnd, the stored text of control id or None), or None when
        no window has that title within timeout seconds."""
        args = ["peek", "--title", title, "--timeout", int(timeout * 1000)]
        if id is not None:
            args += ["--id", id]
        rc, out = self.qauto(*args, timeout=timeout + 30)
        if rc != 0:
            return None
        fields = parse_fields(out)
        return fields.get("hwnd"), fields.get("text")

    def sheet_query(self, sheet, wparam, lparam=0):
        """The answer of a property sheet's pages to PSM_QUERYSIBLINGS (0 when none answers)."""
        rc, out = self.qauto("sheet-query", "--hwnd", sheet, "--wparam", wparam,
                             "--lparam", lparam)
        if rc != 0:
            raise AssertionError("the sheet %s did not answer the query %s" % (sheet, wparam))
        return int(out)

    def text(self, hwnd, id=None):
        args = ["text", "--hwnd", hwnd] + (["--id", id] if id is not None else [])
        rc, out = self.qauto(*args)
        if rc != 0:
            raise AssertionError("no window %s / control %s" % (hwnd, id))
        return unescape(out.rstrip("\n"))

    def settext(self, hwnd, id, text):
        rc, _ = self.qauto("settext", "--hwnd", hwnd, "--id", id, "--text", text)
        if rc != 0:
            raise AssertionError("could not type into control %s" % id)

    def click(self, hwnd, id=None, text=None):
        args = ["click", "--hwnd", hwnd] + (["--id", id] if id is not None else ["--text", text])
        rc, _ = self.qauto(*args)
        if rc != 0:
            raise AssertionError("could not click %s" % (id if id is not None else text))

    def children(self, hwnd):
        rc, out = self.qauto("children", "--hwnd", hwnd)
        rows = []
        for line in out.splitlines():
            p = line.split("\t")
            if len(p) == 7:
                rows.append(Control(int(p[0]), p[1], unescape(p[2]), p[3] == "visible",
                                    p[4] == "enabled", p[5], p[6]))
        return rows

    def close_window(self, hwnd):
        return self.qauto("close", "--hwnd", hwnd)[0] == 0

    def service(self, name):
        """dict(state, binary, start, display); state 'missing' when not installed."""
        rc, out = self.qauto("service", name)
        if rc != 0:
            raise RuntimeError("qauto service %s failed (%d)" % (name, rc))
        f = parse_fields(out)
        return {"state": f.get("state"), "binary": f.get("binary"),
                "start": f.get("start"), "display": f.get("display")}

    def delete_service(self, name):
        return self.qauto("svc-delete", name, timeout=60)[0] == 0

    def getbyte(self, mapping, offset):
        """The byte at offset in a named file mapping, or None when there is no mapping."""
        rc, out = self.qauto("getbyte", "--mapping", mapping, "--offset", offset)
        return int(out) if rc == 0 else None

    def setbyte(self, mapping, offset, value):
        rc, _ = self.qauto("setbyte", "--mapping", mapping, "--offset", offset, "--value", value)
        if rc != 0:
            raise AssertionError("no mapping %s" % mapping)

    def kill_image(self, *images):
        """Ends every process running one of these executables; returns their pids."""
        rc, out = self.qauto("kill", *images)
        return [int(p) for p in out.split()] if rc == 0 else []

    # --- list views, keys and files held open ---

    def control(self, hwnd, id):
        """The hwnd of the descendant control with that id; fails the test when there is none."""
        for control in self.children(hwnd):
            if control.id == id:
                return control.hwnd
        raise AssertionError("window %s has no control %s" % (hwnd, id))

    def _list(self, *args):
        rc, out = self.qauto(*args)
        if rc != 0:
            raise AssertionError("qauto %s failed (%d)" % (" ".join(str(a) for a in args), rc))
        return out

    def list_rows(self, hwnd):
        """The number of rows of a list view."""
        return int(self._list("list-rows", "--hwnd", hwnd))

    def list_cells(self, hwnd, max_rows=None):
        """Every row of a list view as a list of its cell texts."""
        args = ["list-cells", "--hwnd", hwnd] + (["--max", max_rows] if max_rows is not None else [])
        out = self._list(*args)
        return [[unescape(cell) for cell in line.split("\t")] for line in out.splitlines()]

    def list_selected(self, hwnd):
        """The indexes of the selected rows, in order."""
        return [int(line) for line in self._list("list-selected", "--hwnd", hwnd).split()]

    def list_select(self, hwnd, rows):
        """Selects exactly these rows (the first one focused); [] clears the selection."""
        self._list("list-select", "--hwnd", hwnd, "--rows", ",".join(str(r) for r in rows))

    def header_click(self, hwnd, column):
        """Clicks the header of a list view's column (0-based)."""
        self._list("list-header-click", "--hwnd", hwnd, "--column", column)

    def dblclick(self, hwnd, row):
        """Double-clicks a list view's row."""
        self._list("dblclick", "--hwnd", hwnd, "--row", row)

    def box_items(self, hwnd):
        """The entries of a list box: [(text, selected)]."""
        out = self._list("lb-items", "--hwnd", hwnd)
        return [(unescape(line[1:]), line[:1] == "*") for line in out.splitlines()]

    def box_select(self, hwnd, index):
        """Selects a list box entry as a click on it does."""
        self._list("lb-select", "--hwnd", hwnd, "--index", index)

    def key(self, hwnd, vk):
        """Presses and releases a key (DELETE, RETURN, ESCAPE, a letter, a number) in a window,
        focused first."""
        self._list("key", "--hwnd", hwnd, "--vk", vk)

    def hold_file(self, path, ms=600000, timeout=10):
        """Keeps a file open from another process without delete sharing for ms milliseconds
        (or until end_started()); returns the Popen once the file is open."""
        out = tempfile.TemporaryFile()
        proc = subprocess.Popen(self._command([self.qauto_exe, "hold", "--path", to_windows(path),
                                               "--ms", int(ms)]),
                                env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.DEVNULL)
        self.started.append(proc)

        def held():
            out.seek(0)
            return b"held" in out.read()
        wait_for(lambda: held() or proc.poll() is not None, timeout, what="holding %s" % path)
        if not held():
            raise AssertionError("could not hold %s open" % path)
        return proc

    def reg_delete(self, key):
        self.wine(["reg", "delete", key, "/f"])

    def answer_boxes(self, program, click="OK", timeout=30):
        """Answers every message box with the button named click until the program ends;
        returns the boxes in the order they came. Fails when the program outlives timeout."""
        boxes = []
        deadline = time.monotonic() + timeout
        while program.poll() is None:
            if time.monotonic() >= deadline:
                raise AssertionError("program still running after %s s; boxes: %s"
                                     % (timeout, boxes))
            rc, out = self.qauto("box", "--timeout", 500, "--click", click, timeout=30)
            if rc == 0:
                boxes.append(_box_from(out))
            elif out.strip():
                raise AssertionError("could not click %r on the box: %s" % (click, _box_from(out)))
        return boxes

    def unix_path(self, windows_path):
        """Where a Windows path of this prefix lies here: C:\\x -> <prefix>/drive_c/x,
        Z:\\x -> /x."""
        drive, _, rest = str(windows_path).partition(":")
        parts = [p for p in rest.replace("/", "\\").split("\\") if p]
        if drive.upper() == "Z":
            return Path("/").joinpath(*parts)
        return (self.prefix / ("drive_" + drive.lower())).joinpath(*parts)

    def user_profile(self):
        """The folder %USERPROFILE% names inside Wine, as a path here."""
        done = self.wine(["cmd", "/c", "echo", "%USERPROFILE%"])
        profile = done.stdout.strip()
        if done.returncode != 0 or ":" not in profile:
            raise RuntimeError("no user profile: %r %r" % (done.stdout, done.stderr))
        return self.unix_path(profile)

    # --- environments ---

    def fresh_env(self, fwrules=True, standins=True, name=None):
        return TestEnv(self, fwrules=fwrules, standins=standins, name=name)


class TestEnv:
    """A fresh installation for one test: install/ (program, DLLs, stand-ins), data/,
    private/, and the registry values that point at them."""

    def __init__(self, rig, fwrules=True, standins=True, name=None):
        started = time.monotonic()
        self.rig = rig
        rig.tmp_root.mkdir(parents=True, exist_ok=True)
        self.folder = Path(tempfile.mkdtemp(prefix=(name or "env") + "-", dir=str(rig.tmp_root)))
        self.install = self.folder / "install"
        self.data = self.folder / "data"
        self.private = self.folder / "private"
        try:
            shutil.copytree(str(rig.install_source), str(self.install))
            if standins:
                wanted = STANDINS + ((FWRULES,) if fwrules else ())
                for exe in wanted:
                    source = rig.testbin / "standins" / exe
                    if source.exists():
                        shutil.copy2(str(source), str(self.install / exe))
            self.data.mkdir()
            self.private.mkdir()
            self.exe = to_windows(self.install / PROGRAM)
            self._write_registry()
        except BaseException:
            shutil.rmtree(str(self.folder), ignore_errors=True)
            raise
        rig.timings["fresh-env"] = time.monotonic() - started

    def _write_registry(self):
        self.write_registry()

    def write_registry(self, data=None, private=None, program=None):
        """Points the registry overrides at folders (Linux paths); each one not given is this
        installation's own."""
        def reg_string(text):
            return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')
        folders = (data or self.data, private or self.private, program or self.install)
        lines = ["REGEDIT4", "", "[-%s]" % REG_ROOT_KEY, "", "[%s]" % REG_KEY,
                 '"DataDirectory"=%s' % reg_string(to_windows(folders[0]) + "\\"),
                 '"PrivateDataDirectory"=%s' % reg_string(to_windows(folders[1]) + "\\"),
                 '"ProgramDirectory"=%s' % reg_string(to_windows(folders[2]) + "\\"),
                 # The search for phone modems never leaves the machine: nothing answers here.
                 '"ModemDiscoveryServer"="127.0.0.1:9"', ""]
        reg_file = self.folder / "env.reg"
        reg_file.write_text("\r\n".join(lines), encoding="ascii")
        done = self.rig.wine(["regedit", "/S", to_windows(reg_file)])
        if done.returncode != 0:
            raise RuntimeError("regedit failed: %s" % done.stderr)

    def set_registry_value(self, name, value):
        """A REG_SZ value beside the directory overrides (removed with them at cleanup)."""
        done = self.rig.wine(["reg", "add", REG_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f"])
        if done.returncode != 0:
            raise RuntimeError("reg add failed: %s" % done.stderr)

    def run(self, *args, timeout=60):
        """Runs the program to its end; CompletedProcess (returncode is the program's)."""
        return self.rig.wine([self.exe] + list(args), timeout=timeout, cwd=str(self.install))

    def start(self, *args):
        """Starts the program and returns its Popen; cleanup() ends it if still running."""
        return self.rig.wine_start([self.exe] + list(args), cwd=str(self.install))

    def ini(self, name):
        """An INI file of the data folder (or any path) as sections -> keys -> values."""
        path = Path(name)
        if not path.is_absolute():
            path = self.data / path
        return parse_ini(path.read_bytes().decode("cp1252", errors="replace"))

    def log_lines(self, name):
        """The lines of a log file in the install folder (STANDIN.LOG, FWRULES.LOG); [] when
        there is none yet."""
        path = self.install / name
        if not path.exists():
            return []
        return path.read_bytes().decode("cp1252", errors="replace").splitlines()

    def cleanup(self):
        """Ends the program, deletes the test services and the registry key, removes the
        folder. Safe to call twice."""
        self.rig.end_started()
        for service in SERVICES:
            self.rig.delete_service(service)
        self.rig.kill_image(PROGRAM, *(STANDINS + (FWRULES,)))
        self.rig.reg_delete(REG_ROOT_KEY)
        shutil.rmtree(str(self.folder), ignore_errors=True)


class TimeLimit:
    """Raises TimeoutError in the main thread after the given seconds (SIGALRM); subprocess
    calls under way kill their child when it does."""

    def __init__(self, seconds):
        self.seconds = seconds

    def _expired(self, signum, frame):
        raise TimeoutError("time limit of %d s reached" % self.seconds)

    def __enter__(self):
        self.previous = signal.signal(signal.SIGALRM, self._expired)
        signal.alarm(int(self.seconds))
        return self

    def __exit__(self, *exc):
        signal.alarm(0)
        signal.signal(signal.SIGALRM, self.previous)
