"""The stand-in telephony DLL in a test's installation.

    install_tapi_standin(env, '''
    [Lines]
    Count=1
    [Line0]
    Name=Standard Modem
    PortName=COM7
    ''')
    ... run the program ...
    assert tapi_leaks(tapi_log(env)) == []

The Rig loads a tapi32.dll found beside the program in place of Wine's own (WINEDLLOVERRIDES
"tapi32=n,b"); TAPISTANDIN.INI beside it describes the lines (the format is at the top of
testing/tapi_standin/tapi_standin.cpp) and TAPISTANDIN.LOG gets one line per call.

Python 3 standard library only.
"""

import re
import shutil
import textwrap

DLL = "tapi32.dll"
INI = "TAPISTANDIN.INI"
LOG = "TAPISTANDIN.LOG"


def install_tapi_standin(env, ini_text):
    """Copies the stand-in tapi32.dll into env.install and writes its TAPISTANDIN.INI there;
    a log of an earlier set-up is removed."""
    shutil.copy2(str(env.rig.testbin / "tapi" / DLL), str(env.install / DLL))
    lines = textwrap.dedent(ini_text).strip().splitlines()
    (env.install / INI).write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))
    log = env.install / LOG
    if log.exists():
        log.unlink()


def tapi_log(env):
    """The stand-in's log lines, oldest first; [] when nothing has called it."""
    path = env.install / LOG
    if not path.exists():
        return []
    return path.read_bytes().decode("cp1252", errors="replace").splitlines()


_TAKEN = (
    ("hLineApp", re.compile(r"^lineInitializeExA \S+ -> 0 hLineApp=(\d+)")),
    ("hLine", re.compile(r"^lineOpenA \d+ -> 0 hLine=(\d+)")),
    # Only a call whose request succeeds is handed to the caller.
    ("hCall", re.compile(r"^lineMakeCallA .* -> [0-9A-F]+ hCall=(\d+) reply=success$")),
)
_GIVEN_BACK = (
    ("hLineApp", re.compile(r"^lineShutdown (\d+) -> 0$")),
    ("hLine", re.compile(r"^lineClose (\d+) -> 0$")),
    ("hCall", re.compile(r"^lineDeallocateCall (\d+) -> 0$")),
)


def tapi_leaks(lines):
    """The handles the log shows taken and never given back by their own call (lineShutdown,
    lineClose, lineDeallocateCall), as "hLine=3" texts in the order they were taken."""
    held = []
    for line in lines:
        for kind, pattern in _TAKEN:
            match = pattern.match(line)
            if match:
                held.append("%s=%s" % (kind, match.group(1)))
        for kind, pattern in _GIVEN_BACK:
            match = pattern.match(line)
            if match and "%s=%s" % (kind, match.group(1)) in held:
                held.remove("%s=%s" % (kind, match.group(1)))
    return held
