#!/usr/bin/env python3
"""Runs the end-to-end tests: every function test_* in tests/e2e/test_*.py.

    python3 tests/e2e/run_e2e.py [--windows build/win32] [-k SUBSTRING] [--time-limit S]

A test taking (rig, env) gets a fresh installation, cleaned up afterwards even when it fails;
a test taking (rig) gets the rig only. Each test has a time limit; whatever it started is
ended with it. Prints PASS/FAIL per test and ends with 'N passed, N failed'.
"""

import argparse
import importlib.util
import inspect
import sys
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


def run_tests(rig, test_dir=HERE, keyword=None, time_limit=DEFAULT_TIME_LIMIT, out=sys.stdout):
    """Runs the tests on an open rig; returns (passed, failed, [failed names])."""
    passed, failures = 0, []
    for name, function in discover(test_dir, keyword):
        started = time.monotonic()
        # A test that tours the whole program may ask for more time (its time_limit).
        failure = run_one(rig, name, function, max(time_limit, getattr(function, "time_limit", 0)))
        took = time.monotonic() - started
        if failure is None:
            passed += 1
            print("PASS %s (%.1f s)" % (name, took), file=out)
        else:
            failures.append(name)
            print("FAIL %s (%.1f s)" % (name, took), file=out)
            print("    " + failure.rstrip().replace("\n", "\n    "), file=out)
        out.flush()
    return passed, len(failures), failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=str(HERE.parent.parent))
    parser.add_argument("--windows", default="build/win32", help="Windows build folder")
    parser.add_argument("-k", dest="keyword", help="run only tests whose name contains this")
    parser.add_argument("--time-limit", type=int, default=DEFAULT_TIME_LIMIT)
    options = parser.parse_args()

    rig = harness.Rig(options.root, options.windows, log=lambda m: print(m, flush=True))
    try:
        passed, failed, _ = run_tests(rig, keyword=options.keyword,
                                      time_limit=options.time_limit)
    finally:
        rig.close()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
