"""Checks the stand-in tapi32.dll under Wine. For each case of the table it lays tapi_check.exe,
the DLL (through tests/e2e/tapi_rig.py) and the case's TAPISTANDIN.INI into a folder of their own,
runs tapi_check.exe with the override "tapi32=n,b", and compares its output and the stand-in's
log with what the case expects. COM7 of the prefix is a pseudo-terminal whose far end answers
each byte with the next letter.

    python3 testing/tapi_standin/check_standin.py [--build build/win32] [--prefix DIR]

Exit code 0 when every case passed. Python 3 standard library only.
"""

import argparse
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import tty
import types
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from tapi_rig import install_tapi_standin, tapi_leaks, tapi_log  # noqa: E402

LONG_NAME = "L" * 1100  # more than a 1276-byte LINEDEVCAPS holds after its fixed part

# (name, TAPISTANDIN.INI, output lines expected in this order, log patterns expected in this order)
CASES = [
    ("lists every line, calls the data line with a port and gives every handle back", """
        [Lines]
        Count=3
        [Line0]
        Name=Voice Line
        Media=voice
        PortName=COM8
        [Line1]
        Name=%s
        [Line2]
        Name=Modem Two
        Media=data voice
        PortName=COM7
        DevCapsSize=2000
        """ % LONG_NAME, [
        "callback init: 0 3", "callback shutdown: 0",
        "init: 0 devices=3 version=30001 event=yes",
        "negotiate 0: 0 20001", "caps 0: 0 size=1276 used=263 format=1 media=4 name=Voice Line",
        "open 0: 0", "port 0: 0 format=1 name=COM8",
        "caps 1: 0 size=1353 used=1353 format=1 media=10 name=" + LONG_NAME, "port 1: 80000023",
        "caps 2: 0 size=2000 used=262 format=1 media=14 name=Modem Two", "port 2: 0 format=1 name=COM7",
        "event before call: clear", "make call 2: request", "event after call: set",
        "message: 2 100", "reply: 0", "event after reply: clear",
        "datamodem needs: 0 38", "datamodem: 0 format=4 name=Modem Two",
        "write: 1", "read: 1 B", "message: 2 1", "drop: request 0", "deallocate: 0",
        "close: 0", "shutdown: 0",
    ], [
        r"lineInitializeExA callback -> 0 hLineApp=\d+ devices=3$", r"lineShutdown \d+ -> 0$",
        r"lineGetDevCapsA 1 size=1276 -> 0 needed=1353$", r"lineGetDevCapsA 1 size=1353 -> 0",
        r"lineGetDevCapsA 2 size=1276 -> 8000004D needed=2000$",
        r"lineMakeCallA \d+ to=none bearer=40 media=10 -> 1 hCall=\d+ reply=success$",
        r"lineGetMessage \d+ 2000 -> 0 LINE_REPLY request=1 result=0$",
        r"lineGetIDA call \d+ comm/datamodem -> 0$",  # too small: the port stays closed
        r"lineGetIDA call \d+ comm/datamodem -> 0 \\\\\.\\COM7$",
    ]),
    ("a refused initialization leaves nothing to give back", """
        [Lines]
        Count=1
        Initialize=80000048
        """, ["callback init: 80000048 0", "init: 80000048 devices=0 version=20001 event=no"],
     [r"lineInitializeExA callback -> 80000048$", r"lineInitializeExA event -> 80000048$"]),
    ("a reply that never comes: the wait ends, the call is dropped", """
        [Lines]
        Count=1
        [Line0]
        PortName=COM7
        Reply=no
        """, ["event after call: clear", "reply: 1", "drop: request 0", "deallocate: 0", "shutdown: 0"],
     [r"reply=none$", r"lineGetMessage \d+ 2000 -> 80000048$", r"lineDrop \d+ -> 2$"]),
    ("a reply carrying a failure leaves no call", """
        [Lines]
        Count=1
        [Line0]
        PortName=COM7
        Reply=80000005
        """, ["reply: 80000005", "close: 0"],
     [r"reply=failure$", r"LINE_REPLY request=1 result=80000005$"]),
    ("a port that cannot be opened fails the call's port handle", """
        [Lines]
        Count=1
        [Line0]
        PortName=COM9
        """, ["datamodem needs: 0 35", "datamodem: 80000048", "drop: request 0", "deallocate: 0"],
     [r"lineGetIDA call \d+ comm/datamodem -> 80000048 error=2$"]),
    ("each configured failure fails its call", """
        [Lines]
        Count=5
        [Line0]
        Negotiate=8000000C
        [Line1]
        DevCaps=0x80000048
        [Line2]
        Open=8000004B
        [Line3]
        GetId=80000048
        PortName=COM7
        [Line4]
        MakeCall=80000005
        PortName=COM7
        """, ["negotiate 0: 8000000C 0", "caps 1: 80000048 size=1276", "open 2: 8000004B", "port 3: 80000048",
              "port 4: 0 format=1 name=COM7", "make call 4: failed", "close: 0", "shutdown: 0"],
     [r"lineMakeCallA \d+ to=none bearer=40 media=10 -> 80000005$"]),
]


class Modem:
    """COM7 of the prefix on a pseudo-terminal; the far end answers each byte with the next one."""

    def __init__(self, prefix):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        self.link = prefix / "dosdevices" / "com7"
        if self.link.is_symlink():
            self.link.unlink()
        self.link.symlink_to(os.ttyname(self.slave))
        self.running = True
        self.thread = threading.Thread(target=self._answer, daemon=True)
        self.thread.start()

    def _answer(self):
        while self.running:
            if select.select([self.master], [], [], 0.1)[0]:
                for byte in os.read(self.master, 64):
                    os.write(self.master, bytes([(byte + 1) & 0xFF]))

    def close(self):
        self.running = False
        self.thread.join()
        self.link.unlink()
        os.close(self.master)
        os.close(self.slave)


def in_order(expected, lines, match):
    """The first expected item not found after the one before it, or None."""
    position = 0
    for item in expected:
        while position < len(lines) and not match(item, lines[position]):
            position += 1
        if position == len(lines):
            return item
        position += 1
    return None


def run_case(case, tapi_dir, env, work):
    name, ini, output, log_patterns = case
    folder = Path(tempfile.mkdtemp(dir=str(work)))
    shutil.copy2(str(tapi_dir / "tapi_check.exe"), str(folder))
    fake_env = types.SimpleNamespace(install=folder, rig=types.SimpleNamespace(testbin=tapi_dir.parent))
    install_tapi_standin(fake_env, ini)
    faults = []
    with open(str(folder / "output.txt"), "wb") as out:
        try:
            done = subprocess.run(["wine", "tapi_check.exe", "2000"], env=env, cwd=str(folder),
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, timeout=60)
            if done.returncode != 0:
                faults.append("exit code %d" % done.returncode)
        except subprocess.TimeoutExpired:
            faults.append("tapi_check.exe still running after 60 s")
    lines = (folder / "output.txt").read_bytes().decode("cp1252", "replace").splitlines()
    log = tapi_log(fake_env)
    missing = in_order(output, lines, lambda want, line: line == want)
    if missing:
        faults.append("output lacks %r" % missing)
    missing = in_order(log_patterns, log, lambda want, line: re.search(want, line))
    if missing:
        faults.append("log lacks %r" % missing)
    if tapi_leaks(log):
        faults.append("handles not given back: %s" % tapi_leaks(log))
    print("%s: %s" % ("ok  " if not faults else "FAIL", name))
    for fault in faults:
        print("      " + fault)
    if faults:
        print("      output: %s\n      log: %s" % ("\n              ".join(lines), "\n           ".join(log)))
    return not faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "win32"))
    parser.add_argument("--prefix", default=str(ROOT / "build" / "wineprefix-tapi"))
    args = parser.parse_args()
    tapi_dir = Path(args.build).resolve() / "testbin" / "tapi"
    prefix = Path(args.prefix).resolve()
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;tapi32=n,b")
    if not (prefix / "system.reg").exists():
        subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env)
    work = Path(tempfile.mkdtemp(prefix="tapi-check-", dir=str(ROOT / "build")))
    modem = Modem(prefix)
    try:
        passed = sum(run_case(case, tapi_dir, env, work) for case in CASES)
    finally:
        modem.close()
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(str(work), ignore_errors=True)
    print("%d passed, %d failed" % (passed, len(CASES) - passed))
    return 0 if passed == len(CASES) else 1


if __name__ == "__main__":
    sys.exit(main())
