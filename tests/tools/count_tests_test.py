#!/usr/bin/env python3
"""The test-case count that scripts/test prints: what passes, fails and is skipped."""
import os
import subprocess
import sys
import tempfile
import unittest

COUNTER = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "lib", "count_tests.py")


def case(name, status, output):
    return f'<testcase name="{name}" status="{status}"><system-out>{output}</system-out></testcase>'


REPORT = "<testsuite>" + "".join([
    case("gtest", "run", "[  PASSED  ] 7 tests.\n"),
    case("gtest_failing", "fail", "[  PASSED  ] 2 tests.\n[  FAILED  ] 1 test, listed below:\n"),
    case("skipped_script", "notrun", ""),
    case("unittest", "run", "Ran 21 tests in 0.3s\n\nOK (skipped=2)\n"),
    case("unittest_failing", "fail", "Ran 5 tests in 0.3s\n\nFAILED (failures=1, errors=1)\n"),
    case("crashed", "fail", "[ RUN      ] A.B\nwine: Unhandled page fault\n"),
    case("fault_in_output", "fail", "[  PASSED  ] 3 tests.\nignoring exception\n"),
    case("script", "run", "fine\n"),
    case("crashed_with_0", "run", "[==========] Running 4 tests from 1 test suite.\n[ RUN      ] A.B\n"),
]) + "</testsuite>"


def count(*reports):
    return subprocess.run([sys.executable, COUNTER, *reports], capture_output=True, text=True).stdout.split()


class CountTests(unittest.TestCase):
    def test_cases_of_every_kind_are_counted(self):
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as report:
            report.write(REPORT)
        try:
            # passed: 7 + 2 + 19 + 3 + 3 + 1; failed: 1 + 2 + two crashes + fault 1; skipped: 1 + 2
            self.assertEqual(count(report.name), ["35", "6", "3"])
            self.assertEqual(count(report.name, report.name), ["70", "12", "6"])
        finally:
            os.unlink(report.name)

    def test_a_missing_report_is_a_failure(self):
        self.assertEqual(count("/nonexistent/report.xml"), ["0", "1", "0"])


if __name__ == "__main__":
    unittest.main()
