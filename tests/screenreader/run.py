"""Runs screen-reader tests: run.py MODULE [MODULE.Class.test ...]

Environment: DRAVEL_CLIENT and ORVO_SERVER (the programs), DRAVEL_SR_LOGDIR (where each
module's logs and Orca's debug log go), DRAVEL_SR_CACHE (the compiled Italian locale, when the
system lacks it). Exit code 77 means the machine cannot run the suite; under CI it is a failure.
"""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402

CANNOT_RUN = 77


class Result(unittest.TextTestResult):
    """A known fault counts as passing while it fails on an assertion; a flaky one may pass."""

    def addExpectedFailure(self, test, err):
        if not issubclass(err[0], AssertionError):
            self.addError(test, err)
            return
        super().addExpectedFailure(test, err)
        reason = getattr(getattr(test, test._testMethodName), "known_fault", "")
        self.stream.writeln("    known fault: %s" % reason)
        self.stream.writeln("    " + str(err[1]).replace("\n", "\n    "))

    def addUnexpectedSuccess(self, test):
        method = getattr(test, test._testMethodName)
        if getattr(method, "known_fault_flaky", False):
            self.stream.writeln("    (this race went the right way this time)")
            self.addSuccess(test)
            return
        super().addUnexpectedSuccess(test)
        self.stream.writeln("    passes now: remove its known_fault marker")


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    missing = harness.missing_tools()
    if missing:
        message = "screen-reader suite cannot run here, missing: " + ", ".join(missing)
        print(message)
        # CI installs everything: a missing tool there is a broken setup, not a reason to skip.
        return 1 if os.environ.get("CI") else CANNOT_RUN
    for name in ("DRAVEL_CLIENT", "ORVO_SERVER"):
        if not os.access(os.environ.get(name, ""), os.X_OK):
            print("%s must name the built program" % name)
            return 2
    loader = unittest.TestLoader()
    names = sys.argv[2:] or [sys.argv[1]]
    suite = loader.loadTestsFromNames(names)
    started = time.monotonic()
    runner = unittest.TextTestRunner(stream=sys.stdout, verbosity=2, resultclass=Result)
    result = runner.run(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    known = len(result.expectedFailures)
    passed = result.testsRun - failed - known - len(result.skipped)
    print("%d passed, %d failed, %d known faults (%.0f s)"
          % (passed, failed, known, time.monotonic() - started))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
