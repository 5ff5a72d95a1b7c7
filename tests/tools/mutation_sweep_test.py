"""The mutation sweep: its changes are the ones it names, a change the tests
catch counts as killed, one they miss is listed, and the source is always put
back as it was."""

import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "mutation"))

import sweep  # noqa: E402


def changes(operator, line):
    return [changed for _, changed in operator(line)]


class Operators(unittest.TestCase):
    def test_each_operator_makes_its_one_change(self):
        self.assertEqual(changes(sweep.equality_turned, "  return a == b;\n"), ["  return a != b;\n"])
        self.assertEqual(changes(sweep.bound_shifted, "  if (n < max) x();\n"), ["  if (n <= max) x();\n"])
        self.assertEqual(changes(sweep.and_or_swapped, "  ok = a && b;\n"), ["  ok = a || b;\n"])
        self.assertEqual(changes(sweep.condition_negated, "  if (f(x) && y) return 1;\n"),
                         ["  if (!(f(x) && y)) return 1;\n"])
        self.assertEqual(changes(sweep.condition_negated, "  if (const int e = f(); e != 0) return e;\n"),
                         ["  if (const int e = f(); !(e != 0)) return e;\n"])
        self.assertEqual(changes(sweep.call_dropped, "    store.Refresh(now);\n"), ["    (void)0;  // mutant\n"])
        self.assertEqual(changes(sweep.arguments_swapped, "  x = Pick(first, second);\n"),
                         ["  x = Pick(second, first);\n"])
        self.assertEqual(changes(sweep.release_dropped, "  ::CloseHandle(handle);\n"), ["  (void)0;  // mutant\n"])

    def test_what_is_not_a_change_is_left_alone(self):
        self.assertEqual(changes(sweep.call_dropped, "  return Refresh();\n"), [])
        self.assertEqual(changes(sweep.arguments_swapped, "  Same(a, a);\n"), [])
        self.assertEqual(changes(sweep.bound_shifted, "  std::vector<int> v;\n"), [])
        self.assertFalse(sweep.is_code("  // if (a == b) comment\n"))
        self.assertFalse(sweep.is_code("#include <a>\n"))


class Sweep(unittest.TestCase):
    def test_a_caught_change_is_killed_a_missed_one_listed_and_the_source_put_back(self):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "rule.cpp")
            original = "bool Rule(int a, int b) {\n  return a == b && a > 0;\n}\n"
            with open(source, "w", encoding="utf-8") as f:
                f.write(original)
            # The "tests" catch only the equality turned.
            test = f"! grep -q '!=' {source}"
            output = subprocess.run(
                [sys.executable, os.path.join(ROOT, "tools", "mutation", "sweep.py"), "--files", source, "--test", test],
                capture_output=True, text=True, check=True).stdout
            with open(source, encoding="utf-8") as f:
                self.assertEqual(f.read(), original)
        self.assertIn("'==' turned to '!=': killed", output)
        self.assertIn("'>' shifted to '>=': survived", output)
        self.assertIn(f"{folder}: 1/3 33% (0)", output)
        self.assertIn("survivors:", output)


if __name__ == "__main__":
    unittest.main()
