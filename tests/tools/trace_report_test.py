#!/usr/bin/env python3
"""The trace report: any valid document renders, an invalid one is refused."""

import contextlib
import copy
import io
import json
import pathlib
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "tools"), str(pathlib.Path(__file__).parent)]
import report_shape  # noqa: E402
import trace_report_archive  # noqa: E402
from trace_report import document, report_page, trace_model, verdict  # noqa: E402

TOOL = ROOT / "tools" / "trace-report"
EXAMPLE = ROOT / "tools" / "trace_report" / "example.dns-trace.json"
WORKING_LOOKUP = ROOT / "tools" / "trace_report" / "working-lookup.dns-trace.json"
SAMPLES = ROOT / "tests" / "interface" / "sample_documents.jsonl"


def example():
    return json.loads(EXAMPLE.read_text(encoding="utf-8"))


def samples():
    lines = SAMPLES.read_text(encoding="utf-8").splitlines()
    # The valid trace samples; those marked "refuse" are wrong on purpose.
    return [s["document"] for s in map(json.loads, filter(str.strip, lines))
            if s["schema"] == "dns-trace" and "refuse" not in s]


def capture_event(time_us, stage, transaction_id, client_port=50000, response_code=None):
    event = {"timeUs": time_us, "stage": stage, "transport": "udp", "interfaceIndex": 7, "queryType": 1,
             "transactionId": transaction_id, "clientPort": client_port}
    if response_code is not None:
        event["responseCode"] = response_code
    return event


def with_packets(events):
    """The example with these adapter messages inside its capture window."""
    trace = example()
    trace["orvPackets"]["events"] = events
    return trace


def plain(lines):
    """Sentences without the isolate marks around the document's own text."""
    return [line.replace("\u2068", "").replace("\u2069", "") for line in lines]


T = example()["orvPackets"]["windows"][0]["startedUs"]
QUERY, REPLY = "orvInterfaceQuery", "orvInterfaceReply"


class RendersEveryDocument(unittest.TestCase):
    def assert_sound(self, trace):
        page = report_page.render(document.check(trace), "test")
        self.assertEqual(report_shape.problems(trace, page), [])
        return page

    def test_the_example_and_the_samples(self):
        for trace in [example(), json.loads(WORKING_LOOKUP.read_text(encoding="utf-8"))] + samples():
            with self.subTest(trace=json.dumps(trace)[:80]):
                self.assert_sound(trace)

    def test_full_recorders(self):
        # As many events as each recorder keeps, on two interfaces and outside any window.
        trace = example()
        trace["orvPackets"]["windows"].append({"interfaceIndex": 9, "startedUs": T + 4_000_000, "endedUs": 0})
        trace["orvPackets"]["events"] = [capture_event(T + 10 * i, (QUERY, REPLY)[i % 2], i // 2, response_code=(
            0 if i % 2 else None)) for i in range(96)]
        trace["orvPackets"]["events"][-1]["interfaceIndex"] = 12
        trace["events"] = (trace["events"] * 26)[:128]
        trace["wfp"]["events"] = (trace["wfp"]["events"] * 32)[:64]
        self.assert_sound(trace)

    def test_texts_from_the_machine_stay_text(self):
        trace = example()
        rule = trace["wfp"]["rules"][0]
        # Display names never hold a path separator: the product writes "[redacted]" for them.
        rule["name"] = "<script>alert('x')<script> & \"more\""
        rule["sublayer"]["name"] = "]]><svg><img src=x onerror=alert(1)>"
        trace["events"][0]["adapter"] = "<b onmouseover=alert(1)>"
        page = self.assert_sound(trace)
        self.assertIn("&lt;script&gt;", page)
        self.assertNotIn("<img", page)
        # Long words wrap anywhere and long names are cut; both stay text.
        for name in ("<img src=x onerror=alert(1)>" + "x" * 60, "<img src=x onerror=alert(1)> " + "x" * 99):
            rule["name"] = name
            self.assertNotIn("<img", self.assert_sound(trace))

    def test_a_document_without_any_time(self):
        page = self.assert_sound(samples()[1])
        self.assertIn("nothing in the document carries a time", page)

    def test_times_past_any_calendar_date_are_shown_as_numbers(self):
        self.assertEqual(report_page._utc(2**64 - 2), f"{2**64 - 2} \u00b5s after 1970-01-01 UTC")


def marks(page, source):
    """(x, events it stands for, hover title) of each mark of a source, from the page's SVG."""
    svg = ElementTree.fromstring(page[len("<!DOCTYPE html>\n"):]).find(f".//{report_shape.SVG}svg")
    found = []
    for g in svg.iter(f"{report_shape.SVG}g"):
        if "mark" in g.get("class", "").split() and g.get("data-source") == source:
            glyph = [e for e in g if e.tag.rsplit("}", 1)[-1] in ("circle", "polygon", "path", "rect")][0]
            if glyph.get("cx"):
                x = float(glyph.get("cx"))
            elif glyph.get("points"):
                xs = [float(point.split(",")[0]) for point in glyph.get("points").split()]
                x = sum(xs) / len(xs)
            elif glyph.get("d"):
                x = float(glyph.get("d")[1:].split(",")[0]) + 5
            else:
                x = float(glyph.get("x")) + 6
            found.append((x, int(g.get("data-count", "1")), g.find(f"{report_shape.SVG}title").text))
    return sorted(found)


def axis_labels(page):
    svg = ElementTree.fromstring(page[len("<!DOCTYPE html>\n"):]).find(f".//{report_shape.SVG}svg")
    return [(float(t.get("x")), t.text) for t in svg.iter(f"{report_shape.SVG}text") if t.get("class") == "axis"]


class ReadableAtAGlance(unittest.TestCase):
    def render(self, trace):
        page = report_page.render(document.check(trace), "test")
        self.assertEqual(report_shape.problems(trace, page), [])
        return page

    def test_a_query_and_its_answer_8_ms_apart_on_a_long_trace_are_two_marks(self):
        trace = with_packets([capture_event(T + 2_000_000, QUERY, 100),
                              capture_event(T + 2_008_000, REPLY, 100, response_code=0)])
        trace["orvPackets"]["windows"][0]["endedUs"] = T + 44_000_000
        (query_x, *_), (reply_x, *_) = marks(self.render(trace), "capture")
        self.assertGreaterEqual(reply_x - query_x, 12)

    def test_a_burst_of_drops_is_one_mark_with_its_count(self):
        trace = example()
        drop = trace["wfp"]["events"][0]
        trace["wfp"]["events"] = [dict(drop, timeUs=drop["timeUs"] + 3 * i) for i in range(64)]
        page = self.render(trace)
        [(_, count, title)] = marks(page, "drop")
        self.assertEqual(count, 64)
        self.assertEqual(len(title.splitlines()), 65)  # what it stands for, then each drop
        self.assertIn("\u00d764</text>", page)

    def test_marks_apart_in_time_stay_apart_at_any_span(self):
        for gap_us in (1_000, 8_000, 1_000_000, 3_600_000_000, 2**62):
            with self.subTest(gap_us=gap_us):
                trace = example()
                drop = trace["wfp"]["events"][0]
                trace["wfp"]["events"] = [dict(drop, timeUs=drop["timeUs"] + gap_us * i) for i in range(3)]
                trace["wfp"]["endedUs"] = drop["timeUs"] + 3 * gap_us
                xs = [x for x, _, _ in marks(self.render(trace), "drop")]
                self.assertEqual(len(xs), 3)
                self.assertGreaterEqual(min(b - a for a, b in zip(xs, xs[1:])), 12)

    def test_tick_labels_are_distinct_apart_and_inside_the_picture(self):
        # The first and last moment only, or eleven spread evenly (the axis then fills the picture);
        # the example ends in a moment of its own after a break, at the right edge.
        cases = [("example", example()), ("working lookup", json.loads(WORKING_LOOKUP.read_text(encoding="utf-8")))]
        for span in (0, 1, 800, 8_000, 4_000_000, 45_000_000, 86_400_000_000, 2**63):
            for spread in (1, 10):
                trace = example()
                trace["orvPackets"]["windows"][0]["endedUs"] = 0
                trace["events"] = trace["events"][:1]
                trace["events"][0]["timeUs"] = T
                drop = trace["wfp"]["events"][0]
                trace["wfp"]["events"] = [dict(drop, timeUs=T + span * k // spread) for k in range(1, spread + 1)]
                trace["wfp"]["rules"][0]["firstDropUs"] = T + span // spread
                # The collector's start and end fall on the first and last moments.
                trace["wfp"]["startedUs"], trace["wfp"]["endedUs"] = T, T + span
                cases.append((f"{span} us in {spread}", trace))
        for name, trace in cases:
            with self.subTest(name):
                labels = axis_labels(self.render(trace))
                texts = [text for _, text in labels]
                self.assertEqual(len(texts), len(set(texts)), texts)
                self.assertTrue(labels)
                for x, text in labels:
                    self.assertGreaterEqual(x - len(text) * 3.3, 0, text)
                    self.assertLessEqual(x + len(text) * 3.3, 1000, text)
                for (x1, left), (x2, right) in zip(labels, labels[1:]):
                    self.assertGreaterEqual(x2 - x1, (len(left) + len(right)) * 3.3, (left, right))

    def test_a_bidirectional_override_stays_in_its_name(self):
        trace = example()
        trace["wfp"]["rules"][0]["name"] = "Block \u202eSND"
        trace["events"][0]["adapter"] = "\u2069\u202e{8C41E0B2}"  # a stray pop tries to end the isolate early
        page = self.render(trace)
        self.assertIn("2 drops by filter &#x27;<bdi>Block \u202eSND</bdi>&#x27;", page)
        self.assertEqual(report_shape.unisolated(verdict.sentences(trace)[2]), [])

    def test_a_lone_surrogate_is_shown_as_its_escape(self):
        text = EXAMPLE.read_text(encoding="utf-8").replace('"name":"Block DNS"', '"name":"Block\\ud800DNS"')
        with tempfile.TemporaryDirectory() as folder:
            trace, page = pathlib.Path(folder, "t.json"), pathlib.Path(folder, "t.html")
            trace.write_text(text, encoding="utf-8")
            result = subprocess.run([sys.executable, str(TOOL), str(trace)], capture_output=True, text=True)
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertIn("filter &#x27;<bdi>Block\\ud800DNS</bdi>&#x27;", page.read_text(encoding="utf-8"))

    def test_long_names_are_cut_with_the_whole_name_in_the_title(self):
        trace = example()
        name = "Block DNS " + "x" * 118  # the longest name a document holds
        trace["wfp"]["rules"][0]["name"] = name
        page = self.render(trace)
        self.assertIn(f'<h3>Filter 68411: <bdi class="long cut" title="\u2068{name}\u2069">{name[:119]}', page)

    def test_a_lane_note_has_a_row_of_its_own(self):
        trace = example()
        # The client's lane has its marks and a note.
        trace = {**{k: trace[k] for k in ("events", "dropped", "expired")}, "dnsClientErrorCode": 5,
                 **{k: trace[k] for k in ("orvPackets", "wfp")}}
        page = self.render(trace)
        svg = ElementTree.fromstring(page[len("<!DOCTYPE html>\n"):]).find(f".//{report_shape.SVG}svg")
        notes = [float(t.get("y")) for t in svg.iter(f"{report_shape.SVG}text") if t.get("class") == "lane-note"]
        rows = [float(t.get("y")) - 4 for t in svg.iter(f"{report_shape.SVG}text") if t.get("class") == "row-title"]
        self.assertTrue(notes)
        self.assertTrue(all(abs(note - row) > 11 for note in notes for row in rows))


class JoinsRepliesToQueries(unittest.TestCase):
    def test_by_transaction_id_not_by_order(self):
        events = [capture_event(T + 10, QUERY, 100), capture_event(T + 20, QUERY, 200),
                  capture_event(T + 30, REPLY, 100, response_code=0),
                  capture_event(T + 40, REPLY, 300, response_code=3)]
        answered, orphans = trace_model.join_capture(events)
        self.assertEqual(answered, {0: [2]})
        self.assertEqual(orphans, {3})
        lane = trace_model.capture_lanes(with_packets(events))[0]
        self.assertEqual([(k.start_us, k.end_us) for k in lane.links], [(T + 10, T + 30), (T + 20, None)])

    def test_same_transaction_id_on_another_port_is_another_query(self):
        events = [capture_event(T + 10, QUERY, 100, 50000), capture_event(T + 20, REPLY, 100, 50001, 0)]
        self.assertEqual(trace_model.join_capture(events), ({}, {1}))

    def test_a_reply_answers_a_query_before_it(self):
        events = [capture_event(T + 20, REPLY, 100, response_code=0), capture_event(T + 30, QUERY, 100)]
        self.assertEqual(trace_model.join_capture(events), ({}, {0}))

    def test_open_query_is_drawn_to_the_end(self):
        page = report_page.render(with_packets([capture_event(T + 10, QUERY, 100)]), "test")
        self.assertIn('class="link open"><title>no reply</title>', page)

    def test_client_send_without_response_stays_open(self):
        links = trace_model.client_lane(example()).links
        self.assertEqual(sorted((k.row, k.end_us is None, k.text) for k in links),
                         [(1, False, "completed, status 1460 (timeout)"),
                          (2, True, "no response from the server"), (2, True, "no response from the server")])


class Verdict(unittest.TestCase):
    def test_the_example_story(self):
        self.assertEqual(plain(verdict.sentences(example())), [
            "The DNS client sent 2 queries to 172.19.0.2 through interface 7; no response came back; "
            "it finished with status 1460 (timeout).",
            "Nothing for the name passed the accelerator adapter, watched on interface 7.",
            "2 drops by filter 'Block DNS' (sublayer 'Kilna') at the connect layer.",
            "2 DNS client events of 5 do not name the program they were for (written by process 2148), so they "
            "may be another program's lookup of the same name; this program is process 4312."])

    def test_replies_on_the_adapter(self):
        events = [capture_event(T + 10, QUERY, 100), capture_event(T + 20, QUERY, 200),
                  capture_event(T + 30, REPLY, 100, response_code=3),
                  capture_event(T + 40, REPLY, 300, response_code=0)]
        self.assertEqual(verdict.sentences(with_packets(events))[1],
                         "2 queries left through interface 7; 1 answered NXDOMAIN (no such name), 1 without a reply; "
                         "1 reply without a recorded query (NOERROR (no error)).")

    def test_the_working_lookup_story(self):
        self.assertEqual(plain(verdict.sentences(json.loads(WORKING_LOOKUP.read_text(encoding="utf-8")))), [
            "The DNS client sent 5 queries to 172.19.0.2 through interface 7; 2 responses came back "
            "(status 0 (success) \u00d72); it finished with status 0 (success).",
            "5 queries left through interface 7; 3 answered NOERROR (no error), 1 answered twice: NOERROR "
            "(no error), then NOERROR (no error), 1 answered SERVFAIL (server failure).",
            "4 drops by filter 'Contoso Shield: block inbound DNS' (sublayer 'Contoso Shield filters') at the "
            "receive/accept layer.",
            "7 DNS client events of 12 do not name the program they were for (written by process 2148), so they "
            "may be another program's lookup of the same name; this program is process 4312."])

    def test_a_query_answered_twice_names_both_answers(self):
        events = [capture_event(T + 10, QUERY, 100), capture_event(T + 20, REPLY, 100, response_code=0),
                  capture_event(T + 30, REPLY, 100, response_code=3)]
        self.assertEqual(verdict.sentences(with_packets(events))[1],
                         "1 query left through interface 7; answered twice: NOERROR (no error), then NXDOMAIN "
                         "(no such name).")
        self.assertEqual(trace_model.join_capture(events), ({0: [1, 2]}, set()))

    def test_responses_to_the_client_are_named(self):
        trace = example()
        trace["events"].insert(3, {"id": 3011, "timeUs": T + 500_000, "clientPid": 4312, "processId": 4312,
                                   "queryType": 1, "server": "172.19.0.2", "responseStatus": 9003})
        self.assertEqual(verdict.sentences(trace)[0],
                         "The DNS client sent 2 queries to 172.19.0.2 through interface 7; 1 response came back "
                         "(status 9003 (name does not exist)); it finished with status 1460 (timeout).")

    def test_events_that_name_this_program_need_no_word(self):
        trace = example()
        for event in trace["events"]:
            event.setdefault("clientPid", 4312)
        self.assertEqual(len(verdict.sentences(trace)), 3)

    def test_recorders_that_did_not_run_speak_their_own_words(self):
        lines = verdict.sentences(samples()[2])
        self.assertEqual(lines[1], "Adapter capture: interfaceNotReady: the accelerator adapter was not there.")
        self.assertEqual(lines[2], "Filtering platform: unavailable, code 1764 (operation not supported).")
        lines = verdict.sentences(samples()[1])
        self.assertEqual(lines[1:], ["Adapter capture: unavailable.",
                                     "Filtering platform: notStarted: the collector never ran.",
                                     "The trace ran out its 45 seconds before it was finished."])

    def test_client_events_without_a_query_sent(self):
        trace = example()
        trace["events"] = [e for e in trace["events"] if e["id"] != 3010]
        trace["dnsClientErrorCode"] = 5
        self.assertEqual(verdict.sentences(trace)[0],
                         "The DNS client recorded 3 events but sent no query to a server (interface 7); it finished "
                         "with status 1460 (timeout); its session ended with error 5 (access denied).")

    def test_a_partial_collector_says_what_it_watched(self):
        trace = example()
        trace["wfp"].update(status="partial", remoteEndpoint=False)
        self.assertEqual(plain(verdict.sentences(trace))[2], "2 drops by filter 'Block DNS' (sublayer 'Kilna') at "
                         "the connect layer (collector partial, local endpoint only).")

    def test_a_filter_not_described_is_named_by_its_id(self):
        trace = example()
        del trace["wfp"]["rules"][0]["lookupTimeUs"]
        trace["wfp"]["rules"][0] = {"filterId": "68411", "firstDropUs": T, "status": "pending"}
        self.assertEqual(verdict.sentences(trace)[2], "2 drops by filter 68411 (pending) at the connect layer.")


class RefusesAnInvalidDocument(unittest.TestCase):
    def run_tool(self, text):
        with tempfile.TemporaryDirectory() as folder:
            trace = pathlib.Path(folder, "t.dns-trace.json")
            trace.write_text(text, encoding="utf-8")
            result = subprocess.run([sys.executable, str(TOOL), str(trace)], capture_output=True, text=True)
            return result, pathlib.Path(folder, "t.dns-trace.html").exists()

    def test_each_names_its_first_problem(self):
        unknown_event = example()
        unknown_event["events"][1]["id"] = 3012
        out_of_order = example()
        out_of_order["wfp"] = dict(reversed(list(out_of_order["wfp"].items())))
        invalid = "not a valid DNS trace document: "
        cases = [(json.dumps(unknown_event), invalid + "events/1/id: 3012 is not one of [3009, "),
                 (json.dumps(out_of_order), invalid + "wfp: members out of order: "),
                 (json.dumps({"events": []}), invalid + "(root): 'dropped' is a required property"),
                 ('{"events":[', "not JSON: "),
                 ("", "not JSON: ")]
        for text, message in cases:
            with self.subTest(message=message):
                result, written = self.run_tool(text)
                self.assertEqual(result.returncode, 1)
                self.assertIn(f"t.dns-trace.json: {message}", result.stderr)
                self.assertFalse(written)

    def test_the_reason_is_whole_and_names_the_member_at_fault(self):
        long_id, other_server = example(), example()
        long_id["wfp"]["rules"][0]["filterId"] = "9" * 300
        long_direction = example()
        long_direction["wfp"]["events"][1]["direction"] = "in" * 150
        # A capture that reports itself unavailable is still a capture, not the bare "no capture" object.
        other_server["orvPackets"].update(status="unavailable", errorCode=5, serverAddress="172.19.0.3")
        invalid = "not a valid DNS trace document: "
        cases = [(long_id, invalid + "wfp/rules/0/filterId: '" + "9" * 48 + "'... (300 characters) is not a "
                  "64-bit id as a decimal string, at most 2^64-1"),
                 (long_direction, invalid + "wfp/events/1/direction: '" + "in" * 24 + "'... (300 characters) is not "
                  "one of ['outbound', 'inbound', 'forward', 'unknown']"),
                 (other_server, invalid + "orvPackets/serverAddress: '172.19.0.2' was expected")]
        for trace, message in cases:
            with self.subTest(message=message):
                result, written = self.run_tool(json.dumps(trace))
                self.assertEqual((result.returncode, result.stderr.splitlines()[-1].split(".json: ", 1)[1], written),
                                 (1, message, False))

    def test_no_input_ends_in_a_traceback(self):
        for depth in (900, 100_000):
            with self.subTest(depth=depth):
                result, written = self.run_tool('{"events":' + "[" * depth + "]" * depth + "}")
                self.assertEqual((result.returncode, len(result.stderr.splitlines()), written), (1, 1, False))
                self.assertNotIn("Traceback", result.stderr)

    def test_a_valid_document_is_written_beside_it(self):
        result, written = self.run_tool(EXAMPLE.read_text(encoding="utf-8"))
        self.assertEqual((result.returncode, result.stderr, written), (0, "", True))

    def test_the_checks_are_the_published_schema(self):
        trace = example()
        trace["orvPackets"]["serverAddress"] = "172.19.0.3"
        with self.assertRaisesRegex(document.InvalidTrace, "^not a valid DNS trace document: orvPackets/serverAddress: "
                                    "'172.19.0.2' was expected$"):
            document.check(copy.deepcopy(trace))


class ChecksTheArchive(unittest.TestCase):
    """The check scripts/test runs on what the Windows pass archived."""

    def check(self, files):
        with tempfile.TemporaryDirectory() as folder:
            for name, text in files.items():
                pathlib.Path(folder, name).write_text(text, encoding="utf-8")
            found = [where.rsplit("/", 1)[-1] for where, _ in trace_report_archive.archived(pathlib.Path(folder))]
            with contextlib.redirect_stdout(io.StringIO()) as out:
                code = trace_report_archive.main(["trace_report_archive.py", folder])
            return found, code, out.getvalue()

    def test_documents_and_transcripts(self):
        text = EXAMPLE.read_text(encoding="utf-8")
        finish = {"op": "ffi", "name": "OrvDnsTraceFinish", "result": 0, "out": {"written": len(text), "buffer": text}}
        refused = {"op": "ffi", "name": "OrvDnsTraceFinish", "result": 6, "out": {"written": 0, "buffer": ""}}
        found, code, _ = self.check({"1.dns-trace.json": text, "2.proxy.json": "{}",
                                     "run.jsonl": json.dumps(finish) + "\n" + json.dumps(refused) + "\n{cut"})
        self.assertEqual((found, code), (["1.dns-trace.json", "run.jsonl:1"], 0))

    def test_an_invalid_document_fails_the_check(self):
        trace = example()
        trace["wfp"]["status"] = "seen"
        _, code, out = self.check({"1.dns-trace.json": json.dumps(trace)})
        self.assertEqual(code, 1)
        self.assertIn("1.dns-trace.json: refused: not a valid DNS trace document: wfp", out)

    def test_no_document_fails_the_check(self):
        _, code, out = self.check({})
        self.assertEqual(code, 1)
        self.assertIn("no DNS trace document was archived", out)


if __name__ == "__main__":
    unittest.main()
