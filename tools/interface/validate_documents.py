#!/usr/bin/env python3
"""Validates every JSON document found in kilna.exe transcripts against its schema.

    validate_documents.py TRANSCRIPT_OR_FOLDER...   documents the end-to-end runs produced
    validate_documents.py --samples FILE            hand-written samples, and mutations of
                                                    them that the schemas must refuse

Exits non-zero on the first kind of failure found, after reporting all of them.
"""

import copy
import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import document_schemas  # noqa: E402


def _parse(kind, carried):
    """The document as parsed JSON, or an error text."""
    if isinstance(carried, dict) and kind == "read-program":
        return carried, None
    if not isinstance(carried, str):
        return None, f"not UTF-8 JSON text: {json.dumps(carried)[:120]}"
    if not document_schemas.is_compact(carried):
        return None, "not compact: whitespace outside strings"
    try:
        return json.loads(carried), None
    except ValueError as error:
        return None, f"not JSON: {error}"


def check_transcripts(paths, validators):
    files = []
    for path in map(pathlib.Path, paths):
        files += sorted(path.rglob("*.jsonl")) if path.is_dir() else [path]
    counts, failures = {}, []
    for file in files:
        for number, raw in enumerate(file.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            try:
                line = json.loads(raw)
            except ValueError:
                continue  # a transcript line cut by a killed process is not a document
            found = document_schemas.document_in(line) if isinstance(line, dict) else None
            if found is None:
                continue
            kind, carried = found
            counts[kind] = counts.get(kind, 0) + 1
            document, error = _parse(kind, carried)
            issues = [error] if error else document_schemas.problems(validators[kind], document)
            failures += [f"{file}:{number}: {kind}: {issue}" for issue in issues]
    for kind in sorted(validators):
        print(f"{kind}: {counts.get(kind, 0)} document(s)")
    return failures


def _objects(node, path=()):
    """Every object inside a document, with its path, outermost first."""
    if isinstance(node, dict):
        yield path, node
        for key, value in node.items():
            yield from _objects(value, path + (key,))
    elif isinstance(node, list):
        for i, value in enumerate(node):
            yield from _objects(value, path + (i,))


def _at(document, path):
    for step in path:
        document = document[step]
    return document


def check_samples(file, validators):
    failures, checked = [], 0
    for number, raw in enumerate(pathlib.Path(file).read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip():
            continue
        sample = json.loads(raw)
        kind, document = sample["schema"], sample["document"]
        validator = validators[kind]
        for issue in document_schemas.problems(validator, document):
            failures.append(f"{file}:{number}: {kind}: a good sample is refused: {issue}")
        for path, _ in list(_objects(document)):
            # A member the schema does not know must be refused at every level.
            mutated = copy.deepcopy(document)
            _at(mutated, path)["unknownMember"] = 1
            if not document_schemas.problems(validator, mutated):
                failures.append(f"{file}:{number}: {kind}: an unknown member at /{'/'.join(map(str, path))} passes")
            # So must members in the wrong order, where the order is fixed.
            node = _at(document, path)
            if len(node) > 1 and kind != "read-program":
                mutated = copy.deepcopy(document)
                target = _at(mutated, path)
                reordered = dict(reversed(list(target.items())))
                target.clear()
                target.update(reordered)
                if not document_schemas.problems(validator, mutated):
                    failures.append(f"{file}:{number}: {kind}: reversed members at /{'/'.join(map(str, path))} pass")
            checked += 1
    print(f"samples: {checked} object(s) checked with their mutations")
    return failures


def main(argv):
    validators = document_schemas.load_validators()
    if len(argv) == 3 and argv[1] == "--samples":
        failures = check_samples(argv[2], validators)
    elif len(argv) >= 2:
        failures = check_transcripts(argv[1:], validators)
    else:
        print(__doc__)
        return 2
    for failure in failures:
        print(failure)
    print("documents valid" if not failures else f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
