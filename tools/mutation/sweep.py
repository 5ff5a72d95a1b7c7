#!/usr/bin/env python3
"""A mutation sweep: one small change at a time to a product folder's sources,
a rebuild, that folder's tests, and the share of changes the tests caught.

    tools/mutation/sweep.py --files 'native/proxy/*.cpp' --test 'scripts/test proxy'

Each change is written into the file, built and tested by the commands given,
then the file is put back as it was (also on Ctrl-C). A change that does not
build is stillborn and not counted; one the tests pass is a survivor, listed
with its place so that a sharper test can be written for it."""

import argparse
import glob
import os
import random
import re
import signal
import subprocess
import sys
import time

# Each operator yields (description, new line) for one line of code.
BOUND = [(" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > ")]


def _matching_paren(text, start):
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def equality_turned(line):
    for old, new in (("==", "!="), ("!=", "==")):
        for m in re.finditer(re.escape(old), line):
            yield f"'{old}' turned to '{new}'", line[: m.start()] + new + line[m.end():]


def bound_shifted(line):
    for old, new in BOUND:
        for m in re.finditer(re.escape(old), line):
            yield f"'{old.strip()}' shifted to '{new.strip()}'", line[: m.start()] + new + line[m.end():]


def and_or_swapped(line):
    for old, new in (("&&", "||"), ("||", "&&")):
        for m in re.finditer(re.escape(old), line):
            yield f"'{old}' swapped for '{new}'", line[: m.start()] + new + line[m.end():]


def condition_negated(line):
    for m in re.finditer(r"\bif \(", line):
        open_at = m.end() - 1
        close_at = _matching_paren(line, open_at)
        if close_at < 0:
            continue
        inner = line[open_at + 1 : close_at]
        if ";" in inner:  # an if with an initialiser: negate its condition part only
            init, cond = inner.rsplit(";", 1)
            inner = f"{init}; !({cond.strip()})"
        else:
            inner = f"!({inner})"
        yield "condition negated", line[: open_at + 1] + inner + line[close_at:]


CALL_STATEMENT = re.compile(r"^(\s*)(?:::)?[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\(.*\);\s*$")


def call_dropped(line):
    if CALL_STATEMENT.match(line) and not re.match(r"^\s*(return|delete|throw)\b", line):
        indent = re.match(r"^\s*", line).group(0)
        yield "call dropped", indent + "(void)0;  // mutant\n"


def arguments_swapped(line):
    for m in re.finditer(r"\b(\w+)\(([A-Za-z_][\w.]*), ([A-Za-z_][\w.]*)\)", line):
        if m.group(2) != m.group(3):
            swapped = f"{m.group(1)}({m.group(3)}, {m.group(2)})"
            yield f"arguments of {m.group(1)} swapped", line[: m.start()] + swapped + line[m.end():]


RELEASE = re.compile(r"\b(CloseHandle|ReleaseMutex|LocalFree|RegCloseKey|FreeLibrary|DeleteObject|Release|reset)\(")


def release_dropped(line):
    if RELEASE.search(line) and line.strip().endswith(";") and not line.strip().startswith("return"):
        indent = re.match(r"^\s*", line).group(0)
        yield "release dropped", indent + "(void)0;  // mutant\n"


OPERATORS = [equality_turned, bound_shifted, and_or_swapped, condition_negated, call_dropped, arguments_swapped,
             release_dropped]


def is_code(line):
    stripped = line.strip()
    return bool(stripped) and not stripped.startswith(("//", "#", "*", "/*", "static_assert"))


def mutants(path):
    with open(path, encoding="utf-8") as f:
        lines = f.readlines()
    for number, line in enumerate(lines):
        if not is_code(line):
            continue
        for operator in OPERATORS:
            for description, changed in operator(line):
                if changed != line:
                    yield number, description, lines[:number] + [changed] + lines[number + 1 :]


def run(command, timeout):
    # A group of its own, so that a hung test is stopped with everything it started.
    process = subprocess.Popen(command, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        return process.wait(timeout=timeout) == 0
    except subprocess.TimeoutExpired:
        return False  # a test that hangs under the change caught it
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def _stop(signum, frame):
    raise KeyboardInterrupt  # so that the file being changed is put back


def main(argv=None):
    signal.signal(signal.SIGTERM, _stop)
    signal.signal(signal.SIGINT, _stop)  # a background job starts with it ignored
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", action="append", required=True, help="glob of sources to change (repeatable)")
    parser.add_argument("--build", default="true", help="command that rebuilds (nonzero: the change is stillborn)")
    parser.add_argument("--test", required=True, help="command that runs the folder's tests (nonzero: caught)")
    parser.add_argument("--sample", type=int, default=0, help="at most this many changes per file, drawn at random")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--timeout", type=int, default=1800, help="seconds a test run may take")
    parser.add_argument("--list", action="store_true", help="only list the changes")
    args = parser.parse_args(argv)

    files = sorted({path for pattern in args.files for path in glob.glob(pattern)})
    if not files:
        print("no file matches", file=sys.stderr)
        return 2
    rng = random.Random(args.seed)
    folders = {}
    survivors = []
    for path in files:
        with open(path, encoding="utf-8") as f:
            original = f.read()
        chosen = list(mutants(path))
        if args.sample and len(chosen) > args.sample:
            chosen = sorted(rng.sample(chosen, args.sample), key=lambda m: m[0])
        tally = folders.setdefault(os.path.dirname(path), {"killed": 0, "survived": 0, "stillborn": 0})
        for number, description, lines in chosen:
            where = f"{path}:{number + 1}"
            if args.list:
                print(f"{where}: {description}")
                continue
            started = time.time()
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.writelines(lines)
                if not run(args.build, args.timeout):
                    outcome = "stillborn"
                elif run(args.test, args.timeout):
                    outcome = "survived"
                    survivors.append(f"{where}: {description}: {lines[number].strip()}")
                else:
                    outcome = "killed"
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
            tally[outcome] += 1
            print(f"{where}: {description}: {outcome} ({time.time() - started:.0f} s)", flush=True)
    if args.list:
        return 0
    # The sources are back as they were: rebuild them so the tree is as found.
    run(args.build, args.timeout)
    print("\nfolder: killed/counted (stillborn)")
    for folder, tally in sorted(folders.items()):
        counted = tally["killed"] + tally["survived"]
        rate = f"{100 * tally['killed'] / counted:.0f}%" if counted else "-"
        print(f"{folder}: {tally['killed']}/{counted} {rate} ({tally['stillborn']})")
    if survivors:
        print("\nsurvivors:")
        for line in survivors:
            print(f"  {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
