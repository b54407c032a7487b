"""The WAPLINK.DLL test double in a test's installation.

    install_waplink(env, "full", '''
    [WapLink]
    ModemAllocate=1
    RasDial=633,0
    ErrorString=The port is already in use
    ''')
    ... run the program ...
    log = waplink_log(env)
    assert log[-1] == "ModemRelease 1"

The program loads WAPLINK.DLL from its own folder. The variants are builds of
testing/waplink_double/ (the INI keys are listed at the top of waplink_double.cpp): "full",
"no-optional" (without ModemGetCIDForAPN, ModemDriverUpdateInitStrings and
WSPRasGetErrorString) and "no-hangup" (without the required WSPRasHangUp). WAPLINK.LOG beside
the DLL gets one line per call, such as "ModemAllocate Modem X 30000 -> 1".

Python 3 standard library only.
"""

import shutil
import textwrap

DLL = "WAPLINK.DLL"
INI = "WAPLINK.INI"
LOG = "WAPLINK.LOG"
VARIANTS = ("full", "no-optional", "no-hangup")


def install_waplink(env, variant="full", ini_text="[WapLink]\n"):
    """Copies the variant's WAPLINK.DLL into env.install and writes its WAPLINK.INI there;
    a log of an earlier set-up is removed."""
    if variant not in VARIANTS:
        raise ValueError("no WAPLINK.DLL variant %r" % variant)
    shutil.copy2(str(env.rig.testbin / "waplink" / variant / DLL), str(env.install / DLL))
    lines = textwrap.dedent(ini_text).strip().splitlines()
    (env.install / INI).write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))
    log = env.install / LOG
    if log.exists():
        log.unlink()


def plant_waplink(env, *folders):
    """Puts the full double with its INI into each folder (outside the installation), where a
    search by bare name would find it; gives the folders."""
    for folder in folders:
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copy2(str(env.rig.testbin / "waplink" / "full" / DLL), str(folder / DLL))
        (folder / INI).write_bytes(b"[WapLink]\r\nModemAllocate=1\r\nRasDial=0\r\n")
    return folders


def waplink_log(env):
    """The double's log lines, oldest first; [] when nothing has called it."""
    path = env.install / LOG
    if not path.exists():
        return []
    return path.read_bytes().decode("cp1252", errors="replace").splitlines()
