"""The few sentences at the top of a report: what the document shows, in words."""

from collections import Counter

from . import names
from .trace_model import answers_text, capture_status, collector_status, filter_words, join_capture, \
    known_client, own_process


def _counted(words):
    """'A ×2, B': equal words counted, in the order they first came."""
    counts = Counter(words)
    return ", ".join(w + (f" \u00d7{counts[w]}" if counts[w] > 1 else "") for w in dict.fromkeys(words))


def _statuses(events):
    return _counted([f"status {names.windows_code(e['responseStatus'])}" if "responseStatus" in e
                     else "no status" for e in events])


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
            text += f"; {names.plural(len(responses), 'response')} came back ({_statuses(responses)})"
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
                            else f"{names.plural(len(responses), 'response')} came back ({_statuses(responses)})")
        if completions:
            text += f"; it finished with status {names.windows_code(completions[-1]['responseStatus'])}"
    if "dnsClientErrorCode" in document:
        text += f"; its session ended with error {names.windows_code(document['dnsClientErrorCode'])}"
    return text + "."


def _processes(document):
    """Which program the client's events were for, where the document does not say it was this one."""
    own = own_process(document)
    unnamed = [e for e in document["events"] if not known_client(e, own)]
    if not unnamed:
        return None
    writers = sorted({e["processId"] for e in unnamed})
    text = (f"{names.plural(len(unnamed), 'DNS client event')} of {len(document['events'])} do"
            f"{'es' if len(unnamed) == 1 else ''} not name the program "
            f"{'it was' if len(unnamed) == 1 else 'they were'} for (written by process "
            f"{', '.join(map(str, writers))}), so "
            f"{'it' if len(unnamed) == 1 else 'they'} may be another program's lookup of the same name")
    if own is not None:
        text += f"; this program is process {own}"
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
        # Queries that got the same answers, in the order they were asked.
        outcomes = Counter()
        for i in sorted((i for i, e in enumerate(events) if e["stage"] == "orvInterfaceQuery"),
                        key=lambda i: events[i]["timeUs"]):
            replies = answered.get(i, [])
            times = {1: "", 2: " twice"}.get(len(replies), f" {len(replies)} times")
            outcomes[f"answered{times}{':' if len(replies) > 1 else ''} {answers_text(events, replies)}"
                     if replies else "without a reply"] += 1
        if len(queries) == 1:
            text += next(iter(outcomes)).replace("without a reply", "no reply")
        else:
            text += ", ".join(f"{n} {words}" for words, n in outcomes.items())
    else:
        text = "No query passed the accelerator adapter"
    if orphans:
        text += (f"; {names.plural(len(orphans), 'reply', 'replies')} without a recorded query ("
                 + _counted([names.answer(events[i]["responseCode"]) for i in sorted(
                     orphans, key=lambda i: events[i]["timeUs"])]) + ")")
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
    processes = _processes(document)
    if processes:
        lines.append(processes)
    notes = []
    if document["expired"]:
        notes.append("the trace ran out its 45 seconds before it was finished")
    if document["dropped"]:
        notes.append(f"{names.plural(document['dropped'], 'DNS client event')} not kept")
    if notes:
        text = "; ".join(notes)
        lines.append(text[0].upper() + text[1:] + ".")
    return lines
