"""The JSON documents that kilna.exe hands to the interface, and their schemas.

Shared by the document validator, the interface reference generator and the
trace report. Besides draft 2020-12, the schemas use keywords of ours for the
rules that standard keywords cannot state (a plain validator ignores them):

  x-kilna-order         the members an object has come in this relative order
  x-kilna-derived       {member: {"from": other, "append": text}}: a member is
                        exactly another member's value followed by a text
  x-kilna-in-order      [member, ...]: those of the members that are present and
                        not 0 are times that never go backwards
  x-kilna-spans         {"start": member, "end": member} on an array: each item's
                        span ends after it starts (an end of 0 is still open), and
                        ends before the next item's starts
  x-kilna-distinct      [member, ...] on an array: no two items share a value
  x-kilna-max-utf16     a string of at most this many UTF-16 units
  x-kilna-address       a string in the canonical text the platform writes for
                        an IPv4 or IPv6 address ("zone": an IPv6 one may carry a
                        %zone of 1 to 10 digits)
  x-kilna-callout       on a filter action: "calloutKey" is there exactly when
                        the type has the callout bit (0x4000)
  x-kilna-conditions    on a described filter: the conditions shown agree with
                        "conditionCount" (the first 16, or none when the platform
                        gave no list) and "conditionsTruncated"
  x-kilna-drop-rules    on the drop collector: a rule for every filter that
                        dropped a kept event (but past 16, "rulesTruncated"),
                        none for another, in the order of first drops, with the
                        first drop's time; no drop or lookup before "startedUs"
  x-kilna-capture-counts on the capture: a dropped message only once 96 are
                        kept, besides one for a refused ninth window

Every keyword passes over a value of another type: the type keywords next to
it refuse that value with their own message.
"""

import ipaddress
import json
import pathlib
import re

import jsonschema
from jsonschema import Draft202012Validator

SCHEMA_DIR = pathlib.Path(__file__).resolve().parents[2] / "docs" / "schemas"

_ISSUE = jsonschema.ValidationError


def _member_order(validator, order, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    rank = {key: i for i, key in enumerate(order)}
    seen = [key for key in instance if key in rank]
    if seen != sorted(seen, key=rank.__getitem__):
        yield _ISSUE(f"members out of order: {seen}, expected the order of {order}")


def _derived_members(validator, rules, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    for member, rule in rules.items():
        value, source = instance.get(member), instance.get(rule["from"])
        if not isinstance(value, str) or not isinstance(source, str):
            continue
        expected = source + rule["append"]
        if value != expected:
            yield _ISSUE(f"{member} is {value!r}, not {rule['from']} + {rule['append']!r} ({expected!r})")


def _time(value):
    """A time member's value when it is a real time (an integer, not 0), else None."""
    return value if isinstance(value, int) and not isinstance(value, bool) and value != 0 else None


def _in_order(validator, members, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    times = [(m, _time(instance.get(m))) for m in members]
    times = [(m, t) for m, t in times if t is not None]
    for (first, a), (then, b) in zip(times, times[1:]):
        if b < a:
            yield _ISSUE(f"{then} ({b}) is before {first} ({a})")


def _spans(validator, rule, instance, schema):
    if not validator.is_type(instance, "array"):
        return
    start, end = rule["start"], rule["end"]
    previous_end = None
    for i, item in enumerate(instance):
        if not isinstance(item, dict):
            continue
        began, ended = _time(item.get(start)), _time(item.get(end))
        if began is not None and ended is not None and ended < began:
            yield _ISSUE(f"item {i} ends ({ended}) before it starts ({began})")
        if began is not None and previous_end is not None and began < previous_end:
            yield _ISSUE(f"item {i} starts ({began}) before item {i - 1} ended ({previous_end})")
        previous_end = ended


def _distinct(validator, members, instance, schema):
    if not validator.is_type(instance, "array"):
        return
    for member in members:
        seen = set()
        for i, item in enumerate(instance):
            value = item.get(member) if isinstance(item, dict) else None
            if not isinstance(value, (str, int)):
                continue
            if value in seen:
                yield _ISSUE(f"item {i} repeats {member} {value!r}")
            seen.add(value)


def _max_utf16(validator, limit, instance, schema):
    if isinstance(instance, str) and len(instance.encode("utf-16-le", "surrogatepass")) // 2 > limit:
        yield _ISSUE(f"{instance[:40]!r}... is longer than {limit} UTF-16 units")


def _ipv6_text(address):
    """The text the platform writes for an IPv6 address: lower-case hexadecimal
    groups without leading zeros, the longest run of two or more zero groups
    (the first of equals) as "::", and the last 32 bits as dotted IPv4 in the
    mapped, translated, compatible and ISATAP forms."""
    words = [int.from_bytes(address.packed[i:i + 2], "big") for i in range(0, 16, 2)]
    dotted = str(ipaddress.IPv4Address(address.packed[12:]))
    if words[:5] == [0] * 5 and words[5] == 0xFFFF:
        return "::ffff:" + dotted
    if words[:4] == [0] * 4 and words[4] == 0xFFFF and words[5] == 0:
        return "::ffff:0:" + dotted
    if words[:6] == [0] * 6 and words[6] != 0:
        return "::" + dotted
    hex_words, tail = words, ""
    if words[4] in (0, 0x200) and words[5] == 0x5EFE:
        hex_words, tail = words[:6], dotted
    best, run = (0, -1), None
    for i, word in enumerate(hex_words + [1]):
        if word == 0 and run is None:
            run = i
        elif word != 0 and run is not None:
            if i - run > best[0]:
                best = (i - run, run)
            run = None
    groups = [format(w, "x") for w in hex_words]
    if best[0] >= 2:
        start, stop = best[1], best[1] + best[0]
        head, rest = ":".join(groups[:start]), ":".join(groups[stop:])
        if tail:
            rest = f"{rest}:{tail}" if rest else tail
        return f"{head}::{rest}"
    text = ":".join(groups)
    return f"{text}:{tail}" if tail else text


def canonical_address(text, zone_allowed):
    """The canonical form of an address text, or None when it is no address."""
    address, _, zone = text.partition("%")
    if "%" in text:
        if not zone_allowed or not re.fullmatch(r"[0-9]{1,10}", zone):
            return None
    try:
        parsed = ipaddress.ip_address(address)
    except ValueError:
        return None
    if parsed.version == 4:
        return None if "%" in text else str(parsed)
    return _ipv6_text(parsed) + ("%" + zone if "%" in text else "")


def _address(validator, rule, instance, schema):
    if not isinstance(instance, str):
        return
    canonical = canonical_address(instance, rule.get("zone", False))
    if canonical is None:
        yield _ISSUE(f"{instance!r} is not an address text")
    elif canonical != instance:
        yield _ISSUE(f"{instance!r} is not the platform's text of its address, {canonical!r}")


def _callout(validator, bit, instance, schema):
    if not validator.is_type(instance, "object") or not validator.is_type(instance.get("type"), "integer"):
        return
    if bool(instance["type"] & bit) != ("calloutKey" in instance):
        yield _ISSUE(f"calloutKey must be there exactly when type {instance['type']} has the bit {bit:#x}")


def _conditions(validator, shown_at_most, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    count, truncated, shown = (instance.get(m) for m in ("conditionCount", "conditionsTruncated", "conditions"))
    if not (validator.is_type(count, "integer") and validator.is_type(shown, "array")
            and validator.is_type(truncated, "boolean")):
        return
    if len(shown) not in (min(count, shown_at_most), 0):
        yield _ISSUE(f"{len(shown)} conditions shown of {count}")
    if truncated != (len(shown) < count):
        yield _ISSUE(f"conditionsTruncated is {truncated} with {len(shown)} conditions shown of {count}")


def _drop_rules(validator, kept, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    events, rules = instance.get("events"), instance.get("rules")
    if not validator.is_type(events, "array") or not validator.is_type(rules, "array"):
        return
    events = [e for e in events if isinstance(e, dict) and isinstance(e.get("filterId"), str)]
    rules = [r for r in rules if isinstance(r, dict) and isinstance(r.get("filterId"), str)]
    first_drops = {}
    for event in events:
        if event["filterId"] != "0":
            first_drops.setdefault(event["filterId"], event.get("timeUs"))
    described = [r["filterId"] for r in rules]
    truncated = instance.get("rulesTruncated") is True
    expected = list(first_drops)[:kept]
    if described != expected[:len(described)] or (not truncated and described != expected):
        yield _ISSUE(f"rules for filters {described}, but the kept drops name {list(first_drops)} in that order")
    if truncated and (len(first_drops) <= kept or len(described) != kept):
        yield _ISSUE(f"rulesTruncated with {len(described)} rules for {len(first_drops)} dropping filters")
    for rule in rules:
        first = first_drops.get(rule["filterId"])
        if first is not None and rule.get("firstDropUs") != first:
            yield _ISSUE(f"rule {rule['filterId']}: firstDropUs {rule.get('firstDropUs')} is not its first "
                         f"drop's time {first}")
    started = _time(instance.get("startedUs"))
    if started is None:
        if events:
            yield _ISSUE("drops kept without startedUs")
        return
    for i, event in enumerate(events):
        if isinstance(event.get("timeUs"), int) and event["timeUs"] < started:
            yield _ISSUE(f"drop {i} ({event['timeUs']}) is before startedUs ({started})")
    for rule in rules:
        looked_up = _time(rule.get("lookupTimeUs"))
        if looked_up is not None and looked_up < started:
            yield _ISSUE(f"rule {rule['filterId']} was looked up ({looked_up}) before startedUs ({started})")


def _capture_counts(validator, limits, instance, schema):
    if not validator.is_type(instance, "object"):
        return
    events, windows, dropped = (instance.get(m) for m in ("events", "windows", "dropped"))
    if not (validator.is_type(events, "array") and validator.is_type(windows, "array")
            and validator.is_type(dropped, "integer")):
        return
    if len(events) < limits["events"]:
        refused_window = 1 if len(windows) == limits["windows"] else 0
        if dropped > refused_window:
            yield _ISSUE(f"dropped {dropped} with {len(events)} messages kept and {len(windows)} windows")
    if events and not windows:
        yield _ISSUE("messages kept without a capture window")


KilnaValidator = jsonschema.validators.extend(Draft202012Validator, {
    "x-kilna-order": _member_order,
    "x-kilna-derived": _derived_members,
    "x-kilna-in-order": _in_order,
    "x-kilna-spans": _spans,
    "x-kilna-distinct": _distinct,
    "x-kilna-max-utf16": _max_utf16,
    "x-kilna-address": _address,
    "x-kilna-callout": _callout,
    "x-kilna-conditions": _conditions,
    "x-kilna-drop-rules": _drop_rules,
    "x-kilna-capture-counts": _capture_counts,
})


def load_validators():
    """{document kind: validator}, e.g. "proxy" for proxy.schema.json."""
    validators = {}
    for path in sorted(SCHEMA_DIR.glob("*.schema.json")):
        schema = json.loads(path.read_text(encoding="utf-8"))
        Draft202012Validator.check_schema(schema)
        validators[path.name[: -len(".schema.json")]] = KilnaValidator(schema)
    return validators


def _closest(error):
    """Where no branch of an "anyOf" fits, the branch that failed least tells
    what is wrong, not the whole value that failed them all."""
    while error.context:
        branches = {}
        for cause in error.context:
            branches.setdefault(cause.schema_path[0], []).append(cause)
        error = min(branches.values(), key=len)[0]
    return error


def _line(error):
    message = error.message if len(error.message) <= 240 else error.message[:240] + "..."
    return f"{'/'.join(map(str, error.absolute_path)) or '(root)'}: {message}"


def problems(validator, document):
    """Every schema violation of one parsed document, as readable lines."""
    return [_line(_closest(e)) for e in validator.iter_errors(document)]


def first_problem(validator, document):
    """The first schema violation as one readable line, or None when the document is valid."""
    error = next(iter(validator.iter_errors(document)), None)
    return None if error is None else _line(_closest(error))


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
    if not isinstance(line, dict):
        return None
    if line.get("op") == "ffi":
        name = line.get("name")
        if name == "OrvGetUserContext" and isinstance(line.get("result"), str):
            return "user-context", line["result"]
        if isinstance(name, str) and name in _FFI_DOCUMENTS and line.get("result") == 0:
            kind, member = _FFI_DOCUMENTS[name]
            out = line.get("out")
            return kind, out.get(member) if isinstance(out, dict) else None
    if (line.get("op") == "call" and line.get("channel") == "orv.net/ticket_image_picker"
            and line.get("method") == "readProgram" and line.get("reply") == "success"):
        return "read-program", line.get("value")
    return None


# The writers of the user context and the proxy read escape a control byte as
# \u00XX in lower case; the diagnostic writers never write \u at all. Both
# escape only the quote and the backslash otherwise, and print integers only.
QUOTER_KINDS = frozenset({"user-context", "proxy"})
_NUMBER = re.compile(r"-?(0|[1-9][0-9]*)")
_CONTROL_BYTE = re.compile(r"00[01][0-9a-f]")


def lexical_problems(text, escapes):
    r"""What our writers never write in a JSON text: a member twice in one
    object, a number with a fraction or an exponent, and an escape they do not
    use. escapes: "quoter" (\u00XX of a control byte allowed), "none", or
    "any" (a text of another writer: escapes are not looked at)."""
    problems = []

    def no_repeats(pairs):
        keys = [key for key, _ in pairs]
        for key in sorted({k for k in keys if keys.count(k) > 1}):
            problems.append(f"member {key!r} written twice in one object")
        return dict(pairs)

    try:
        json.loads(text, object_pairs_hook=no_repeats)
    except ValueError as error:
        return [f"not JSON: {error}"]
    i, in_string = 0, False
    while i < len(text):
        ch = text[i]
        if in_string:
            if ch == '"':
                in_string = False
            elif ch == "\\":
                escape = text[i + 1]
                if escapes == "any" or escape in '"\\':
                    pass
                elif escape == "u" and escapes == "quoter" and _CONTROL_BYTE.fullmatch(text[i + 2:i + 6]):
                    i += 4
                else:
                    shown = text[i:i + 6] if escape == "u" else text[i:i + 2]
                    problems.append(f"escape {shown} that the writer never writes")
                i += 1
        elif ch == '"':
            in_string = True
        elif ch == "-" or ch.isdigit():
            end = i
            while end < len(text) and text[end] in "+-.0123456789eE":
                end += 1
            if not _NUMBER.fullmatch(text[i:end]):
                problems.append(f"number {text[i:end]} in a form the writers never write")
            i = end - 1
        i += 1
    return problems
