#!/usr/bin/env python3
"""Runs the end-to-end tests: every function test_* in tests/e2e/test_*.py.

    python3 tests/e2e/run_e2e.py [--windows build/win32] [-k SUBSTRING] [--time-limit S] [-j N]

A test taking (rig, env) gets a fresh installation, cleaned up afterwards even when it fails;
a test taking (rig) gets the rig only. Each test has a time limit; whatever it started is
ended with it. Prints PASS/FAIL per test and ends with 'N passed, N failed'.

With -j N, N worker processes share the modules, each with a Wine prefix, wineserver and X
display of its own (the first on the usual prefix, the others on "-2", "-3"...): the tests
mostly wait on Wine, so two sessions on two cores take about half the time. The tests of one
module always run in one worker, in file order.
"""

import argparse
import fcntl
import importlib.util
import inspect
import os
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import harness  # noqa: E402

DEFAULT_TIME_LIMIT = 180


def discover(test_dir, keyword=None):
    """[(name, function)] in file order, names as module.function."""
    found = []
    for path in sorted(Path(test_dir).glob("test_*.py")):
        location = importlib.util.spec_from_file_location("e2e_" + path.stem, str(path))
        module = importlib.util.module_from_spec(location)
        try:
            location.loader.exec_module(module)
        except Exception:
            # A module that does not import is a failed test, not a crashed run.
            error = traceback.format_exc()

            def broken(rig, _error=error):
                raise RuntimeError("could not import:\n" + _error)
            found.append((path.stem + ".<import>", broken))
            continue
        functions = [(n, f) for n, f in vars(module).items()
                     if n.startswith("test_") and inspect.isfunction(f)
                     and f.__module__ == module.__name__]
        functions.sort(key=lambda item: item[1].__code__.co_firstlineno)
        for name, function in functions:
            found.append(("%s.%s" % (path.stem, name), function))
    if keyword:
        found = [(n, f) for n, f in found if keyword in n]
    return found


def wants_env(function):
    return len(inspect.signature(function).parameters) >= 2


def run_one(rig, name, function, time_limit):
    """Runs one test; returns None when it passed, else the failure text."""
    env = None
    try:
        with harness.TimeLimit(time_limit):
            try:
                if wants_env(function):
                    env = rig.fresh_env(name=name.split(".")[-1])
                    function(rig, env)
                else:
                    function(rig)
            finally:
                rig.end_started()
                if env is not None:
                    env.cleanup()
                else:
                    rig.kill_image(harness.PROGRAM, "qauto_target.exe")
        return None
    except Exception:
        return traceback.format_exc()


def run_and_report(rig, name, function, time_limit, out):
    """Runs one test and prints its PASS or FAIL line (with the failure); True when it passed."""
    started = time.monotonic()
    # A test that tours the whole program may ask for more time (its time_limit).
    failure = run_one(rig, name, function, max(time_limit, getattr(function, "time_limit", 0)))
    took = time.monotonic() - started
    if failure is None:
        print("PASS %s (%.1f s)" % (name, took), file=out)
    else:
        print("FAIL %s (%.1f s)" % (name, took), file=out)
        print("    " + failure.rstrip().replace("\n", "\n    "), file=out)
    out.flush()
    return failure is None


def run_tests(rig, test_dir=HERE, keyword=None, time_limit=DEFAULT_TIME_LIMIT, out=sys.stdout):
    """Runs the tests on an open rig; returns (passed, failed, [failed names])."""
    passed, failures = 0, []
    for name, function in discover(test_dir, keyword):
        if run_and_report(rig, name, function, time_limit, out):
            passed += 1
        else:
            failures.append(name)
    return passed, len(failures), failures


def modules_of(tests):
    """The modules of these tests, those with most tests first (the longest usually)."""
    counts = {}
    for name, _ in tests:
        module = name.split(".")[0]
        counts[module] = counts.get(module, 0) + 1
    return sorted(counts, key=lambda module: -counts[module])


def claim_module(queue):
    """The next module of the shared queue file, or None when all are taken."""
    with open(queue, "r+") as f:
        fcntl.flock(f, fcntl.LOCK_EX)
        lines = f.read().splitlines()
        taken = int(lines[0])
        if taken + 1 >= len(lines):
            return None
        f.seek(0)
        f.truncate()
        f.write("\n".join([str(taken + 1)] + lines[1:]) + "\n")
        return lines[taken + 1]


def run_worker(rig, queue, keyword, time_limit, out):
    """Runs module after module from the queue on this worker's rig."""
    tests = discover(HERE, keyword)
    while True:
        module = claim_module(queue)
        if module is None:
            return
        print("MODULE %s" % module, file=out, flush=True)
        for name, function in tests:
            if name.split(".")[0] == module:
                run_and_report(rig, name, function, time_limit, out)


def worker_prefix(root, index):
    prefix = Path(os.environ.get("QEL_PREFIX") or Path(root) / "build" / "wineprefix-test")
    return prefix if index == 0 else Path("%s-%d" % (prefix, index + 1))


def run_parallel(root, windows, jobs, keyword=None, time_limit=DEFAULT_TIME_LIMIT, out=sys.stdout):
    """Runs the tests in jobs worker processes; returns (passed, failed, [failed names]).
    A test no worker reported (a worker that could not start its rig) counts as failed."""
    tests = discover(HERE, keyword)
    logs = []
    with tempfile.TemporaryDirectory(prefix="qel-e2e-queue-") as work:
        queue = Path(work) / "queue"
        queue.write_text("\n".join(["0"] + modules_of(tests)) + "\n")
        workers = []
        for index in range(jobs):
            log = Path(work) / ("worker-%d.log" % index)
            command = [sys.executable, str(Path(__file__).resolve()), "--root", str(root), "--windows",
                       str(windows), "--time-limit", str(time_limit), "--worker-queue", str(queue),
                       "--prefix", str(worker_prefix(root, index))]
            if keyword:
                command += ["-k", keyword]
            with open(str(log), "w") as f:
                workers.append(subprocess.Popen(command, stdout=f, stderr=subprocess.STDOUT))
            logs.append(log)
        for worker in workers:
            worker.wait()
        texts = [log.read_text(errors="replace") for log in logs]
    reported = {}
    for index, text in enumerate(texts):
        print("--- worker %d ---" % (index + 1), file=out)
        out.write(text)
        for line in text.splitlines():
            if line.startswith(("PASS ", "FAIL ")):
                reported[line.split()[1]] = line.startswith("PASS ")
    failures = [name for name, _ in tests if not reported.get(name, False)]
    for name in failures:
        if name not in reported:
            print("FAIL %s (no worker ran it)" % name, file=out)
    out.flush()
    return len(tests) - len(failures), len(failures), failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=str(HERE.parent.parent))
    parser.add_argument("--windows", default="build/win32", help="Windows build folder")
    parser.add_argument("-k", dest="keyword", help="run only tests whose name contains this")
    parser.add_argument("--time-limit", type=int, default=DEFAULT_TIME_LIMIT)
    parser.add_argument("-j", dest="jobs", type=int, default=1, help="worker processes")
    parser.add_argument("--worker-queue", help=argparse.SUPPRESS)
    parser.add_argument("--prefix", help=argparse.SUPPRESS)
    options = parser.parse_args()

    if options.jobs > 1:
        passed, failed, _ = run_parallel(options.root, options.windows, options.jobs, options.keyword,
                                         options.time_limit)
    else:
        rig = harness.Rig(options.root, options.windows, prefix=options.prefix,
                          log=lambda m: print(m, flush=True))
        try:
            if options.worker_queue:
                run_worker(rig, options.worker_queue, options.keyword, options.time_limit, sys.stdout)
                return 0
            passed, failed, _ = run_tests(rig, keyword=options.keyword,
                                          time_limit=options.time_limit)
        finally:
            rig.close()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
