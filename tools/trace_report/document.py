"""Reading a DNS trace document and refusing one the published schema refuses."""

import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "interface"))
import document_schemas  # noqa: E402

SHORT = 48  # characters of a refused value quoted in the message


class InvalidTrace(Exception):
    """The document is not a DNS trace document; the message names the first problem."""


def _short(value):
    """A refused value as a few words: its start and its size, never pages of it."""
    if isinstance(value, str):
        return repr(value) if len(value) <= SHORT else f"{value[:SHORT]!r}... ({len(value)} characters)"
    if isinstance(value, list):
        return f"an array of {len(value)} item{'s' if len(value) != 1 else ''}"
    if isinstance(value, dict):
        return f"an object with {len(value)} member{'s' if len(value) != 1 else ''}"
    text = repr(value)
    return text if len(text) <= SHORT else f"a number of {len(text)} digits"


def _local(root, schema):
    """A branch's schema with its local reference followed ("#/$defs/capture")."""
    for _ in range(8):
        if not (isinstance(schema, dict) and str(schema.get("$ref", "")).startswith("#/")):
            break
        path, schema = schema["$ref"][2:].split("/"), root
        for part in path:
            schema = schema.get(part, {}) if isinstance(schema, dict) else {}
    return schema if isinstance(schema, dict) else {}


def _meant(root, error):
    """Where every branch of an "anyOf" failed: the failure of the branch the value was meant for.

    That is the branch that names most of the value's members; among equals,
    the one that got furthest into the value (its failure lies deepest), then
    the one with the fewest failures.
    """
    while error.context:
        branches = {}
        for cause in error.context:
            branches.setdefault(cause.schema_path[0], []).append(cause)
        members = error.instance if isinstance(error.instance, dict) else {}
        options = error.validator_value if isinstance(error.validator_value, list) else []

        def rank(item):
            number, causes = item
            branch = _local(root, options[number]) if isinstance(number, int) and number < len(options) else {}
            known = sum(1 for key in members if key in branch.get("properties", {}))
            return (-known, -max(len(e.absolute_path) for e in causes), len(causes))

        causes = min(branches.items(), key=rank)[1]
        error = max(causes, key=lambda e: len(e.absolute_path))
    return error


def _reason(error):
    """The whole reason, with the refused value shortened rather than the reason cut."""
    message = error.message
    if error.validator == "pattern" and isinstance(error.schema, dict) and "description" in error.schema:
        message = f"{_short(error.instance)} is not {error.schema['description']}"
    else:
        try:
            whole = repr(error.instance)
        except RecursionError:
            whole = None
        if whole and len(whole) > SHORT and whole in message:
            message = message.replace(whole, _short(error.instance))
    return f"{'/'.join(map(str, error.absolute_path)) or '(root)'}: {message}"


def check(document):
    """The parsed document, or InvalidTrace naming its first schema violation."""
    validator = document_schemas.load_validators()["dns-trace"]
    try:
        error = next(iter(validator.iter_errors(document)), None)
        problem = _reason(_meant(validator.schema, error)) if error is not None else None
    except RecursionError:
        problem = "(root): nested too deeply to check"
    if problem:
        raise InvalidTrace(f"not a valid DNS trace document: {problem}")
    return document


def parse(text):
    try:
        document = json.loads(text)
    except RecursionError:
        raise InvalidTrace("not a DNS trace document: nested too deeply to read") from None
    except ValueError as error:
        raise InvalidTrace(f"not JSON: {error}") from None
    return check(document)


def load(path):
    try:
        text = pathlib.Path(path).read_text(encoding="utf-8")
    except UnicodeDecodeError as error:
        raise InvalidTrace(f"not UTF-8 text: {error}") from None
    return parse(text)
