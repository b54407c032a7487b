#!/usr/bin/env python3
"""Runs every test suite and sums up:

    python3 tools/run_tests.py --native build/native --windows build/win32

0. the include-direction check of the layers (tools/check_layers.py),
1. the native GoogleTest program (ASan/UBSan),
2. each libFuzzer target briefly, on a copy of its seed corpus,
3. the Windows GoogleTest program under Wine,
4. the end-to-end tests (tests/e2e).

Each suite prints a summary; full logs go to build/test-logs/. The last line is
'N passed, N failed' over all suites; the exit code is 1 when anything failed.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402
import run_e2e  # noqa: E402

FUZZ_SECONDS = 5
NATIVE_TIMEOUT = 900
WINDOWS_TIMEOUT = 900

PASSED_RE = re.compile(r"^\[\s+PASSED\s+\]\s+(\d+) tests?", re.M)
FAILED_RE = re.compile(r"^\[\s+FAILED\s+\]\s+(\d+) tests?", re.M)
FAILED_NAME_RE = re.compile(r"^\[\s+FAILED\s+\]\s+(\S+\.\S+)", re.M)


class Totals:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def add(self, passed, failed):
        self.passed += passed
        self.failed += failed


def say(text=""):
    print(text, flush=True)


def show_tail(log_text, lines=40):
    tail = log_text.rstrip().splitlines()[-lines:]
    for line in tail:
        say("    " + line)


def gtest_counts(output, exit_code):
    """(passed, failed, failed test names) from a GoogleTest log. A run that died before its
    summary counts as one failure on top of what it reported."""
    passed = sum(int(n) for n in PASSED_RE.findall(output))
    failed = sum(int(n) for n in FAILED_RE.findall(output))
    names = sorted(set(FAILED_NAME_RE.findall(output)))
    if exit_code != 0 and failed == 0:
        failed = 1
        names = names or ["(the test program ended with code %s before its summary)" % exit_code]
    return passed, failed, names


def report_gtest(title, output, exit_code, log_path, totals):
    passed, failed, names = gtest_counts(output, exit_code)
    totals.add(passed, failed)
    say("%s: %d passed, %d failed  (log: %s)" % (title, passed, failed, log_path))
    for name in names:
        say("  FAIL " + name)
    if failed:
        show_tail(output)


def run_layer_check(totals):
    """The include-direction check over the sources, and its own proof that it catches a
    planted wrong include: two tests."""
    passed = failed = 0
    for title, args in (("include layers", []), ("include layer check catches a planted include",
                                                   ["--self-test"])):
        done = subprocess.run([sys.executable, str(ROOT / "tools" / "check_layers.py")] + args,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode == 0:
            passed += 1
        else:
            failed += 1
            say("  FAIL %s" % title)
            show_tail(done.stdout, 25)
    totals.add(passed, failed)
    say("layer check: %d passed, %d failed" % (passed, failed))


def run_native(native_dir, logs, totals):
    exe = native_dir / "tests" / "native" / "qel_native_tests"
    if not exe.exists():
        say("native tests: FAIL, %s is missing" % exe)
        totals.add(0, 1)
        return
    log = logs / "native.log"
    env = dict(os.environ, GTEST_COLOR="no")
    try:
        done = subprocess.run([str(exe)], cwd=str(native_dir), env=env, timeout=NATIVE_TIMEOUT,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace")
        output, code = done.stdout, done.returncode
    except subprocess.TimeoutExpired as expired:
        output = (expired.stdout or b"").decode("utf-8", "replace") if isinstance(
            expired.stdout, bytes) else (expired.stdout or "")
        output += "\n(time limit of %d s reached)\n" % NATIVE_TIMEOUT
        code = -1
    log.write_text(output)
    report_gtest("native tests", output, code, log, totals)


def run_fuzzer(target, logs):
    """Runs one fuzz target briefly over a copy of its seeds; gives (name, exit code, output)."""
    name = target.name[len("fuzz_"):]
    seeds = ROOT / "fuzz" / "corpus" / name
    with tempfile.TemporaryDirectory(prefix="qel-fuzz-") as work:
        corpus = Path(work) / "corpus"
        if seeds.is_dir():
            shutil.copytree(str(seeds), str(corpus))
        else:
            corpus.mkdir()
        command = [str(target), "-max_total_time=%d" % FUZZ_SECONDS, "-rss_limit_mb=1024",
                   "-artifact_prefix=%s/fuzz_%s-" % (logs, name), str(corpus)]
        try:
            done = subprocess.run(command, cwd=work, timeout=FUZZ_SECONDS + 120,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True, errors="replace")
            return name, done.returncode, done.stdout
        except subprocess.TimeoutExpired:
            return name, -1, "(fuzzer did not stop in time)\n"


def run_fuzzers(native_dir, logs, totals):
    fuzz_dir = native_dir / "fuzz"
    targets = sorted(p for p in fuzz_dir.glob("fuzz_*")
                     if p.is_file() and os.access(str(p), os.X_OK)) if fuzz_dir.exists() else []
    passed = failed = 0
    # Each target runs on one core: as many at once as there are cores.
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        for name, code, output in pool.map(lambda target: run_fuzzer(target, logs), targets):
            log = logs / ("fuzz_%s.log" % name)
            log.write_text(output)
            if code == 0:
                passed += 1
            else:
                failed += 1
                say("  FAIL fuzz_%s (exit %s, log: %s)" % (name, code, log))
                show_tail(output, 25)
    totals.add(passed, failed)
    say("fuzz targets: %d passed, %d failed" % (passed, failed))


def run_windows_gtest(rig, win_dir, logs, totals):
    exe = win_dir / "testbin" / "qel_windows_tests.exe"
    if not exe.exists():
        say("windows tests: FAIL, %s is missing" % exe)
        totals.add(0, 1)
        return
    log = logs / "windows.log"
    try:
        done = rig.wine([exe, "--gtest_color=no"], cwd=str(exe.parent), timeout=WINDOWS_TIMEOUT)
        output, code = done.stdout + done.stderr, done.returncode
    except subprocess.TimeoutExpired:
        output, code = "(time limit of %d s reached)\n" % WINDOWS_TIMEOUT, -1
    # The test program may leave services or processes behind; they must not leak into
    # the end-to-end tests.
    for service in harness.SERVICES:
        rig.delete_service(service)
    log.write_text(output)
    report_gtest("windows tests", output, code, log, totals)


def failure_blocks(log_text, names):
    """The FAIL line of each failed test with the failure text under it."""
    lines, shown, inside = [], set(names), False
    for line in log_text.splitlines():
        if line.startswith(("PASS ", "FAIL ", "MODULE ", "--- worker")):
            inside = line.startswith("FAIL ") and line.split()[1] in shown
        if inside:
            lines.append(line)
    return "\n".join(lines)


def run_end_to_end(rig, win_dir, jobs, logs, totals):
    """On the session's rig, or with jobs > 1 in that many workers of their own."""
    log = logs / "e2e.log"
    with open(str(log), "w") as out:
        if jobs > 1:
            passed, failed, names = run_e2e.run_parallel(ROOT, win_dir, jobs, out=out)
        else:
            passed, failed, names = run_e2e.run_tests(rig, out=out)
    totals.add(passed, failed)
    say("end-to-end tests: %d passed, %d failed  (log: %s)" % (passed, failed, log))
    if failed:
        for name in names:
            say("  FAIL " + name)
        show_tail(failure_blocks(log.read_text(), names), 120)


def main():
    parser = argparse.ArgumentParser(description="Runs every test suite.")
    parser.add_argument("--native", default="build/native", help="native build folder")
    parser.add_argument("--windows", default="build/win32", help="Windows build folder")
    parser.add_argument("--skip", action="append", default=[],
                        choices=["layers", "native", "fuzz", "windows", "e2e"], help="leave out a suite")
    # The end-to-end tests mostly wait on Wine: one session per core, at most two.
    parser.add_argument("--e2e-jobs", type=int, default=min(2, os.cpu_count() or 1),
                        help="end-to-end worker sessions")
    options = parser.parse_args()

    native_dir = (ROOT / options.native).resolve()
    win_dir = (ROOT / options.windows).resolve()
    logs = ROOT / "build" / "test-logs"
    logs.mkdir(parents=True, exist_ok=True)
    totals = Totals()
    started = time.monotonic()

    if "layers" not in options.skip:
        run_layer_check(totals)
    if "native" not in options.skip:
        run_native(native_dir, logs, totals)
    if "fuzz" not in options.skip:
        run_fuzzers(native_dir, logs, totals)
    if "windows" not in options.skip or "e2e" not in options.skip:
        rig = None
        try:
            rig = harness.Rig(ROOT, win_dir, log=lambda m: say("  " + m))
            if "windows" not in options.skip:
                run_windows_gtest(rig, win_dir, logs, totals)
            if "e2e" not in options.skip:
                if options.e2e_jobs > 1:
                    # The workers start sessions of their own.
                    rig.close()
                    rig = None
                run_end_to_end(rig, win_dir, options.e2e_jobs, logs, totals)
        except Exception as error:  # no Wine session: everything under Wine counts as failed
            say("Wine session: FAIL, %s" % error)
            totals.add(0, 1)
        finally:
            if rig:
                rig.close()

    say("(%.0f s)" % (time.monotonic() - started))
    say("%d passed, %d failed" % (totals.passed, totals.failed))
    return 1 if totals.failed else 0


if __name__ == "__main__":
    sys.exit(main())
