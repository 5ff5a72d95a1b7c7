#!/usr/bin/env python3
"""Checks of the DNS capture against real traffic captured on loopback.

rewrite IN OUT
    Copies a classic pcap file of Ethernet records, turning 127.0.0.3 into
    172.19.0.1 (the adapter) and 127.0.0.1 into 172.19.0.2 (the DNS server),
    with the IPv4 header checksum fixed. Only the file changes: these
    addresses never appear on any interface.

compare PCAP NAME JSON COUNT
    The capture JSON (from dns_capture_replay) must hold exactly the DNS
    messages for NAME that tshark decodes in PCAP, in order: the same stage,
    transport, transaction id, query type, client port and, for replies,
    response code; and no unparsed TCP segment, fragment or dropped event.
    COUNT is how many such messages the traffic must hold, so that a decode
    that finds nothing cannot agree with a capture that records nothing.
"""

import json
import struct
import subprocess
import sys

ADAPTER = bytes([172, 19, 0, 1])
SERVER = bytes([172, 19, 0, 2])
ADDRESS_MAP = {bytes([127, 0, 0, 3]): ADAPTER, bytes([127, 0, 0, 1]): SERVER}


def ipv4_checksum(header):
    total = sum(struct.unpack(f"!{len(header) // 2}H", header))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def rewrite(source, target):
    data = bytearray(open(source, "rb").read())
    magic = data[:4]
    order = {b"\xd4\xc3\xb2\xa1": "<", b"\xa1\xb2\xc3\xd4": ">"}.get(bytes(magic))
    if order is None:
        sys.exit(f"{source}: not a microsecond pcap file")
    (link_type,) = struct.unpack(order + "I", data[20:24])
    if link_type != 1:
        sys.exit(f"{source}: link type {link_type}, expected Ethernet")
    pos, rewritten = 24, 0
    while pos < len(data):
        _, _, captured, _ = struct.unpack(order + "IIII", data[pos:pos + 16])
        frame = pos + 16
        if captured >= 34 and data[frame + 12:frame + 14] == b"\x08\x00":
            ip = frame + 14
            ihl = (data[ip] & 0x0F) * 4
            for field in (ip + 12, ip + 16):
                address = bytes(data[field:field + 4])
                data[field:field + 4] = ADDRESS_MAP.get(address, address)
            data[ip + 10:ip + 12] = b"\0\0"
            data[ip + 10:ip + 12] = struct.pack("!H", ipv4_checksum(bytes(data[ip:ip + ihl])))
            rewritten += 1
        pos = frame + captured
    open(target, "wb").write(data)
    print(f"rewrote {rewritten} IPv4 packets")


TSHARK_FIELDS = ["ip.src", "ip.dst", "udp.srcport", "udp.dstport", "tcp.srcport", "tcp.dstport", "dns.id",
                 "dns.flags.response", "dns.flags.opcode", "dns.flags.rcode", "dns.count.queries", "dns.qry.name",
                 "dns.qry.type", "dns.qry.class"]


def tshark_messages(pcap):
    command = ["tshark", "-n", "-r", pcap, "-Y", "dns", "-T", "fields", "-E", "separator=/t",
               "-E", "occurrence=a", "-E", "aggregator=;"]
    for field in TSHARK_FIELDS:
        command += ["-e", field]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    messages = []
    for line in out.splitlines():
        row = dict(zip(TSHARK_FIELDS, line.split("\t")))
        # One value per DNS message of the frame (a TCP segment may carry several).
        per_message = ["dns.id", "dns.flags.response", "dns.flags.opcode", "dns.flags.rcode", "dns.count.queries"]
        count = len(row["dns.id"].split(";"))
        names = row["dns.qry.name"].split(";")
        types = row["dns.qry.type"].split(";")
        classes = row["dns.qry.class"].split(";")
        if count != 1 and len(names) != count:
            sys.exit(f"cannot split a frame of {count} DNS messages: {line}")
        for i in range(count):
            message = {k: row[k].split(";")[i] for k in per_message}
            message.update({k: row[k] for k in TSHARK_FIELDS[:6]})
            single = message["dns.count.queries"] == "1"
            message["question"] = (names[i], int(types[i], 0), int(classes[i], 0)) if single else None
            messages.append(message)
    return messages


def expected_events(pcap, name):
    events = []
    for m in tshark_messages(pcap):
        query = m["ip.dst"] == "172.19.0.2"
        if query == (m["ip.src"] == "172.19.0.2"):
            continue
        if m["question"] is None or m["dns.flags.opcode"] != "0":
            continue
        qname, qtype, qclass = m["question"]
        if qname.lower().rstrip(".") != name or qclass != 1 or qtype not in (1, 28):
            continue
        stage = "orvInterfaceReply" if m["dns.flags.response"] in ("1", "True") else "orvInterfaceQuery"
        if (stage == "orvInterfaceQuery") != query:
            continue
        transport = "udp" if m["udp.srcport"] else "tcp"
        ports = (m["udp.srcport"], m["udp.dstport"]) if transport == "udp" else (m["tcp.srcport"], m["tcp.dstport"])
        event = {"stage": stage, "transport": transport, "transactionId": int(m["dns.id"], 0), "queryType": qtype,
                 "clientPort": int(ports[0] if query else ports[1])}
        if not query:
            event["responseCode"] = int(m["dns.flags.rcode"], 0)
        events.append(event)
    return events


def compare(pcap, name, json_path, count):
    capture = json.load(open(json_path))
    failures = []
    for key in ("unparsedTcpSegments", "fragmentedEndpointPackets", "dropped", "errorCode"):
        if capture[key] != 0:
            failures.append(f"{key} is {capture[key]}, expected 0")
    if capture["status"] != "armed" or len(capture["windows"]) != 1:
        failures.append(f"status {capture['status']} with {len(capture['windows'])} windows, expected one armed")
    got = [{k: v for k, v in e.items() if k not in ("timeUs", "interfaceIndex")} for e in capture["events"]]
    want = expected_events(pcap, name)
    if got != want:
        failures.append("events differ from tshark's decode:\n  capture: %s\n  tshark:  %s" % (got, want))
    if len(want) != count:
        failures.append(f"tshark decodes {len(want)} messages for {name}, the traffic holds {count}")
    if any(e["interfaceIndex"] != 1 for e in capture["events"]):
        failures.append("an event is not on interface 1")
    if failures:
        sys.exit(f"{name}: " + "\n".join(failures))
    print(f"{name}: {len(got)} events agree with tshark")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "rewrite":
        rewrite(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 6 and sys.argv[1] == "compare":
        compare(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
