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

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "tools"), str(pathlib.Path(__file__).parent)]
import report_shape  # noqa: E402
import trace_report_archive  # noqa: E402
from trace_report import document, report_page, trace_model, verdict  # noqa: E402

TOOL = ROOT / "tools" / "trace-report"
EXAMPLE = ROOT / "tools" / "trace_report" / "example.dns-trace.json"
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


T = example()["orvPackets"]["windows"][0]["startedUs"]
QUERY, REPLY = "orvInterfaceQuery", "orvInterfaceReply"


class RendersEveryDocument(unittest.TestCase):
    def assert_sound(self, trace):
        page = report_page.render(document.check(trace), "test")
        self.assertEqual(report_shape.problems(trace, page), [])
        return page

    def test_the_example_and_the_samples(self):
        for trace in [example()] + samples():
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

    def test_a_document_without_any_time(self):
        page = self.assert_sound(samples()[1])
        self.assertIn("nothing in the document carries a time", page)

    def test_times_past_any_calendar_date_are_shown_as_numbers(self):
        self.assertEqual(report_page._utc(2**64 - 2), f"{2**64 - 2} \u00b5s after 1970-01-01 UTC")


class JoinsRepliesToQueries(unittest.TestCase):
    def test_by_transaction_id_not_by_order(self):
        events = [capture_event(T + 10, QUERY, 100), capture_event(T + 20, QUERY, 200),
                  capture_event(T + 30, REPLY, 100, response_code=0),
                  capture_event(T + 40, REPLY, 300, response_code=3)]
        answered, orphans = trace_model.join_capture(events)
        self.assertEqual(answered, {0: 2})
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
        self.assertEqual(verdict.sentences(example()), [
            "The DNS client sent 2 queries to 172.19.0.2 through interface 7; no response came back; "
            "it finished with status 1460 (timeout).",
            "Nothing for the name passed the accelerator adapter, watched on interface 7.",
            "2 drops by filter 'Block DNS' (sublayer 'Kilna') at the connect layer."])

    def test_replies_on_the_adapter(self):
        events = [capture_event(T + 10, QUERY, 100), capture_event(T + 20, QUERY, 200),
                  capture_event(T + 30, REPLY, 100, response_code=3),
                  capture_event(T + 40, REPLY, 300, response_code=0)]
        self.assertEqual(verdict.sentences(with_packets(events))[1],
                         "2 queries left through interface 7; 1 reply (NXDOMAIN), 1 without a reply; "
                         "1 reply without a recorded query.")

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
        self.assertEqual(verdict.sentences(trace)[2], "2 drops by filter 'Block DNS' (sublayer 'Kilna') at the "
                         "connect layer (collector partial, local endpoint only).")

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
