#!/usr/bin/env python3
"""Benchmark, run by hand: the modem test against a simulated modem that answers at once.

    make windows && python3 tools/bench_modem.py [--windows build/win32] [--rounds 3]

Runs the program's TestModem (testing/modem_host.exe, message boxes answered at once; the
time they are on screen is taken out using the test's own trace, MODEMTRACE.LOG) on
the direct path (a COM port named COM5:) and on the telephony path (the stand-in telephony
DLL handing out the same port), and compares each with the waits the modem test cannot
avoid: on the direct path the 1 s read after "\\r" at the one speed tried, the 5 s read
after the send command and the two 100 ms pauses; on the telephony path the same without
the speed search. Goal: at most 5 % above those waits. Also prints the wall and processor
time of one AT exchange (one write call per character) over the pseudo-terminal.
"""

import argparse
import re
import shutil
import statistics
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import Rig  # noqa: E402
from modem_rig import start_modem  # noqa: E402
from tapi_rig import install_tapi_standin  # noqa: E402

UNAVOIDABLE_MS = {"direct": 1000 + 5000 + 200, "telephony": 5000 + 200}


def modem_time_ms(env):
    """The test's time from its trace, less the time its message boxes were on screen (from
    each "message:" line to the line after it)."""
    stamps = []
    for line in (env.data / "MODEMTRACE.LOG").read_text("cp1252").splitlines():
        match = re.match(r"^\s*(\d+) ms  (.*)$", line)
        if match:
            stamps.append((int(match.group(1)), match.group(2)))
    boxes = sum(stamps[i + 1][0] - stamps[i][0] for i in range(len(stamps) - 1)
                if stamps[i][1].startswith("# message: "))
    return stamps[-1][0] - boxes


def run_host(rig, env, *args):
    done = rig.wine([env.install / "modem_host.exe"] + list(args), timeout=120, cwd=str(env.install))
    fields = dict(re.findall(r"^([a-z-]+) (\S+)$", done.stdout.replace("\r", ""), re.M))
    if "--exchanges" not in args and fields.get("result") != "1":
        raise RuntimeError("the modem test failed: %s %s" % (done.stdout, done.stderr))
    return fields


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", default="build/win32")
    parser.add_argument("--rounds", type=int, default=3)
    options = parser.parse_args()
    rig = Rig(ROOT, options.windows, prefix=ROOT / "build" / "wineprefix-bench-modem")
    env = rig.fresh_env(standins=False, name="bench-modem")
    try:
        shutil.copy2(str(rig.testbin / "modem_host.exe"), str(env.install))
        install_tapi_standin(env, "[Lines]\nCount=1\n[Line0]\nName=Bench Modem\nPortName=COM5\n")
        start_modem(rig, 5, "ok")
        for path, modem in (("direct", "COM5:"), ("telephony", "Bench Modem")):
            times, cpu = [], []
            for _ in range(options.rounds):
                fields = run_host(rig, env, "--answer-boxes", modem)
                times.append(modem_time_ms(env))
                cpu.append(float(fields["test-cpu-ms"]))
            best, floor = min(times), UNAVOIDABLE_MS[path]
            print("%-9s test %6.0f ms (median %6.0f), unavoidable waits %5d ms: +%.1f %%, cpu %.0f ms"
                  % (path, best, statistics.median(times), floor, (best - floor) * 100.0 / floor,
                     statistics.median(cpu)))
        fields = run_host(rig, env, "--exchanges", "200", "COM5:")
        print("one AT exchange: %s ms wall, %s ms processor (%s of %s answered OK)"
              % (fields["exchange-wall-ms"], fields["exchange-cpu-ms"], fields["ok"],
                 fields["exchanges"]))
    finally:
        env.cleanup()
        rig.close()


if __name__ == "__main__":
    main()
