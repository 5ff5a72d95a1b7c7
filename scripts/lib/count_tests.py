#!/usr/bin/env python3
"""Counts test cases in ctest's JUnit reports: prints "PASSED FAILED SKIPPED".

A GoogleTest executable or a Python unittest script counts its own cases from
the summary it printed. A test without such a summary (a script, a fuzz
target) counts as one case. A test that failed without a summary (it crashed or timed out) counts as one
failure, and so does one that failed although its cases all passed (a fault
seen in its output). So does a GoogleTest run that began but printed no
summary, whatever its exit code (Wine can end a crashed program with 0). A
missing or unreadable report counts as one failure.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree

PASSED = re.compile(r"^\[  PASSED  \] (\d+) tests?\.", re.M)
FAILED = re.compile(r"^\[  FAILED  \] (\d+) tests?, listed below", re.M)
SKIPPED = re.compile(r"^\[  SKIPPED \] (\d+) tests?", re.M)
STARTED = re.compile(r"^\[==========\] Running \d+ tests?", re.M)
UNITTEST_RAN = re.compile(r"^Ran (\d+) tests? in ", re.M)
UNITTEST_BAD = re.compile(r"^FAILED \((.*)\)$", re.M)
UNITTEST_SKIPPED = re.compile(r"skipped=(\d+)")


def unittest_summary(output):
    """(good, bad, skipped) from a unittest summary, or None without one."""
    ran = UNITTEST_RAN.findall(output)
    if not ran:
        return None
    total = int(ran[-1])
    verdict = UNITTEST_BAD.findall(output)
    counts = verdict[-1] if verdict else ""
    bad = sum(int(n) for n in re.findall(r"(?:failures|errors)=(\d+)", counts))
    skipped = sum(int(n) for n in UNITTEST_SKIPPED.findall(output.split("Ran ")[-1]))
    return total - bad - skipped, bad, skipped


def count_case(status, output):
    """(passed, failed, skipped) for one ctest test."""
    passed = PASSED.findall(output)
    failed = FAILED.findall(output)
    skipped = SKIPPED.findall(output)
    if status == "notrun" or status == "disabled":
        return 0, 0, 1
    if passed or failed:
        good = int(passed[-1]) if passed else 0
        bad = int(failed[-1]) if failed else 0
        left = int(skipped[-1]) if skipped else 0
    elif STARTED.search(output):  # a GoogleTest run that never reached its summary
        return 0, 1, 0
    elif unittest_summary(output) is not None:
        good, bad, left = unittest_summary(output)
    else:  # no summary at all
        return (1, 0, 0) if status == "run" else (0, 1, 0)
    if status != "run" and bad == 0:
        bad = 1
    return good, bad, left


def count_report(path):
    try:
        root = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        print(f"count_tests: {path}: {error}", file=sys.stderr)
        return 0, 1, 0
    totals = [0, 0, 0]
    for case in root.iter("testcase"):
        output = "".join(node.text or "" for node in case.iter("system-out"))
        for i, n in enumerate(count_case(case.get("status", ""), output)):
            totals[i] += n
    return tuple(totals)


def main(paths):
    totals = [0, 0, 0]
    for path in paths:
        for i, n in enumerate(count_report(path)):
            totals[i] += n
    print(*totals)


if __name__ == "__main__":
    main(sys.argv[1:])
