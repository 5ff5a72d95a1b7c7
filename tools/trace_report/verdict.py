"""The few sentences at the top of a report: what the document shows, in words."""

from collections import Counter

from . import names
from .trace_model import capture_status, collector_status, filter_words, join_capture


def _client(document):
    events = document["events"]
    sends = [e for e in events if e["id"] == 3010]
    responses = [e for e in events if e["id"] == 3011]
    interfaces = sorted({e["interfaceIndex"] for e in events if e["id"] in (3019, 3020) and "interfaceIndex" in e})
    completions = [e for e in events if e["id"] == 3020 and "responseStatus" in e]
    if not events:
        text = "The DNS client recorded no event for the name"
    elif not sends:
        text = f"The DNS client recorded {names.plural(len(events), 'event')} but sent no query to a server"
        if interfaces:
            text += f" (interface {', '.join(map(str, interfaces))})"
        if responses:
            text += f"; {names.plural(len(responses), 'response')} came back"
        if completions:
            text += f"; it finished with status {names.windows_code(completions[-1]['responseStatus'])}"
    else:
        servers = sorted({e["server"] for e in sends})
        text = f"The DNS client sent {names.plural(len(sends), 'query', 'queries')}"
        if servers:
            text += " to " + ", ".join(servers)
        if interfaces:
            text += f" through interface {', '.join(map(str, interfaces))}"
        if sends or responses:
            text += "; " + ("no response came back" if not responses
                            else f"{names.plural(len(responses), 'response')} came back")
        if completions:
            text += f"; it finished with status {names.windows_code(completions[-1]['responseStatus'])}"
    if "dnsClientErrorCode" in document:
        text += f"; its session ended with error {names.windows_code(document['dnsClientErrorCode'])}"
    return text + "."


def _capture(document):
    packets = document["orvPackets"]
    status = capture_status(packets)
    events = packets.get("events", [])
    queries = [e for e in events if e["stage"] == "orvInterfaceQuery"]
    if not events:
        if status:
            return f"Adapter capture: {status}."
        watched = sorted({w["interfaceIndex"] for w in packets.get("windows", [])})
        return ("Nothing for the name passed the accelerator adapter"
                + (f", watched on interface {', '.join(map(str, watched))}." if watched else "."))
    answered, orphans = join_capture(events)
    interfaces = sorted({e["interfaceIndex"] for e in queries})
    if queries:
        text = (f"{names.plural(len(queries), 'query', 'queries')} left through interface "
                f"{', '.join(map(str, interfaces))}; ")
        if not answered:
            text += "no reply"
        else:
            codes = Counter(events[r]["responseCode"] for r in answered.values())
            text += f"{names.plural(len(answered), 'reply', 'replies')} (" + ", ".join(
                f"{names.RESPONSE_CODES.get(code, code)}" + (f" ×{n}" if n > 1 else "")
                for code, n in sorted(codes.items())) + ")"
            if len(answered) < len(queries):
                text += f", {len(queries) - len(answered)} without a reply"
    else:
        text = "No query passed the accelerator adapter"
    if orphans:
        text += f"; {names.plural(len(orphans), 'reply', 'replies')} without a recorded query"
    if status:
        text += f" (capture {status})"
    return text[0].upper() + text[1:] + "."


def _drops(document):
    wfp = document["wfp"]
    status = collector_status(wfp)
    events = wfp["events"]
    if not events:
        return f"Filtering platform: {status}." if status else "The filtering platform dropped nothing."
    by_filter = Counter((e["filterId"], e["layerId"]) for e in events)
    parts = [f"{names.plural(n, 'drop')} by {filter_words(wfp, filter_id, layer_id)}"
             for (filter_id, layer_id), n in by_filter.most_common()]
    text = "; ".join(parts)
    if wfp["dropped"]:
        text += f"; {wfp['dropped']} more not kept"
    if status:
        text += f" (collector {status})"
    return text[0].upper() + text[1:] + "."


def sentences(document):
    lines = [_client(document), _capture(document), _drops(document)]
    notes = []
    if document["expired"]:
        notes.append("the trace ran out its 45 seconds before it was finished")
    if document["dropped"]:
        notes.append(f"{names.plural(document['dropped'], 'DNS client event')} not kept")
    if notes:
        text = "; ".join(notes)
        lines.append(text[0].upper() + text[1:] + ".")
    return lines
