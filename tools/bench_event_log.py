#!/usr/bin/env python3
"""Benchmark, run by hand: the event log viewer over a large log.

    python3 tools/bench_event_log.py [--windows build/win32] [--records 100000] [--ours 20000]

Writes a file of records (every fifth one from "QelSMS" by default, the rest from other
sources), opens the viewer on it with testing/event_log_host.exe --bench and prints the time
until the first fill has drawn, and how many reads the refreshes after it made while
nothing new came (there should be none). Python 3 standard library, Wine and Xvfb.
"""

import argparse
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from event_records import ERROR, INFORMATION, WARNING, record  # noqa: E402
from harness import Rig, to_windows  # noqa: E402


def write_log(path, total, ours):
    step = max(1, total // max(1, ours))
    chunks, shown = [], 0
    for number in range(1, total + 1):
        if number % step == 0 and shown < ours:
            kind = (ERROR, WARNING, INFORMATION)[shown % 3]
            chunks.append(record(number, "QelSMS", kind, ["Event %d of the gateway" % number],
                                 1700000000 + number))
            shown += 1
        else:
            chunks.append(record(number, "Other Application", INFORMATION,
                                 ["Something else happened (%d)" % number], 1700000000 + number))
    path.write_bytes(b"".join(chunks))
    return shown


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows", default="build/win32")
    parser.add_argument("--records", type=int, default=100000)
    parser.add_argument("--ours", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    with Rig(ROOT, args.windows) as rig:
        rig.tmp_root.mkdir(parents=True, exist_ok=True)
        path = rig.tmp_root / "bench-events.bin"
        shown = write_log(path, args.records, args.ours)
        print("log: %d records, %d from QelSMS, %.1f MB" %
              (args.records, shown, path.stat().st_size / 1e6))
        host = rig.testbin / "event_log_host.exe"
        for round_ in range(1, args.rounds + 1):
            started = time.monotonic()
            done = rig.wine([host, "--bench", "--refresh-ms", "200", to_windows(path)], timeout=600)
            figures = dict(line.split(" ", 1) for line in done.stdout.split("\n") if " " in line)
            print("round %d: %s (process %.1f s)" % (
                round_, ", ".join("%s=%s" % item for item in figures.items()),
                time.monotonic() - started))
        path.unlink()


if __name__ == "__main__":
    main()
