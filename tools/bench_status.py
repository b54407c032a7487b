#!/usr/bin/env python3
"""Benchmark, run by hand: the Status page's refresh.

    make windows && python3 tools/bench_status.py [--windows build/win32] [--ticks 1000]

In a fresh installation with 250 "Modem<N>" keys (three of them with an error note), the
eight rows' counter files for this year and last, 10,000 ".REQ" files in the outbound SMS
queue (half of them in 20 sub-queues) and 5,000 ".MMS"/".INI" pairs in the outbound MMS
queue, runs testing/status_bench.exe and compares:
- one tick without a queue count (services' state, modem line, counters): goal under 1 ms of
  processor time, the median of the rounds, beside the bare platform calls of the same
  sources measured in the same run;
- one queue count against a bare FindFirstFile walk of the same folders: goal within 1.2x.
"""

import argparse
import datetime
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import Rig  # noqa: E402

COUNTERS = ["SMSSUBMIT", "SMSSENT", "SMSRECEIVED", "SMSFAILED", "SMSRETRY", "MMSIN-VASP", "MMSIN-USER",
            "MMSOUT-VASP", "MMSOUT-MMSC", "MMSIN-MODEM"]


def populate(env):
    modems = "".join("Modem%d=COM%d:\r\n" % (n, n) for n in range(1, 251))
    (env.data / "SMSGW.INI").write_bytes(("[SMSGW]\r\n" + modems).encode("ascii"))
    for n in (3, 77, 250):
        (env.private / ("COM%d-.ERR" % n)).write_text("No network")
    stats = env.private / "STATS"
    stats.mkdir()
    year = datetime.date.today().year
    for name in COUNTERS:
        for y in (year - 1, year):
            (stats / ("%s-%d.CTR" % (name, y))).write_bytes(struct.pack("<366I", *range(366)))
    queue = env.data / "Q"
    queue.mkdir()
    for n in range(10000):
        folder = queue if n % 2 == 0 else queue / ("SUB%02d" % (n % 20))
        folder.mkdir(exist_ok=True)
        (folder / ("R%05d.REQ" % n)).write_bytes(b"[SMS]\r\nPhoneNumber=+4412345\r\nData=x\r\n")
    vasp = env.data / "VASPQ"
    vasp.mkdir()
    for n in range(5000):
        (vasp / ("M%05d.MMS" % n)).write_bytes(b"x" * 64)
        (vasp / ("M%05d.INI" % n)).write_bytes(b"[Routing]\r\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows", default="build/win32")
    parser.add_argument("--ticks", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=5)
    options = parser.parse_args()
    rig = Rig(ROOT, options.windows, prefix=ROOT / "build" / "wineprefix-bench-status")
    env = rig.fresh_env(name="bench-status")
    try:
        populate(env)
        done = rig.wine([rig.testbin / "status_bench.exe", "--ticks", options.ticks, "--rounds", options.rounds],
                        timeout=900, cwd=str(env.install))
        figures = dict(line.split(None, 1) for line in done.stdout.splitlines() if " " in line)
        print(done.stdout.strip())
        tick = float(figures["tick-cpu-ms"])
        bare = float(figures["bare-tick-cpu-ms"])
        ratio = float(figures["queue-ratio"])
        print("\n%-44s %10s  %s" % ("goal", "measured", "result"))
        print("%-44s %8.3f ms  %s" % ("tick without queue count: CPU < 1 ms", tick, "PASS" if tick < 1 else "MISS"))
        print("%-44s %8.3f ms  (tick %.2fx)" % ("  baseline: the bare calls of the same sources", bare,
                                                 tick / bare if bare else 0))
        print("%-44s %9.2fx  %s" % ("queue count / bare walk <= 1.2", ratio, "PASS" if ratio <= 1.2 else "MISS"))
    finally:
        env.cleanup()
        rig.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
