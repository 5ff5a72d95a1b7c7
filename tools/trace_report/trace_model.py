"""A DNS trace document laid out for the timeline: lanes of marks and links.

Every event of the document becomes exactly one mark; links join a reply to
its query (by transaction id on the adapter, by server and query type in the
DNS client's own events), and a query nothing answered gets an open link.
A query answered more than once keeps every answer.
"""

from dataclasses import dataclass, field

from . import names
from .text import isolated


@dataclass
class Mark:
    source: str          # "client", "capture" or "drop"
    kind: str            # drawing style, e.g. "e3010", "query", "reply", "drop"
    time_us: int
    row: int             # sub-row of the lane
    fields: list         # (label, text) pairs for the hover title and tables
    summary: str = ""    # one line for the list of a mark that stands for several


@dataclass
class Link:
    row: int
    start_us: int
    end_us: int | None   # None: open-ended, nothing answered
    text: str


@dataclass
class Lane:
    source: str
    title: str
    rows: list                                  # titles of the sub-rows
    note: str = ""                              # status words, shown in the lane
    marks: list = field(default_factory=list)
    links: list = field(default_factory=list)
    band: tuple | None = None                   # (start, end or None): the capture window


@dataclass
class Timeline:
    lanes: list
    start_us: int | None                        # None: nothing in the document has a time
    end_us: int | None


def own_process(document):
    """This program's process id as the events that name their client give it, or None.

    The recorder keeps only events whose client is this program or not named,
    so every clientPid in a document is this program's.
    """
    pids = {e["clientPid"] for e in document["events"] if e.get("clientPid")}
    return pids.pop() if len(pids) == 1 else None


def known_client(event, own):
    """True when the document says which program an event of the DNS client was for."""
    return bool(event.get("clientPid")) or (own is not None and event["processId"] == own)


def client_process(event, own):
    """Which program an event of the DNS client was for, as far as the document says."""
    if event.get("clientPid"):
        pid = event["clientPid"]
        return f"this program (process {pid})" if pid == own else f"process {pid}"
    if own is not None and event["processId"] == own:
        return f"this program (process {own}, which wrote the event)"
    return f"not named by the event; written by process {event['processId']}"


def _client_fields(event, own):
    fields = [("event", f"{event['id']} {names.CLIENT_EVENTS[event['id']]}"), ("timeUs", event["timeUs"]),
              ("client", client_process(event, own))]
    for key in ("queryType", "server", "interfaceIndex", "networkIndex", "interfaceCount", "adapter",
                "localAddress", "responseStatus", "clientPid", "processId", "activity"):
        if key in event:
            value = event[key]
            if key == "queryType":
                value = names.query_type(value)
            elif key == "responseStatus":
                value = names.windows_code(value)
            fields.append((key, value))
    return fields


_CLIENT_ROWS = {3009: 0, 3019: 1, 3020: 1, 3010: 2, 3011: 2}


def _pair(opens, closes, key, open_text, closed_text):
    """Links from each opening event to the first later closing event of the same key."""
    links, waiting = [], {}
    ordered = sorted([(e["timeUs"], 1, e) for e in closes] + [(e["timeUs"], 0, e) for e in opens],
                     key=lambda item: (item[0], item[1]))
    for time_us, is_close, event in ordered:
        k = key(event)
        if not is_close:
            waiting.setdefault(k, []).append(time_us)
        elif waiting.get(k):
            links.append((waiting[k].pop(0), time_us, closed_text(event)))
    for pending in waiting.values():
        links += [(time_us, None, open_text) for time_us in pending]
    return links


def client_lane(document):
    events = document["events"]
    lane = Lane("client", "DNS client", ["network query", "interface query", "server exchange"])
    own = own_process(document)
    for event in events:
        summary = f"{event['id']} {names.CLIENT_EVENTS[event['id']]}"
        if "responseStatus" in event:
            summary += f", status {names.windows_code(event['responseStatus'])}"
        if not known_client(event, own):
            summary += f" (written by process {event['processId']})"
        lane.marks.append(Mark("client", f"e{event['id']}", event["timeUs"], _CLIENT_ROWS[event["id"]],
                               _client_fields(event, own), summary))
    by_id = lambda i: [e for e in events if e["id"] == i]  # noqa: E731
    server = _pair(by_id(3010), by_id(3011), lambda e: (e.get("server"), e.get("queryType")),
                   "no response from the server",
                   lambda e: f"response, status {names.windows_code(e['responseStatus'])}"
                   if "responseStatus" in e else "response")
    interface = _pair(by_id(3019), by_id(3020), lambda e: (e.get("interfaceIndex"), e.get("queryType")),
                      "not completed",
                      lambda e: f"completed, status {names.windows_code(e['responseStatus'])}"
                      if "responseStatus" in e else "completed")
    lane.links += [Link(2, *link) for link in server] + [Link(1, *link) for link in interface]
    if not events:
        lane.note = "no DNS client events"
    if "dnsClientErrorCode" in document:
        lane.note = (lane.note + "; " if lane.note else "") + \
            f"session error {names.windows_code(document['dnsClientErrorCode'])}"
    return lane


def _capture_summary(event):
    words = "query" if event["stage"] == "orvInterfaceQuery" else f"reply {names.answer(event['responseCode'])}"
    return (f"{words}, {names.query_type(event['queryType'])}, transaction {event['transactionId']}, "
            f"port {event['clientPort']}")


def _capture_fields(event, answered):
    fields = [("stage", event["stage"]), ("timeUs", event["timeUs"]), ("transport", event["transport"]),
              ("interfaceIndex", event["interfaceIndex"]), ("queryType", names.query_type(event["queryType"])),
              ("transactionId", event["transactionId"]), ("clientPort", event["clientPort"])]
    if "responseCode" in event:
        fields.append(("responseCode", names.response_code(event["responseCode"])))
    fields.append(("joined", answered))
    return fields


def capture_status(packets):
    """The capture's own words when it did not run, or '' when it did."""
    status = packets["status"]
    if status == "interfaceNotReady":
        return "interfaceNotReady: the accelerator adapter was not there"
    if status == "unavailable":
        code = packets.get("errorCode")
        return f"unavailable, code {names.windows_code(code)}" if code else "unavailable"
    if status == "partial":
        return f"partial, code {names.windows_code(packets['errorCode'])}"
    return ""


def _window_of(event, windows):
    for number, window in enumerate(windows):
        ended = window["endedUs"] or None
        if (window["interfaceIndex"] == event["interfaceIndex"] and window["startedUs"] <= event["timeUs"]
                and (ended is None or event["timeUs"] <= ended)):
            return number
    return None


def join_capture(events):
    """{query index: [reply indices in time order]} and the set of replies without a recorded query.

    A reply answers the latest earlier unanswered query with its transaction
    id, client port, transport and interface; when all of those have an
    answer, it is one more answer to the latest of them (a server may answer
    a query twice, and both answers matter).
    """
    key = lambda e: (e["transactionId"], e["clientPort"], e["transport"], e["interfaceIndex"])  # noqa: E731
    answered, orphans = {}, set()
    order = sorted(range(len(events)), key=lambda i: (events[i]["timeUs"], events[i]["stage"] == "orvInterfaceReply"))
    queries = {}
    for i in order:
        if events[i]["stage"] == "orvInterfaceQuery":
            queries.setdefault(key(events[i]), []).append(i)
        elif queries.get(key(events[i])):
            earlier = queries[key(events[i])]
            waiting = [q for q in earlier if q not in answered]
            answered.setdefault(waiting[-1] if waiting else earlier[-1], []).append(i)
        else:
            orphans.add(i)
    return answered, orphans


def answers_text(events, replies):
    """'NOERROR (no error), then NXDOMAIN (no such name)'."""
    return ", then ".join(names.answer(events[r]["responseCode"]) for r in replies)


def capture_lanes(document):
    packets = document["orvPackets"]
    windows = packets.get("windows", [])
    events = packets.get("events", [])
    lanes = []
    for window in windows:
        lane = Lane("capture", f"adapter, interface {window['interfaceIndex']}", ["packets"])
        lane.band = (window["startedUs"], window["endedUs"] or None)
        lanes.append(lane)
    outside = {}
    answered, orphans = join_capture(events)
    replies = {reply: query for query, answers in answered.items() for reply in answers}
    for i, event in enumerate(events):
        number = _window_of(event, windows)
        if number is None:  # a document may carry events outside its windows
            if event["interfaceIndex"] not in outside:
                outside[event["interfaceIndex"]] = Lane(
                    "capture", f"adapter, interface {event['interfaceIndex']}", ["outside any window"])
                lanes.append(outside[event["interfaceIndex"]])
            lane = outside[event["interfaceIndex"]]
        else:
            lane = lanes[number]
        summary = _capture_summary(event)
        if event["stage"] == "orvInterfaceQuery":
            if i in answered:
                joined = ("answered " + answers_text(events, answered[i]) + ", at "
                          + ", ".join(str(events[r]["timeUs"]) for r in answered[i]))
                last = max(events[r]["timeUs"] for r in answered[i])
                lane.links.append(Link(0, event["timeUs"], last, "answered " + answers_text(events, answered[i])))
            else:
                joined = "no reply"
                lane.links.append(Link(0, event["timeUs"], None, "no reply"))
            lane.marks.append(Mark("capture", "query", event["timeUs"], 0, _capture_fields(event, joined), summary))
        else:
            if i in replies:
                nth = answered[replies[i]].index(i)
                joined = f"query at {events[replies[i]]['timeUs']}" + (f", answer {nth + 1}" if nth else "")
            else:
                joined = "no recorded query"
            lane.marks.append(Mark("capture", "reply" if i not in orphans else "reply orphan", event["timeUs"], 0,
                                   _capture_fields(event, joined), summary + ("" if i in replies else
                                                                                ", no recorded query")))
    if not lanes:
        lanes.append(Lane("capture", "adapter", ["packets"]))
    note = capture_status(packets) or ("" if events else "no DNS message for the name")
    lanes[0].note = note
    return lanes


def collector_status(wfp):
    """The collector's own words when it did not watch everything, or ''."""
    status = wfp["status"]
    if status in ("observed", "notObserved"):
        return ""
    words = {"notStarted": "notStarted: the collector never ran",
             "collectionDisabled": "collectionDisabled: drop events are switched off on this machine"}
    text = words.get(status, status)
    if status == "partial" and not (wfp["localEndpoint"] and wfp["remoteEndpoint"]):
        watched = [name for name in ("local", "remote") if wfp[f"{name}Endpoint"]]
        text += f", {watched[0]} endpoint only" if watched else ", no endpoint watched"
    if "nativeErrorCode" in wfp:
        text += f", code {names.windows_code(wfp['nativeErrorCode'])}"
    return text


def rule_for(wfp, filter_id):
    for rule in wfp.get("rules", []):
        if rule["filterId"] == filter_id:
            return rule
    return None


def filter_words(wfp, filter_id, layer_id=None):
    """"filter 'Block DNS' (sublayer 'Kilna') at the connect layer", from what the rule says."""
    rule = rule_for(wfp, filter_id)
    if rule is None or rule["status"] != "resolved":
        status = rule["status"] if rule else "not described"
        return f"filter {filter_id} ({status}) at {names.layer(None, layer_id)}"
    text = f"filter '{isolated(rule['name'])}'" if "name" in rule else f"filter {filter_id}"
    sublayer = rule["sublayer"]
    if "name" in sublayer:
        text += f" (sublayer '{isolated(sublayer['name'])}')"
    return text + f" at {names.layer(rule.get('layerKey'), layer_id)}"


def drop_lane(document):
    wfp = document["wfp"]
    lane = Lane("drop", "filtering platform drops", ["drops"])
    for event in wfp["events"]:
        fields = [("timeUs", event["timeUs"]), ("direction", event["direction"]), ("protocol", event["protocol"]),
                  ("resolverEndpoint", event["resolverEndpoint"])]
        fields += [(k, event[k]) for k in ("localPort", "remotePort") if k in event]
        fields += [("filterId", event["filterId"]), ("layerId", event["layerId"]),
                   ("filter", filter_words(wfp, event["filterId"], event["layerId"]))]
        summary = (f"drop, {event['direction']} {event['protocol']}, "
                   f"{filter_words(wfp, event['filterId'], event['layerId'])}")
        lane.marks.append(Mark("drop", "drop", event["timeUs"], 0, fields, summary))
    lane.note = collector_status(wfp) or ("" if wfp["events"] else "no drops")
    return lane


def timeline(document):
    lanes = [client_lane(document)] + capture_lanes(document) + [drop_lane(document)]
    times = [m.time_us for lane in lanes for m in lane.marks]
    times += [t for lane in lanes if lane.band for t in lane.band if t]
    return Timeline(lanes, min(times) if times else None, max(times) if times else None)
