#!/usr/bin/env python3
"""Which tests `scripts/test PATTERN` runs (scripts/lib/test_selection.py)."""
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

SELECTION = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "lib", "test_selection.py")
sys.path.insert(0, os.path.dirname(SELECTION))
import test_selection  # noqa: E402

WINE = "/usr/lib/wine/wine64"

PROXY_RULES = """
TEST(ProxyRules, IsClean) {}
TEST(ProxyRules, NextTicket) {}
TEST_F(Journal, KeepsTheUsersSettings) {}
"""
STORE = """
TEST_F(ProxyStore, ReadsTheOptions) {}
TEST_P(ProxySafety,
       RestoresThePac) {}
TEST_P(ProxySafety, KeepsTheBypass) {}
"""
CAPTURE_WINE = """
TEST(RealAdapterTable, WithoutTheAdapterTheCaptureKeepsLooking) {}
TEST(RealAdapterTable, TheAdapterIsFound) {}
"""


class Selection(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.addCleanup(self.root.cleanup)
        self.host = self.build("host", {
            "native_proxy_host_tests": {"proxy_rules_test.cpp": PROXY_RULES},
        }, [
            {"name": "native_proxy_host_tests", "command": ["BIN/native_proxy_host_tests"]},
            {"name": "native_dns_capture_real_traffic", "command": ["real_traffic_test.sh"],
             "properties": [{"name": "LABELS", "value": ["netns"]}]},
            {"name": "tools_count_tests", "command": ["/usr/bin/python3", "count_tests_test.py"]},
        ])
        self.windows = self.build("windows", {
            "native_proxy_tests": {"proxy_store_test.cpp": STORE},
            "native_dns_capture_wine_tests": {"capture_wine_test.cpp": CAPTURE_WINE},
        }, [
            {"name": "native_proxy_tests", "command": [WINE, "BIN/native_proxy_tests.exe"]},
            {"name": "native_dns_capture_real_no_adapter",
             "command": [WINE, "BIN/native_dns_capture_wine_tests.exe",
                         "--gtest_filter=RealAdapterTable.WithoutTheAdapterTheCaptureKeepsLooking"],
             "properties": [{"name": "LABELS", "value": ["netns"]}]},
            {"name": "runner_window_corner_dpi144_tests", "command": [WINE, "BIN/corner.exe"],
             "properties": [{"name": "LABELS", "value": ["dpi144"]}]},
            {"name": "interface_exports_header", "command": ["/usr/bin/python3", "check_exports.py"]},
            {"name": "interface_reference_current", "command": ["/usr/bin/python3", "reference.py"],
             "properties": [{"name": "LABELS", "value": ["wine", "netns"]}]},
        ])

    def build(self, preset, programs, tests):
        """A build folder with its programs' source listings, and its ctest listing."""
        build = os.path.join(self.root.name, preset)
        sources = os.path.join(self.root.name, "src", preset)
        os.makedirs(os.path.join(build, "test_programs"))
        os.makedirs(sources, exist_ok=True)
        for program, files in programs.items():
            for name, text in files.items():
                with open(os.path.join(sources, name), "w") as f:
                    f.write(text)
            with open(os.path.join(build, "test_programs", program + ".sources"), "w") as f:
                f.write(sources + "\n" + "\n".join(list(files) + ["not_a_source.rc"]) + "\n")
        for test in tests:
            test["command"] = [arg.replace("BIN", os.path.join(build, "bin")) for arg in test["command"]]
        listing = os.path.join(build, "tests.json")
        with open(listing, "w") as f:
            json.dump({"kind": "ctestInfo", "tests": tests}, f)
        return [preset, build, listing]

    def select(self, pattern):
        """(exit code, assignments, what standard error said)."""
        out, err = io.StringIO(), io.StringIO()
        code = test_selection.main([pattern] + self.host + self.windows, out, err)
        # The assignments as the shell sees them, in a shell without the ones
        # of a scripts/test run that may be running this test.
        names = ("host_whole host_cases host_filter windows_whole windows_cases windows_filter needs_wine "
                 "needs_netns needs_dpi144 checks")
        clean = {k: v for k, v in os.environ.items() if k not in names.split()}
        shell = subprocess.run(["bash", "-c", f'eval "$(cat)"; for v in {names}; do '
                                'printf "%s=%s\\n" "$v" "${!v-unset}"; done'],
                               input=out.getvalue(), capture_output=True, text=True, check=True, env=clean).stdout
        values = dict(line.split("=", 1) for line in shell.splitlines())
        return code, values, err.getvalue()

    def test_a_folder_name_selects_its_host_and_windows_tests_whole(self):
        code, values, said = self.select("PROXY")
        self.assertEqual(code, 0)
        self.assertEqual(values["host_whole"], "^(native_proxy_host_tests)$")
        self.assertEqual(values["windows_whole"], "^(native_proxy_tests)$")
        self.assertEqual(values["host_cases"] + values["windows_cases"] + values["host_filter"], "")
        self.assertEqual((values["needs_wine"], values["needs_netns"], values["needs_dpi144"]), ("1", "0", "0"))
        self.assertIn("windows: native_proxy_tests", said)

    def test_case_names_select_only_those_cases_of_their_program(self):
        code, values, said = self.select("isclean|keepsthebypass")
        self.assertEqual(code, 0)
        self.assertEqual((values["host_whole"], values["host_cases"]), ("", "^(native_proxy_host_tests)$"))
        self.assertEqual(values["host_filter"], "ProxyRules.IsClean")
        # A parameterised case runs under every instantiation and parameter.
        self.assertEqual(values["windows_cases"], "^(native_proxy_tests)$")
        self.assertEqual(values["windows_filter"], "*/ProxySafety.KeepsTheBypass/*")
        self.assertIn("native_proxy_tests (some cases)", said)

    def test_a_suite_whose_cases_all_match_is_filtered_whole(self):
        _, values, _ = self.select("^(ProxyRules|ProxySafety)$")
        self.assertEqual(values["host_filter"], "ProxyRules.*")
        self.assertEqual(values["windows_filter"], "*/ProxySafety.*")

    def test_a_program_whose_cases_all_match_runs_whole(self):
        _, values, _ = self.select("ProxyRules|Journal")
        self.assertEqual((values["host_whole"], values["host_cases"]), ("^(native_proxy_host_tests)$", ""))

    def test_a_run_with_its_own_filter_is_selected_by_its_own_cases_only(self):
        _, values, _ = self.select("WithoutTheAdapter")
        self.assertEqual(values["windows_whole"], "^(native_dns_capture_real_no_adapter)$")
        self.assertEqual(values["needs_netns"], "1")
        # Its program's other case is outside its own filter.
        code, _, said = self.select("TheAdapterIsFound")
        self.assertEqual((code, said.strip()), (1, "no test matches TheAdapterIsFound"))

    def test_wine_follows_the_emulator_or_the_label(self):
        _, values, _ = self.select("exports_header")
        self.assertEqual((values["windows_whole"], values["needs_wine"]), ("^(interface_exports_header)$", "0"))
        _, values, _ = self.select("reference_current")
        self.assertEqual((values["needs_wine"], values["needs_netns"]), ("1", "1"))
        _, values, _ = self.select("dpi144")
        self.assertEqual((values["needs_wine"], values["needs_dpi144"]), ("1", "1"))

    def test_the_checks_besides_ctest_are_selected_by_name(self):
        code, values, said = self.select("documents")
        self.assertEqual(code, 0)
        self.assertEqual(values["checks"], "interface_documents trace_report_documents")
        self.assertEqual(values["host_whole"] + values["windows_whole"], "")
        self.assertEqual(values["needs_wine"], "0")
        _, values, _ = self.select("static")
        self.assertEqual(values["checks"], "static_analysis")

    def test_a_pattern_that_selects_nothing_says_so_and_fails(self):
        code, values, said = self.select("nothingmatchesthis")
        self.assertEqual(code, 1)
        self.assertEqual(said.strip(), "no test matches nothingmatchesthis")
        self.assertEqual(values["host_whole"], "unset")

    def test_a_pattern_that_is_no_expression_is_plain_text(self):
        code, _, said = self.select("proxy(")
        self.assertEqual((code, said.strip()), (1, "no test matches proxy("))
        self.assertEqual(self.select("count_tests[")[0], 1)
        self.assertEqual(self.select("native_proxy_host")[0], 0)

    def test_the_command_line_prints_the_assignments(self):
        run = subprocess.run([sys.executable, SELECTION, "real_traffic"] + self.host + self.windows,
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0)
        self.assertIn("host_whole='^(native_dns_capture_real_traffic)$'", run.stdout)
        self.assertIn("needs_netns=1", run.stdout)
        run = subprocess.run([sys.executable, SELECTION, "nothingmatchesthis"] + self.host,
                             capture_output=True, text=True)
        self.assertEqual((run.returncode, run.stdout, run.stderr), (1, "", "no test matches nothingmatchesthis\n"))


if __name__ == "__main__":
    unittest.main()
