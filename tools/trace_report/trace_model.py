"""A DNS trace document laid out for the timeline: lanes of marks and links.

Every event of the document becomes exactly one mark; links join a reply to
its query (by transaction id on the adapter, by server and query type in the
DNS client's own events), and a query nothing answered gets an open link.
"""

from dataclasses import dataclass, field

from . import names


@dataclass
class Mark:
    source: str          # "client", "capture" or "drop"
    kind: str            # drawing style, e.g. "e3010", "query", "reply", "drop"
    time_us: int
    row: int             # sub-row of the lane
    fields: list         # (label, text) pairs for the hover title and tables


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


def _client_fields(event):
    fields = [("event", f"{event['id']} {names.CLIENT_EVENTS[event['id']]}"), ("timeUs", event["timeUs"])]
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
    for event in events:
        lane.marks.append(Mark("client", f"e{event['id']}", event["timeUs"], _CLIENT_ROWS[event["id"]],
                               _client_fields(event)))
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
    """{query index: reply index} and the set of replies without a recorded query.

    A reply answers the latest earlier unanswered query with its transaction
    id, client port, transport and interface.
    """
    key = lambda e: (e["transactionId"], e["clientPort"], e["transport"], e["interfaceIndex"])  # noqa: E731
    answered, orphans = {}, set()
    order = sorted(range(len(events)), key=lambda i: (events[i]["timeUs"], events[i]["stage"] == "orvInterfaceReply"))
    open_queries = {}
    for i in order:
        if events[i]["stage"] == "orvInterfaceQuery":
            open_queries.setdefault(key(events[i]), []).append(i)
        elif open_queries.get(key(events[i])):
            answered[open_queries[key(events[i])].pop()] = i
        else:
            orphans.add(i)
    return answered, orphans


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
    replies = {reply: query for query, reply in answered.items()}
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
        if event["stage"] == "orvInterfaceQuery":
            joined = f"reply at {events[answered[i]]['timeUs']}" if i in answered else "no reply"
            lane.marks.append(Mark("capture", "query", event["timeUs"], 0, _capture_fields(event, joined)))
            if i in answered:
                reply = events[answered[i]]
                lane.links.append(Link(0, event["timeUs"], reply["timeUs"],
                                       f"reply {names.response_code(reply['responseCode'])}"))
            else:
                lane.links.append(Link(0, event["timeUs"], None, "no reply"))
        else:
            joined = f"query at {events[replies[i]]['timeUs']}" if i in replies else "no recorded query"
            lane.marks.append(Mark("capture", "reply" if i not in orphans else "reply orphan", event["timeUs"], 0,
                                   _capture_fields(event, joined)))
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
    text = f"filter '{rule['name']}'" if "name" in rule else f"filter {filter_id}"
    sublayer = rule["sublayer"]
    if "name" in sublayer:
        text += f" (sublayer '{sublayer['name']}')"
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
        lane.marks.append(Mark("drop", "drop", event["timeUs"], 0, fields))
    lane.note = collector_status(wfp) or ("" if wfp["events"] else "no drops")
    return lane


def timeline(document):
    lanes = [client_lane(document)] + capture_lanes(document) + [drop_lane(document)]
    times = [m.time_us for lane in lanes for m in lane.marks]
    times += [t for lane in lanes if lane.band for t in lane.band if t]
    return Timeline(lanes, min(times) if times else None, max(times) if times else None)
