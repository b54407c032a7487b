"""A simulated GSM modem on a COM port of the rig's Wine prefix, for tests of the modem check.

    modem = start_modem(rig, 5, "sim-pin", pin="1234", speeds=[9600])
    ... the program opens COM5 ...
    assert (9600, 'AT+CPIN="1234"') in modem.commands()

The modem runs testing/simulators/modem_sim.py; its options are given as keywords (pin,
speeds, rounds, resets, drop_seconds, trickle_ms, long_bytes, answers={COMMAND: [lines]}).
It is registered with the rig like a program started with wine_start(), so rig.end_started()
(called after every test, and by env.cleanup()) stops it; stop() does so earlier. Use port
numbers 5 and up: Wine rewrites com1 when a session starts.

Python 3 standard library only.
"""

import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SIMULATORS = Path(__file__).resolve().parents[2] / "testing" / "simulators"
sys.path.insert(0, str(SIMULATORS))
import modem_sim  # noqa: E402

READY_TIMEOUT = 10


def _arguments(options):
    """Keyword options as modem_sim.py's command-line options."""
    args = []
    for name, value in options.items():
        flag = "--" + name.replace("_", "-")
        if name == "answers":
            for command, reply in value.items():
                args += ["--answer", "|".join([command] + list(reply))]
        elif isinstance(value, (list, tuple, set, frozenset)):
            args += [flag, ",".join(str(v) for v in sorted(value, key=str)) or "none"]
        else:
            args += [flag, str(value)]
    return args


class SimulatedModem:
    """One modem_sim.py process. Looks enough like a Popen (poll, kill, wait) for the rig's
    end_started(); kill() ends it as stop() does, so the port's link is removed, and poll()
    reports it running until then, so that one that ended by itself is cleaned up too."""

    def __init__(self, rig, port_number, personality, options):
        self.link = rig.prefix / "dosdevices" / ("com%d" % port_number)
        rig.tmp_root.mkdir(parents=True, exist_ok=True)
        self.folder = Path(tempfile.mkdtemp(prefix="modem-com%d-" % port_number,
                                            dir=str(rig.tmp_root)))
        self.log = self.folder / "commands.log"
        self.errors = self.folder / "stderr.log"
        command = [sys.executable, str(SIMULATORS / "modem_sim.py"), "--link", str(self.link),
                   "--log", str(self.log), "--personality", personality] + _arguments(options)
        with open(str(self.errors), "wb") as errors:
            self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.PIPE, stderr=errors)
        self.slave = None
        self.stopped = False

    def wait_ready(self):
        deadline = time.monotonic() + READY_TIMEOUT
        line = b""
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            if select.select([self.process.stdout], [], [], 0.1)[0]:
                chunk = os.read(self.process.stdout.fileno(), 1)
                if not chunk:
                    break
                line += chunk
        if line.strip() != b"ready":
            complaint = line.decode(errors="replace") or self.stderr()
            self.stop()
            raise RuntimeError("the modem simulator did not start: %s" % complaint)
        self.slave = os.readlink(str(self.link))

    def commands(self):
        """Every command received so far as (speed, command), message texts included."""
        if not self.log.exists():
            return []
        rows = []
        for line in self.log.read_text(encoding="latin-1").splitlines():
            speed, _, command = line.partition("\t")
            rows.append((int(speed), modem_sim.unescape(command)))
        return rows

    def stderr(self):
        return self.errors.read_text(errors="replace") if self.errors.exists() else ""

    def stop(self):
        """Ends the simulator (which removes the port's link) and removes its files."""
        self.stopped = True
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        # A killed simulator leaves the link to a pty number the system will hand out again.
        link = str(self.link)
        if self.slave and os.path.islink(link) and os.readlink(link) == self.slave:
            os.unlink(link)
        shutil.rmtree(str(self.folder), ignore_errors=True)

    # --- what rig.end_started() calls ---

    def poll(self):
        return self.process.poll() if self.stopped else None

    def kill(self):
        self.stop()

    def wait(self, timeout=None):
        return self.process.wait(timeout)


def start_modem(rig, port_number, personality="ok", **options):
    """Starts a simulated modem on COM<port_number> and returns it once it serves."""
    modem = SimulatedModem(rig, port_number, personality, options)
    modem.wait_ready()
    rig.started.append(modem)
    return modem
