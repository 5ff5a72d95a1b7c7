#!/usr/bin/env python3
"""Renders every DNS trace document a test run archived and checks each report.

    trace_report_archive.py FOLDER

Documents come as NAME.dns-trace.json files and inside transcripts (*.jsonl),
as the document validator finds them. Fails when there is none.
"""

import json
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "tools"), str(ROOT / "tools" / "interface"), str(pathlib.Path(__file__).parent)]
import document_schemas  # noqa: E402
import report_shape  # noqa: E402
from trace_report import document, report_page  # noqa: E402


def archived(folder):
    """(where, document text) of every DNS trace document under the folder."""
    for file in sorted(folder.rglob("*.dns-trace.json")):
        yield str(file), file.read_text(encoding="utf-8", errors="replace")
    for file in sorted(folder.rglob("*.jsonl")):
        for number, raw in enumerate(file.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            try:
                line = json.loads(raw)
            except ValueError:
                continue
            found = document_schemas.document_in(line) if isinstance(line, dict) else None
            if found and found[0] == "dns-trace" and isinstance(found[1], str):
                yield f"{file}:{number}", found[1]


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    failures, count = [], 0
    for where, text in archived(pathlib.Path(argv[1])):
        count += 1
        try:
            trace = document.parse(text)
        except document.InvalidTrace as error:
            failures.append(f"{where}: refused: {error}")
            continue
        page = report_page.render(trace, where)
        failures += [f"{where}: {problem}" for problem in report_shape.problems(trace, page)]
    if not count:
        failures.append("no DNS trace document was archived")
    for failure in failures:
        print(failure)
    print(f"trace reports: {count} document(s), {len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
