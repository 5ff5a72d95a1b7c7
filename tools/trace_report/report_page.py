"""The whole report: one self-contained HTML page (no script, no outside resource)."""

from datetime import datetime, timezone
from html import escape

from . import names, text, timeline_svg, verdict
from .trace_model import client_process, join_capture, own_process, rule_for, timeline

STYLE = """
body{font-family:'DejaVu Sans',Arial,sans-serif;margin:24px;color:#1f2933;background:#fff;max-width:1000px}
h1{font-size:22px;margin:0 0 6px}h2{font-size:17px;margin:26px 0 8px}h3{font-size:14px;margin:16px 0 6px}
.verdict{border-left:5px solid #b45309;background:#fff7ed;padding:8px 14px;margin:10px 0 16px}
.verdict p{margin:4px 0;font-size:15px}.meta{color:#52606d;font-size:13px}
table{border-collapse:collapse;font-size:12.5px;margin:4px 0 10px;max-width:100%}
th,td{border:1px solid #cbd2d9;padding:3px 7px;text-align:left;vertical-align:top}
th{background:#f0f4f8}td:first-child{white-space:nowrap}
bdi.long{overflow-wrap:anywhere}bdi.cut{text-decoration:underline dotted #7b8794}
td.empty{color:#7b8794;font-style:italic}
.legend{font-size:12.5px;color:#3e4c59;margin:6px 0;display:grid;grid-template-columns:repeat(3,1fr);gap:3px 14px}
.legend svg{vertical-align:middle;margin-right:4px}
svg.timeline{display:block;font-size:12px}
.lane-bg{fill:#fff;stroke:#cbd2d9}
.lane-title{font-weight:bold;fill:#1f2933}.row-title{fill:#7b8794;font-size:11px}
.lane-note{fill:#7b8794;font-style:italic}.axis{fill:#52606d;font-size:11px}.grid{stroke:#e4e7eb}
.break rect{fill:#f0f1f3}.break polyline{fill:none;stroke:#52606d;stroke-width:1.5}
.break text{fill:#52606d;font-size:10.5px;font-style:italic}
.count{font-size:11px;font-weight:bold;fill:#1f2933}.extent{stroke:#1f2933;stroke-width:1.5}
.mark .mixed{fill:#e4e7eb;stroke:#1f2933;stroke-width:1.5}
.window{fill:#d1fae5;stroke:#6ee7b7}
.mark.e3009 circle,.mark.e3019 circle{fill:#93c5fd;stroke:#1d4ed8}
.mark.e3010 circle{fill:#2563eb;stroke:#1e3a8a}.mark.e3011 circle{fill:#fff;stroke:#2563eb;stroke-width:2.5}
.mark.e3020 circle{fill:#1e3a8a;stroke:#1e3a8a}
.mark.query polygon{fill:#059669}.mark.reply polygon{fill:#fff;stroke:#059669;stroke-width:2}
.mark.orphan polygon{stroke:#b45309}
.mark.drop path{stroke:#dc2626;stroke-width:3}.mark.drop .hit{fill:transparent}
.link line{stroke:#475569;stroke-width:2}.link.open line{stroke:#b45309;stroke-dasharray:6 4}
.link.open text{fill:#b45309;font-size:11px}
"""


def _utc(time_us):
    if not time_us:
        return "0"
    try:
        stamp = datetime.fromtimestamp(time_us // 1_000_000, tz=timezone.utc)
    except (OverflowError, OSError, ValueError):  # past what a calendar date can say
        return f"{time_us} \u00b5s after 1970-01-01 UTC"
    return stamp.strftime("%Y-%m-%d %H:%M:%S") + f".{time_us % 1_000_000:06d} UTC"


class _Clock:
    def __init__(self, start_us):
        self.start_us = start_us

    def __call__(self, time_us):
        if not time_us or self.start_us is None:
            return _utc(time_us)
        return f"{(time_us - self.start_us) / 1e6:+.6f} s"


def _cell(value):
    # Text may be the document's own (names, addresses): isolated, and cut when long.
    return text.bdi(value) if isinstance(value, str) else escape(str(value))


def _table(headers, rows, empty):
    out = ["<table><tr>" + "".join(f"<th>{escape(h)}</th>" for h in headers) + "</tr>"]
    if not rows:
        out.append(f'<tr><td class="empty" colspan="{len(headers)}">{escape(empty)}</td></tr>')
    for row in rows:
        out.append("<tr>" + "".join(f"<td>{_cell(cell)}</td>" for cell in row) + "</tr>")
    return "".join(out) + "</table>"


def _pairs(items):
    return _table(["member", "value"], [(k, str(v).lower() if isinstance(v, bool) else v) for k, v in items],
                  "nothing")


def _client_section(document, clock):
    rows = []
    own = own_process(document)
    for e in document["events"]:
        rows.append((clock(e["timeUs"]), f"{e['id']} {names.CLIENT_EVENTS[e['id']]}", client_process(e, own),
                     names.query_type(e["queryType"]) if "queryType" in e else "",
                     e.get("server", ""), e.get("interfaceIndex", ""), e.get("networkIndex", ""),
                     names.windows_code(e["responseStatus"]) if "responseStatus" in e else "", e["processId"],
                     ", ".join(f"{k} {text.isolated(e[k])}" for k in ("interfaceCount", "adapter", "localAddress") if k in e),
                     e.get("activity", "")))
    summary = [("dropped", document["dropped"]), ("expired", str(document["expired"]).lower())]
    if "dnsClientErrorCode" in document:
        summary.append(("dnsClientErrorCode", names.windows_code(document["dnsClientErrorCode"])))
    return ("<h2>DNS client events</h2>" + _pairs(summary)
            + '<p class="meta">"client" is the program an event was for, as the event says (its clientPid, kept '
              'only when it is this program); "process" is the process that wrote the event. Where an event does '
              'not name its client, the document does not say which program asked.</p>'
            + _table(["time", "event", "client", "query type", "server", "interface", "network", "status",
                      "process", "adapter", "activity"], rows, "no DNS client event was recorded"))


def _capture_section(document, clock):
    packets = document["orvPackets"]
    out = ["<h2>Adapter capture</h2>", _pairs([(k, v) for k, v in packets.items() if k not in ("windows", "events")])]
    if packets["status"] == "unavailable" and "windows" not in packets:
        return "".join(out)
    events = packets["events"]
    answered, orphans = join_capture(events)
    replies = {r: q for q, answers in answered.items() for r in answers}

    def row(i):
        e = events[i]
        joined = ("answered " + ", then ".join(f"{names.answer(events[r]['responseCode'])} at "
                                                 f"{clock(events[r]['timeUs'])}" for r in answered[i])
                  if i in answered else
                  f"query {clock(events[replies[i]]['timeUs'])}" if i in replies else
                  "no recorded query" if i in orphans else "no reply")
        return (clock(e["timeUs"]), e["stage"], e["transport"], e["interfaceIndex"], names.query_type(e["queryType"]),
                e["transactionId"], e["clientPort"],
                names.response_code(e["responseCode"]) if "responseCode" in e else "", joined)

    headers = ["time", "stage", "transport", "interface", "query type", "transaction id", "client port",
               "response code", "joined"]
    placed = set()
    for number, window in enumerate(packets["windows"], 1):
        ended = window["endedUs"]
        inside = [i for i, e in enumerate(events) if i not in placed and e["interfaceIndex"] == window["interfaceIndex"]
                  and window["startedUs"] <= e["timeUs"] and (not ended or e["timeUs"] <= ended)]
        placed.update(inside)
        out.append("<h3>" + escape(f"Window {number}: interface {window['interfaceIndex']}, "
                                   f"{clock(window['startedUs'])} to {clock(ended) if ended else 'still open'}")
                   + "</h3>")
        out.append(_table(headers, [row(i) for i in inside], "no DNS message for the name in this window"))
    rest = [i for i in range(len(events)) if i not in placed]
    if rest or not packets["windows"]:
        out.append("<h3>Outside any window</h3>" if packets["windows"] else "<h3>No capture window was opened</h3>")
        out.append(_table(headers, [row(i) for i in rest], "no DNS message for the name"))
    return "".join(out)


def _conditions(rule):
    rows = [(c.get("field", ""), c["fieldKey"], c["matchType"], c["valueType"],
             c.get("value", c.get("valueStatus", ""))) for c in rule.get("conditions", [])]
    note = " (truncated)" if rule.get("conditionsTruncated") else ""
    return (f"<p class=\"meta\">{rule.get('conditionCount', 0)} condition(s){note}</p>"
            + _table(["field", "field key", "match type", "value type", "value"], rows, "no condition shown"))


def _owner(part):
    if part is None:
        return ""
    words = [part.get("name", ""), part.get("key", ""), part["status"]]
    if "nativeErrorCode" in part:
        words.append(names.windows_code(part["nativeErrorCode"]))
    if "serviceName" in part:
        words.append(f"service {part['serviceName']}")
    return " ".join(str(w) for w in words if w)


def _drop_section(document, clock):
    wfp = document["wfp"]
    out = ["<h2>Filtering platform drops</h2>",
           _pairs([(k, clock(v) if k.endswith("Us") else v) for k, v in wfp.items() if k not in ("events", "rules")])]
    rows = [(clock(e["timeUs"]), e["direction"], e["protocol"], e["resolverEndpoint"], e.get("localPort", ""),
             e.get("remotePort", ""), e["filterId"], e["layerId"],
             (rule_for(wfp, e["filterId"]) or {}).get("name", "")) for e in wfp["events"]]
    out.append(_table(["time", "direction", "protocol", "resolver endpoint", "local port", "remote port", "filter id",
                       "layer id", "filter"], rows, "no drop was recorded"))
    for rule in wfp.get("rules", []):
        out.append(f"<h3>Filter {escape(rule['filterId'])}: {text.bdi(rule.get('name', rule['status']))}</h3>")
        items = [("status", rule["status"]), ("firstDrop", clock(rule["firstDropUs"]))]
        if "lookupTimeUs" in rule:
            items.append(("lookupTime", clock(rule["lookupTimeUs"])))
        if "nativeErrorCode" in rule:
            items.append(("nativeErrorCode", names.windows_code(rule["nativeErrorCode"])))
        if rule["status"] == "resolved":
            items += [("filterKey", rule["filterKey"]),
                      ("layer", f"{rule['layerKey']} {names.layer(rule['layerKey'])}"),
                      ("action", names.action(rule["action"]["type"])
                       + (f" callout {rule['action']['calloutKey']}" if "calloutKey" in rule["action"] else "")),
                      ("provider", _owner(rule["provider"])),
                      ("sublayer", _owner(rule["sublayer"])
                       + (f" provider {rule['sublayer']['providerKey']}" if "providerKey" in rule["sublayer"] else "")
                       + (f" ({_owner(rule['sublayer']['provider'])})" if "provider" in rule["sublayer"] else ""))]
        out.append(_pairs(items))
        if rule["status"] == "resolved":
            out.append(_conditions(rule))
    if wfp.get("rulesTruncated"):
        out.append('<p class="meta">More than 16 filters dropped traffic; only the first 16 are described.</p>')
    return "".join(out)


def _key(icon, words, width=14):
    return f'<span><svg width="{width}" height="14">{icon}</svg>{escape(words)}</span>'


# Every colour, band, outline and line of the timeline, in its own words.
LEGEND = '<div class="legend">' + "".join([
    _key('<circle cx="7" cy="7" r="5.5" fill="#93c5fd" stroke="#1d4ed8"/>', "network query started, query on interface"),
    _key('<circle cx="7" cy="7" r="5.5" fill="#2563eb" stroke="#1e3a8a"/>', "query sent to server"),
    _key('<circle cx="7" cy="7" r="5" fill="#fff" stroke="#2563eb" stroke-width="2.5"/>', "response from server"),
    _key('<circle cx="7" cy="7" r="5.5" fill="#1e3a8a"/>', "interface query completed"),
    _key('<polygon points="1,12 13,12 7,1" fill="#059669"/>', "query on the adapter"),
    _key('<polygon points="1,2 13,2 7,13" fill="#fff" stroke="#059669" stroke-width="2"/>', "reply on the adapter"),
    _key('<polygon points="1,2 13,2 7,13" fill="#fff" stroke="#b45309" stroke-width="2"/>',
         "amber outline: reply without a recorded query"),
    _key('<path d="M2,2L12,12M2,12L12,2" stroke="#dc2626" stroke-width="3"/>', "packet dropped by a filter"),
    _key('<path d="M2,2L12,12M2,12L12,2" stroke="#dc2626" stroke-width="3"/><text x="14" y="9" font-size="9" '
         'font-weight="bold">\u00d73</text><line x1="0" y1="13" x2="14" y2="13" stroke="#1f2933"/>',
         "\u00d7N: N events too close to draw apart", 30),
    _key('<rect x="1" y="1" width="12" height="12" rx="3" fill="#e4e7eb" stroke="#1f2933"/>',
         "events of different kinds too close to draw apart"),
    _key('<rect x="0" y="1" width="30" height="12" fill="#d1fae5" stroke="#6ee7b7"/>',
         "capture window: the adapter was watched", 30),
    _key('<line x1="0" y1="7" x2="30" y2="7" stroke="#475569" stroke-width="2"/>', "query joined to its answer", 30),
    _key('<line x1="0" y1="7" x2="30" y2="7" stroke="#b45309" stroke-width="2" stroke-dasharray="6 4"/>',
         "nothing answered (runs on to the next query)", 30),
    _key('<rect x="4" y="0" width="22" height="14" fill="#f0f1f3"/><polyline points="18,1 12,5 18,9 12,13" '
         'fill="none" stroke="#52606d" stroke-width="1.5"/>', "quiet time drawn short; its length above it", 30),
    _key('<text x="0" y="11" font-size="11" font-style="italic" fill="#7b8794">abc</text>',
         "grey italic: a recorder's own status words", 22),
]) + "</div>"


def render(document, title):
    """The page for a valid document; `title` names it (a file name or where it was found)."""
    title = text.shown(title)
    line = timeline(document)
    clock = _Clock(line.start_us)
    span = ""
    if line.start_us is not None:
        span = (f"Time 0 is {escape(_utc(line.start_us))}; the trace runs "
                f"{(line.end_us - line.start_us) / 1e6:,.6f} s from its first moment to its last. Hover a mark for "
                "its fields.")
    return "".join([
        '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"/>',
        f"<title>DNS trace: {escape(text.isolated(title))}</title><style>{STYLE}</style></head><body>",
        f"<h1>DNS trace report</h1><p class=\"meta\">{text.bdi(title, limit=None)}</p>",
        '<div class="verdict">' + "".join(f"<p>{text.html(s)}</p>" for s in verdict.sentences(document)) + "</div>",
        timeline_svg.render(line), LEGEND, f'<p class="meta">{span}</p>',
        _client_section(document, clock), _capture_section(document, clock), _drop_section(document, clock),
        "</body></html>\n"])
