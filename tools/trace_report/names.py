"""Words for the numbers a DNS trace document carries."""

CLIENT_EVENTS = {
    3009: "network query started",
    3010: "query sent to server",
    3011: "response from server",
    3019: "query on interface",
    3020: "interface query completed",
}

QUERY_TYPES = {1: "A", 28: "AAAA"}

# DNS response codes (low 4 bits of the header's fourth byte): name and words.
RESPONSE_CODES = {
    0: ("NOERROR", "no error"),
    1: ("FORMERR", "format error"),
    2: ("SERVFAIL", "server failure"),
    3: ("NXDOMAIN", "no such name"),
    4: ("NOTIMP", "not implemented"),
    5: ("REFUSED", "refused"),
    6: ("YXDOMAIN", "name exists when it should not"),
    7: ("YXRRSET", "record set exists when it should not"),
    8: ("NXRRSET", "record set that should exist does not"),
    9: ("NOTAUTH", "server not authoritative"),
    10: ("NOTZONE", "name not in zone"),
    11: ("DSOTYPENI", "DSO type not implemented"),
}

# Windows codes that the DNS client and the recorders report.
WINDOWS_CODES = {
    0: "success",
    5: "access denied",
    52: "address on two interfaces",
    87: "invalid parameter",
    1223: "cancelled",
    1460: "timeout",
    1764: "operation not supported",
    4201: "session not found",
    9002: "server failure",
    9003: "name does not exist",
    9501: "no records",
    10013: "socket access denied",
    10043: "protocol not supported",
    10045: "operation not supported on socket",
    2150760451: "filter not found",
}

# Runtime layer ids and layer keys of the filtering platform's IPv4 layers
# where DNS to the accelerator's server is usually dropped.
LAYER_IDS = {44: "receive/accept", 48: "connect"}
LAYER_KEYS = {
    "{C38D57D1-05A7-4C33-904F-7FBCEEE60E82}": "connect",
    "{E1CD9FE7-F4B5-4273-96C0-592E487B8650}": "receive/accept",
}

# The filter action, without the terminating and callout flags.
ACTIONS = {1: "block", 2: "permit", 3: "callout terminating", 4: "callout inspection", 5: "callout unknown"}


def query_type(value):
    return f"{value} ({QUERY_TYPES[value]})" if value in QUERY_TYPES else str(value)


def answer(value):
    """'NXDOMAIN (no such name)': a response code as its name and in words."""
    if value in RESPONSE_CODES:
        return "{} ({})".format(*RESPONSE_CODES[value])
    return f"response code {value} (unassigned)"


def response_code(value):
    return f"{value} {answer(value)}" if value in RESPONSE_CODES else str(value)


def windows_code(value):
    return f"{value} ({WINDOWS_CODES[value]})" if value in WINDOWS_CODES else str(value)


def action(value):
    base = ACTIONS.get(value & 0xFF)
    return f"{value} ({base})" if base else str(value)


def layer(layer_key=None, layer_id=None):
    """'the connect layer', or 'layer 16' when the layer is not one we name."""
    name = LAYER_KEYS.get(layer_key or "") or LAYER_IDS.get(layer_id)
    if name:
        return f"the {name} layer"
    return f"layer {layer_id}" if layer_id is not None else "an unknown layer"


def plural(count, word, words=None):
    return f"{count} {word if count == 1 else (words or word + 's')}"
