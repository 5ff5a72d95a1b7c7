#!/usr/bin/env python3
"""Validates every JSON document found in kilna.exe transcripts against its schema.

    validate_documents.py [--require KIND,...] TRANSCRIPT_OR_FOLDER...
                                                    documents the end-to-end runs produced:
                                                    in transcripts (*.jsonl) and as whole
                                                    documents (NAME.KIND.json)
    validate_documents.py --samples FILE            hand-written samples, and mutations of
                                                    them that the schemas must refuse; a
                                                    sample with "refuse" (why) must be refused
    validate_documents.py --wrong FILE              a table of wrong documents, one row per
                                                    rule: each must be refused, with a message

Exits non-zero on the first kind of failure found, after reporting all of them.
"""

import copy
import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import document_schemas  # noqa: E402


def _parse(kind, carried, line_text=None):
    """The document as parsed JSON and what is wrong with its text (a list)."""
    if isinstance(carried, dict) and kind == "read-program":
        # A codec map in the transcript line: the line's own text is looked at.
        return carried, document_schemas.lexical_problems(line_text, "any") if line_text else []
    if not isinstance(carried, str):
        return None, [f"not UTF-8 JSON text: {json.dumps(carried)[:120]}"]
    if not document_schemas.is_compact(carried):
        return None, ["not compact: whitespace outside strings"]
    try:
        document = json.loads(carried)
    except ValueError as error:
        return None, [f"not JSON: {error}"]
    escapes = "quoter" if kind in document_schemas.QUOTER_KINDS else "none"
    return document, document_schemas.lexical_problems(carried, escapes)


def _issues(kind, carried, validators, line_text=None):
    document, issues = _parse(kind, carried, line_text)
    if document is None:
        return issues
    return issues + document_schemas.problems(validators[kind], document)


def _check(counts, failures, where, kind, carried, validators, line_text=None):
    counts[kind] = counts.get(kind, 0) + 1
    failures += [f"{where}: {kind}: {issue}" for issue in _issues(kind, carried, validators, line_text)]


def check_transcripts(paths, validators, required):
    files = []
    for path in map(pathlib.Path, paths):
        files += sorted(path.rglob("*.jsonl")) + sorted(path.rglob("*.json")) if path.is_dir() else [path]
    counts, failures = {}, []
    for file in files:
        if file.suffix == ".json":
            kind = file.name.rsplit(".", 2)[-2] if file.name.count(".") >= 2 else ""
            if kind not in validators:
                failures.append(f"{file}: no schema for a document of kind {kind!r}")
                continue
            _check(counts, failures, file, kind, file.read_text(encoding="utf-8", errors="replace"), validators)
            continue
        for number, raw in enumerate(file.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            try:
                line = json.loads(raw)
            except ValueError:
                continue  # a transcript line cut by a killed process is not a document
            found = document_schemas.document_in(line) if isinstance(line, dict) else None
            if found is None:
                continue
            kind, carried = found
            _check(counts, failures, f"{file}:{number}", kind, carried, validators, raw)
    for kind in sorted(validators):
        print(f"{kind}: {counts.get(kind, 0)} document(s)")
        if kind in required and not counts.get(kind):
            failures.append(f"no {kind} document was produced: the runs that make one did not archive it")
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
    failures, checked, refused = [], 0, 0
    for number, raw in enumerate(pathlib.Path(file).read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip():
            continue
        sample = json.loads(raw)
        kind, document = sample["schema"], sample["document"]
        validator = validators[kind]
        if "refuse" in sample:
            if not document_schemas.problems(validator, document):
                failures.append(f"{file}:{number}: {kind}: a wrong document passes: {sample['refuse']}")
            refused += 1
            continue
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
    print(f"samples: {checked} object(s) checked with their mutations, {refused} wrong document(s)")
    return failures


def _set(document, path, value):
    """The document with the member or item at path ("a/0/b"; "" for the whole) set."""
    if not path:
        return value
    *parents, last = path.split("/")
    node = document
    for step in parents:
        node = node[int(step)] if isinstance(node, list) else node[step]
    if isinstance(node, list):
        index = int(last)
        if index == len(node):
            node.append(value)
        else:
            node[index] = value
    else:
        node[last] = value
    return document


def _delete(document, path):
    *parents, last = path.split("/")
    node = document
    for step in parents:
        node = node[int(step)] if isinstance(node, list) else node[step]
    del node[int(last) if isinstance(node, list) else last]


def check_wrong_documents(file, validators):
    """Every base document passes; every row built on one, or given as text, is refused."""
    failures, bases, refused = [], {}, 0
    for number, raw in enumerate(pathlib.Path(file).read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip():
            continue
        row = json.loads(raw)
        where = f"{file}:{number}"
        if "document" in row:
            bases[row["base"]] = row["schema"], row["document"]
            text = json.dumps(row["document"], ensure_ascii=False, separators=(",", ":"))
            for issue in _issues(row["schema"], text, validators):
                failures.append(f"{where}: the base {row['base']!r} is refused: {issue}")
            continue
        if "text" in row:
            kind, text = row["schema"], row["text"]
            check = _issues
        else:
            # A document made from a base breaks a rule of the schema; the
            # text rules have rows of their own.
            def check(kind, text, validators):
                return document_schemas.problems(validators[kind], json.loads(text))
            kind, document = bases[row["base"]]
            document = copy.deepcopy(document)
            for path, value in row.get("set", {}).items():
                document = _set(document, path, value)
            for path in row.get("delete", []):
                _delete(document, path)
            text = json.dumps(document, ensure_ascii=False, separators=(",", ":"))
        try:
            issues = check(kind, text, validators)
        except Exception as error:  # noqa: BLE001: a crash is what this looks for
            failures.append(f"{where}: {kind}: crashed on {row['rule']}: {error!r}")
            continue
        if issues:
            refused += 1
        else:
            failures.append(f"{where}: {kind}: a wrong document passes: {row['rule']}")
    print(f"wrong documents: {refused} refused, {len(bases)} base document(s)")
    return failures


def main(argv):
    validators = document_schemas.load_validators()
    if len(argv) == 3 and argv[1] == "--samples":
        failures = check_samples(argv[2], validators)
    elif len(argv) == 3 and argv[1] == "--wrong":
        failures = check_wrong_documents(argv[2], validators)
    elif len(argv) >= 4 and argv[1] == "--require":
        failures = check_transcripts(argv[3:], validators, set(argv[2].split(",")))
    elif len(argv) >= 2:
        failures = check_transcripts(argv[1:], validators, set())
    else:
        print(__doc__)
        return 2
    for failure in failures:
        print(failure)
    print("documents valid" if not failures else f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
