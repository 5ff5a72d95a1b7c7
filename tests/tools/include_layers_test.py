#!/usr/bin/env python3
"""The product's folders include only downward, bar the listed exceptions."""
import os
import sys
import unittest

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))
import include_layers  # noqa: E402


class IncludeLayers(unittest.TestCase):
    def test_the_product_includes_only_downward(self):
        problems, met = include_layers.check(include_layers.product_sources(ROOT))
        self.assertEqual(problems, [])
        self.assertEqual(len(met), len(include_layers.UPWARD))

    def test_an_upward_or_sideways_include_is_reported(self):
        sources = {
            "native/common/a.h": '#include "native/proxy/b.h"\n',
            "native/user/c.cpp": '#include "native/dns/query/d.h"\n#include "native/common/a.h"\n',
            "runner/startup/e.cpp": '#include "runner/window/f.h"\n#include <windows.h>\n#include "flutter/g.h"\n',
        }
        problems, _ = include_layers.check(sources, upward={})
        self.assertEqual(len(problems), 2)
        self.assertIn("native/common/a.h: includes native/proxy/b.h", problems[0])
        self.assertIn("native/user/c.cpp: includes native/dns/query/d.h", problems[1])

    def test_a_folder_without_a_layer_is_reported(self):
        problems, _ = include_layers.check({"native/new/x.cpp": "", "runner/window/y.cpp": '#include "runner/z/z.h"'},
                                           upward={})
        self.assertEqual(problems, ["native/new/x.cpp: folder native/new has no layer",
                                    "runner/window/y.cpp: includes runner/z/z.h, whose folder has no layer"])

    def test_a_listed_exception_is_allowed_until_it_is_gone(self):
        upward = {("runner/window/w.cpp", "runner/startup/s.h"): "why"}
        self.assertEqual(include_layers.check({"runner/window/w.cpp": '#include "runner/startup/s.h"'}, upward),
                         ([], [("runner/window/w.cpp", "runner/startup/s.h")]))
        problems, _ = include_layers.check({"runner/window/w.cpp": ""}, upward)
        self.assertEqual(problems, ["runner/window/w.cpp: no longer includes runner/startup/s.h; "
                                    "drop it from the upward list"])


if __name__ == "__main__":
    unittest.main()
