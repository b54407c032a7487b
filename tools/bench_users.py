#!/usr/bin/env python3
"""Benchmark, run by hand: the Users page over a user file of 10,000 accounts.

    make windows && python3 tools/bench_users.py [--windows build/win32] [--rounds 7]

Runs testing/users_bench.exe (build/win32/testbin) in a fresh installation under Wine and
prints a table with the goals:
  opening   the page, from its creation to its first rows painted, against a bare owner-data
            list in the same frame reading every cell from the same file (no cache); medians
            over alternating rounds; goal: at most 1.2 times the baseline
  typing    one character typed into the list (WM_CHAR) answered, found row painted; names
            near the end of the file; goal: median and max under 50 ms
  deleting  100 and 50 accounts spread over the file, deleted through the page's Delete
            (the question answered Yes); goal: the time per delete does not grow with the
            number deleted (at most 1.2 times). Bytes written from the process's I/O counters
            when Wine counts them, else from the sizes of the rewritten files.
Also prints the library's share of deleting: the same 100 records deleted with SMSDeleteUser
alone.
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
from account_files import USER_RECORD, user_record, write_users  # noqa: E402

ACCOUNTS = 10000
HEADER = 32
TYPED = ["user09999", "user09990", "user05000"]


def write_accounts(env):
    write_users(env, [user_record("user%05d" % i, full_name="Account Holder %05d" % i,
                                  password="pw%05d" % i) for i in range(ACCOUNTS)])


def run_bench(rig, env, *args):
    done = rig.wine([env.install / "users_bench.exe"] + [str(a) for a in args], timeout=600,
                    cwd=str(env.install))
    out = done.stdout.replace("\r", "")
    if done.returncode != 0:
        raise RuntimeError("users_bench %s failed (%d): %s %s"
                           % (" ".join(map(str, args)), done.returncode, out, done.stderr))
    values = {}
    for key, value in re.findall(r"^([a-z-]+) (.*)$", out, re.M):
        values.setdefault(key, []).append(value)
    return values


def numbers(values, key):
    return [float(v) for v in values.get(key, [])]


def rewritten_bytes(before, count):
    """What count deletes write to the user file: each one the whole file, one record
    shorter than the one before."""
    return sum(HEADER + (before - k) * USER_RECORD for k in range(1, count + 1))


def delete_run(rig, env, mode, count):
    write_accounts(env)
    values = run_bench(rig, env, mode, count)
    key = "delete" if mode == "delete" else "direct"
    before, after = int(values["accounts-before"][0]), int(values["accounts-after"][0])
    if after != before - count:
        raise RuntimeError("%s %d left %d of %d accounts" % (mode, count, after, before))
    io = int(values[key + "-io-write-bytes"][0])
    written = io if io else rewritten_bytes(before, count)
    return {"ms": numbers(values, key + "-ms")[0], "per": numbers(values, key + "-per-delete-ms")[0],
            "bytes": written, "source": "I/O counters" if io else "file sizes",
            "question": values.get("question", [""])[0], "values": values}


def row(what, figure, goal, ok):
    print("%-10s %-52s %-22s %s" % (what, figure, goal, "PASS" if ok else "MISS"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", default="build/win32")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--delete-rounds", type=int, default=2,
                        help="runs of each delete count, alternating; the median counts")
    options = parser.parse_args()
    rig = Rig(ROOT, options.windows, prefix=ROOT / "build" / "wineprefix-bench-users")
    env = rig.fresh_env(standins=False, name="bench-users")
    try:
        shutil.copy2(str(rig.testbin / "users_bench.exe"), str(env.install))
        write_accounts(env)
        opened = run_bench(rig, env, "open", options.rounds)
        page, base = numbers(opened, "page-open-ms"), numbers(opened, "baseline-open-ms")
        if min(numbers(opened, "page-cells") + numbers(opened, "baseline-cells")) == 0:
            raise RuntimeError("a list painted no rows: %s" % opened)
        typed = run_bench(rig, env, "typeahead", *TYPED)
        keys = numbers(typed, "typeahead-ms")
        found = typed.get("typed", [])
        runs = {100: [], 50: []}
        for _ in range(options.delete_rounds):
            for count in (100, 50):
                runs[count].append(delete_run(rig, env, "delete", count))
        hundred, fifty = (sorted(runs[c], key=lambda r: r["per"])[(len(runs[c]) - 1) // 2]
                          for c in (100, 50))
        direct = delete_run(rig, env, "delete-direct", 100)

        print("page opening, ms per round:     %s" % " ".join("%.1f" % v for v in page))
        print("baseline opening, ms per round: %s" % " ".join("%.1f" % v for v in base))
        print("keystrokes, ms: %s" % " ".join("%.1f" % v for v in keys))
        for line in found:
            print("typed %s" % line)
        print("question asked: %r" % hundred["question"])
        print()
        ratio = statistics.median(page) / statistics.median(base)
        row("opening", "page %.1f ms, baseline %.1f ms (medians): %.2fx"
            % (statistics.median(page), statistics.median(base), ratio), "<= 1.2x", ratio <= 1.2)
        row("typing", "median %.1f ms, max %.1f ms over %d keys"
            % (statistics.median(keys), max(keys), len(keys)), "< 50 ms", max(keys) < 50)
        growth = hundred["per"] / fifty["per"]
        for count, run in ((100, hundred), (50, fifty)):
            print("%-10s %-52s" % ("delete %d" % count, "%.0f ms, %.1f ms per delete, %.1f MB written (%s)"
                                   % (run["ms"], run["per"], run["bytes"] / 1e6, run["source"])))
            print("%-10s per delete, all runs: %s ms" % ("", " ".join("%.1f" % r["per"] for r in runs[count])))
        row("linearity", "per delete: 100 -> %.1f ms, 50 -> %.1f ms: %.2fx"
            % (hundred["per"], fifty["per"], growth), "<= 1.2x", growth <= 1.2)
        print()
        print("where the time goes")
        answer, paint = numbers(typed, "typeahead-answer-ms"), numbers(typed, "typeahead-paint-ms")
        find = numbers(typed, "find-ms")
        in_page, in_find = numbers(typed, "typeahead-page-ms"), numbers(typed, "typeahead-page-find-ms")
        print("  keystroke: list answering WM_CHAR median %.1f / max %.1f ms, repaint median %.1f / max "
              "%.1f ms; SMSFindFirstUserRecord alone median %.1f / max %.1f ms"
              % (statistics.median(answer), max(answer), statistics.median(paint), max(paint),
                 statistics.median(find), max(find)))
        print("  keystroke: in the page's procedure median %.1f / max %.1f ms, of which answering "
              "the find request median %.1f / max %.1f ms"
              % (statistics.median(in_page), max(in_page), statistics.median(in_find), max(in_find)))
        extra = direct["values"]
        print("  delete: SMSDeleteUser alone %.1f ms per delete; account folder %.2f ms and routing "
              "key %.2f ms per delete; a bare read + write + flush + rename of the file %.1f ms"
              % (direct["per"], float(extra["folders-ms"][0]) / 100,
                 float(extra["routing-keys-ms"][0]) / 100,
                 float(extra["raw-rewrite-per-delete-ms"][0])))
        print("  delete: per commit in memory: parsing the file %.1f ms (its checksum alone %.1f ms), "
              "building the new content %.1f ms; the page's list removing a row %.2f ms"
              % (float(extra["parse-ms"][0]), float(extra["checksum-ms"][0]),
                 float(extra["serialize-ms"][0]),
                 float(hundred["values"]["list-delete-ms"][0]) / 100))
    finally:
        env.cleanup()
        rig.close()


if __name__ == "__main__":
    main()
