#!/usr/bin/env python3
"""Benchmark, run by hand: the 2-Way page over 500 keywords.

    make windows && python3 tools/bench_twoway.py [--windows build/win32] [--keywords 500] [--rounds 5]

In a fresh installation whose SMSGW.INI holds a configured modem, the page's settings and a
keyword table of 500 entries (each with its section of two to four actions), runs
testing/twoway_bench.exe and compares:
- opening the page against a bare read of the same INI keys (one GetPrivateProfileString
  per key), alternately in the same run: goal within 1.5x; and both again with the file's
  write time set to now just before (Wine reads a profile file written in the last few
  seconds again at every call, as after a write by the gateway or by the page);
- removing the first of the 500 keywords through the page's Remove: the number of INI
  writes and the time.
"""

import argparse
import statistics
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import Rig  # noqa: E402
from program import write_ini  # noqa: E402


def populate(env, keywords):
    lines = ["[SMSGW]", "Modem1=COM1", "ReceiveSMS=Yes", "ReceiveMMS=Yes", "ReceiveSMSCharset=utf-8",
             "[Modem - COM1]", "MMSRouting=desk@example.com", "[2Way-Keywords]"]
    lines += ["Keyword%d=KEY%03d%s" % (n, n, "##555%03d" % n if n % 3 == 0 else "") for n in range(1, keywords + 1)]
    for n in range(1, keywords + 1):
        lines.append("[2Way-Keyword-KEY%03d%s]" % (n, "##555%03d" % n if n % 3 == 0 else ""))
        lines.append("ReplyText=Thank you for keyword %d\\r\\nSecond line" % n)
        lines.append("DListAdd=List%d" % (n % 7))
        if n % 2:
            lines.append("Run=http://example.invalid/k%d?from=@@SENDER@@" % n)
            lines.append("RunSendResponse=Yes")
    write_ini(env.data / "SMSGW.INI", "\n".join(lines) + "\n")


def figures(done):
    values = {}
    for line in done.stdout.splitlines():
        key, _, value = line.partition(" ")
        values.setdefault(key, []).append(float(value))
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows", default="build/win32")
    parser.add_argument("--keywords", type=int, default=500)
    parser.add_argument("--rounds", type=int, default=5)
    options = parser.parse_args()
    rig = Rig(ROOT, options.windows, prefix=ROOT / "build" / "wineprefix-bench-twoway")
    env = rig.fresh_env(name="bench-twoway")
    bench = rig.testbin / "twoway_bench.exe"
    try:
        populate(env, options.keywords)
        opened = rig.wine([bench, "open", options.rounds], timeout=900, cwd=str(env.install))
        removed = rig.wine([bench, "remove"], timeout=300, cwd=str(env.install))
        if opened.returncode or removed.returncode:
            raise SystemExit("twoway_bench failed: %s%s" % (opened.stderr, removed.stderr))
        o, r = figures(opened), figures(removed)
        page, bare = statistics.median(o["page-open-ms"]), statistics.median(o["bare-open-ms"])
        ratio = page / bare
        print("%-48s %10s" % ("", "median"))
        print("%-48s %7.1f ms  (%d reads, %d section reads)" % (
            "opening the page", page, o["page-reads"][0], o["page-section-reads"][0]))
        print("%-48s %7.1f ms  (%d reads)" % ("bare read of the same keys", bare, o["bare-reads"][0]))
        print("%-48s %7.1f ms" % ("opening the page, the file just written", statistics.median(o["page-fresh-ms"])))
        print("%-48s %7.1f ms" % ("bare read, the file just written", statistics.median(o["bare-fresh-ms"])))
        print("%-48s %7.1f ms  (%d INI writes, %d reads, %d section reads; rows %d -> %d)" % (
            "removing the first of %d keywords" % options.keywords, r["remove-ms"][0], r["remove-writes"][0],
            r["remove-reads"][0], r["remove-section-reads"][0], r["rows-before"][0], r["rows-after"][0]))
        print("\n%-48s %10s  %s" % ("goal", "measured", "result"))
        print("%-48s %9.2fx  %s" % ("opening / bare read <= 1.5", ratio, "PASS" if ratio <= 1.5 else "MISS"))
    finally:
        env.cleanup()
        rig.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
