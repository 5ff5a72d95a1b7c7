"""The JSON documents that kilna.exe hands to the interface, and their schemas.

Shared by the document validator and the interface reference generator.
Besides draft 2020-12, the schemas use two keywords of ours: "x-kilna-order",
the members that an object has must come in that relative order; and
"x-kilna-derived", {member: {"from": other, "append": text}}, a member whose
value is exactly another member's value followed by a fixed text.
"""

import json
import pathlib

import jsonschema
from jsonschema import Draft202012Validator

SCHEMA_DIR = pathlib.Path(__file__).resolve().parents[2] / "docs" / "schemas"


def _member_order(validator, order, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    rank = {key: i for i, key in enumerate(order)}
    seen = [key for key in instance if key in rank]
    if seen != sorted(seen, key=rank.__getitem__):
        yield jsonschema.ValidationError(f"members out of order: {seen}, expected the order of {order}")


def _derived_members(validator, rules, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    for member, rule in rules.items():
        if member not in instance or rule["from"] not in instance:
            continue
        expected = instance[rule["from"]] + rule["append"]
        if instance[member] != expected:
            yield jsonschema.ValidationError(f"{member} is {instance[member]!r}, not {rule['from']} + "
                                             f"{rule['append']!r} ({expected!r})")


OrderedValidator = jsonschema.validators.extend(
    Draft202012Validator, {"x-kilna-order": _member_order, "x-kilna-derived": _derived_members})


def load_validators():
    """{document kind: validator}, e.g. "proxy" for proxy.schema.json."""
    validators = {}
    for path in sorted(SCHEMA_DIR.glob("*.schema.json")):
        schema = json.loads(path.read_text(encoding="utf-8"))
        Draft202012Validator.check_schema(schema)
        validators[path.name[: -len(".schema.json")]] = OrderedValidator(schema)
    return validators


def problems(validator, document):
    """Every schema violation of one parsed document, as readable lines."""
    return [f"{'/'.join(map(str, e.absolute_path)) or '(root)'}: {e.message}"
            for e in validator.iter_errors(document)]


def first_problem(validator, document):
    """The first schema violation as one readable line, or None when the document is valid.

    Where no branch of an "anyOf" fits, the branch that failed least tells
    what is wrong, not the whole value that failed them all.
    """
    error = next(iter(validator.iter_errors(document)), None)
    if error is None:
        return None
    while error.context:
        branches = {}
        for cause in error.context:
            branches.setdefault(cause.schema_path[0], []).append(cause)
        error = min(branches.values(), key=len)[0]
    message = error.message if len(error.message) <= 240 else error.message[:240] + "..."
    return f"{'/'.join(map(str, error.absolute_path)) or '(root)'}: {message}"


def is_compact(text):
    """True when no whitespace stands outside a string, as every document is written."""
    in_string = escaped = False
    for ch in text:
        if in_string:
            if escaped:
                escaped = False
            elif ch == "\\":
                escaped = True
            elif ch == '"':
                in_string = False
        elif ch == '"':
            in_string = True
        elif ch in " \t\r\n":
            return False
    return True


# Where a document appears in a transcript line: (kind, text or value), or None.
_FFI_DOCUMENTS = {
    "OrvReadUserProxy": ("proxy", "outJson"),
    "OrvDnsTraceFinish": ("dns-trace", "buffer"),
    "OrvDnsWfpPreflight": ("wfp-preflight", "buffer"),
    "OrvDnsWfpCompare": ("wfp-compare", "buffer"),
}


def document_in(line):
    """(kind, document text or decoded value) carried by one transcript object, or None."""
    if line.get("op") == "ffi":
        name = line.get("name")
        if name == "OrvGetUserContext" and isinstance(line.get("result"), str):
            return "user-context", line["result"]
        if name in _FFI_DOCUMENTS and line.get("result") == 0:
            kind, member = _FFI_DOCUMENTS[name]
            return kind, (line.get("out") or {}).get(member)
    if (line.get("op") == "call" and line.get("channel") == "orv.net/ticket_image_picker"
            and line.get("method") == "readProgram" and line.get("reply") == "success"):
        return "read-program", line.get("value")
    return None
