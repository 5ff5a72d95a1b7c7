#!/usr/bin/env python3
"""Which tests `scripts/test PATTERN` runs.

    test_selection.py PATTERN PRESET BUILD_DIR CTEST_JSON [PRESET BUILD_DIR CTEST_JSON ...]

CTEST_JSON is `ctest --show-only=json-v1` of that preset's build. PATTERN is a
regular expression, searched case-insensitively (a pattern that is no valid
expression is taken as plain text), in the name of each ctest test, in the
suite and case names of each GoogleTest program (read from its sources, which
BUILD_DIR/test_programs/PROGRAM.sources lists), and in the names of the checks
scripts/test runs besides ctest.

A test whose name matches runs whole. A GoogleTest program whose name does
not match but some of whose cases do runs only those, through GTEST_FILTER (a
run with a --gtest_filter of its own runs whole: its own filter decides).

Prints shell assignments for scripts/test, for each PRESET:
  PRESET_whole   ctest -R expression of the tests that run whole ("" for none)
  PRESET_cases   ctest -R expression of the tests that run some cases ("" for none)
  PRESET_filter  their GTEST_FILTER
and needs_wine, needs_netns, needs_dpi144 (1 or 0), checks (the selected
checks' names). What is selected goes to standard error. A pattern that
selects nothing says so and exits 1.
"""
import fnmatch
import json
import os
import re
import shlex
import sys

# The checks scripts/test runs besides ctest, by the name a pattern selects.
CHECKS = ("static_analysis", "interface_documents", "trace_report_documents")

TEST_MACRO = re.compile(r"\b(TEST|TEST_F|TEST_P)\s*\(\s*(\w+)\s*,\s*(\w+)\s*\)")


def compile_pattern(pattern):
    try:
        return re.compile(pattern, re.IGNORECASE)
    except re.error:
        return re.compile(re.escape(pattern), re.IGNORECASE)


def cases_in(text):
    """[(suite, case, parameterised)] of a GoogleTest source, in order."""
    return [(suite, case, macro == "TEST_P") for macro, suite, case in TEST_MACRO.findall(text)]


def program_cases(build_dir, program):
    """The cases of a test program, or None when it is no listed GoogleTest program."""
    listing = os.path.join(build_dir, "test_programs", program + ".sources")
    try:
        with open(listing, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return None
    folder, sources = lines[0], [line for line in lines[1:] if line.endswith((".cpp", ".cc"))]
    cases = []
    for source in sources:
        with open(os.path.join(folder, source), encoding="utf-8", errors="replace") as f:
            cases += cases_in(f.read())
    return cases


def full_name(suite, case, parameterised):
    return f"*/{suite}.{case}/*" if parameterised else f"{suite}.{case}"


def in_gtest_filter(name, gtest_filter):
    positive, _, negative = gtest_filter.partition("-")
    def hit(patterns):
        return any(fnmatch.fnmatchcase(name, p) for p in patterns.split(":") if p)
    return hit(positive or "*") and not hit(negative)


def property_of(test, name):
    for prop in test.get("properties", []):
        if prop["name"] == name:
            return prop["value"]
    return None


def describe(test, build_dir):
    """(name, program, own filter, labels, runs Wine's loader) of one ctest test."""
    command = test.get("command") or []
    program, own_filter = None, None
    for arg in command:
        base = os.path.basename(arg)
        base = base[:-4] if base.endswith(".exe") else base
        if program is None and os.path.exists(os.path.join(build_dir, "test_programs", base + ".sources")):
            program = base
        if arg.startswith("--gtest_filter="):
            own_filter = arg[len("--gtest_filter="):]
    labels = property_of(test, "LABELS") or []
    emulated = bool(command) and os.path.basename(command[0]) in ("wine", "wine64")
    return test["name"], program, own_filter, labels, emulated


def matches_case(regex, suite, case):
    return any(regex.search(text) for text in (f"{suite}.{case}", suite, case))


def gtest_filter_of(cases, chosen):
    """A GTEST_FILTER for the chosen cases: a suite whose cases are all chosen as Suite.*."""
    entries = []
    for suite in dict.fromkeys(s for s, _, _ in chosen):
        of_suite = [c for c in cases if c[0] == suite]
        if all(c in chosen for c in of_suite):
            entries.append(f"*/{suite}.*" if of_suite[0][2] else f"{suite}.*")
        else:
            entries += [full_name(*c) for c in chosen if c[0] == suite]
    return entries


def select(regex, tests, build_dir):
    """(whole, some, filter entries, chosen tests' descriptions) for one preset."""
    whole, some, entries, chosen = [], [], [], []
    for test in tests:
        name, program, own_filter, labels, emulated = describe(test, build_dir)
        cases = program_cases(build_dir, program) if program else None
        if regex.search(name):
            whole.append(name)
        elif cases:
            if own_filter is not None:
                cases = [c for c in cases if in_gtest_filter(full_name(*c).strip("*/"), own_filter)]
            picked = [c for c in cases if matches_case(regex, c[0], c[1])]
            if not picked:
                continue
            if own_filter is not None or len(picked) == len(cases):
                whole.append(name)
            else:
                some.append(name)
                entries += [e for e in gtest_filter_of(cases, picked) if e not in entries]
        else:
            continue
        chosen.append((name, labels, emulated))
    return whole, some, entries, chosen


def ctest_regex(names):
    return "^(" + "|".join(re.escape(n) for n in names) + ")$" if names else ""


def main(argv, out=sys.stdout, err=sys.stderr):
    if len(argv) < 4 or (len(argv) - 1) % 3:
        print(__doc__, file=err)
        return 2
    pattern = argv[0]
    regex = compile_pattern(pattern)
    assignments = {}
    chosen_all = []
    for i in range(1, len(argv), 3):
        preset, build_dir, listing = argv[i:i + 3]
        with open(listing, encoding="utf-8") as f:
            tests = json.load(f).get("tests", [])
        whole, some, entries, chosen = select(regex, tests, build_dir)
        assignments[f"{preset}_whole"] = ctest_regex(whole)
        assignments[f"{preset}_cases"] = ctest_regex(some)
        assignments[f"{preset}_filter"] = ":".join(entries)
        chosen_all += chosen
        for name in whole:
            print(f"{preset}: {name}", file=err)
        for name in some:
            print(f"{preset}: {name} (some cases)", file=err)
    checks = [name for name in CHECKS if regex.search(name)]
    for name in checks:
        print(f"check: {name}", file=err)
    if not chosen_all and not checks:
        print(f"no test matches {pattern}", file=err)
        return 1
    assignments["needs_wine"] = int(any(emulated or "wine" in labels for _, labels, emulated in chosen_all))
    assignments["needs_netns"] = int(any("netns" in labels for _, labels, _ in chosen_all))
    assignments["needs_dpi144"] = int(any("dpi144" in labels for _, labels, _ in chosen_all))
    assignments["checks"] = " ".join(checks)
    for key, value in assignments.items():
        print(f"{key}={shlex.quote(str(value))}", file=out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
