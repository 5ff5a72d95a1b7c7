#!/usr/bin/env python3
"""The product's folders include only downward, whatever the form of the include."""
import os
import sys
import unittest

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))
import include_layers  # noqa: E402


class IncludeLayers(unittest.TestCase):
    def test_the_product_includes_only_downward(self):
        self.assertEqual(include_layers.check(include_layers.product_sources(ROOT)), [])

    def test_an_upward_or_sideways_include_is_reported(self):
        sources = {
            "native/common/a.h": '#include "native/proxy/b.h"\n',
            "native/user/c.cpp": '#include "native/dns/query/d.h"\n#include "native/common/a.h"\n',
            "runner/startup/e.cpp": '#include "runner/window/f.h"\n#include <windows.h>\n#include "flutter/g.h"\n',
        }
        problems = include_layers.check(sources)
        self.assertEqual(len(problems), 2)
        self.assertIn("native/common/a.h: includes native/proxy/b.h", problems[0])
        self.assertIn("native/user/c.cpp: includes native/dns/query/d.h", problems[1])

    def test_a_folder_without_a_layer_is_reported(self):
        problems = include_layers.check({"native/new/x.cpp": "", "runner/window/y.cpp": '#include "runner/z/z.h"'})
        self.assertEqual(problems, ["native/new/x.cpp: folder native/new has no layer",
                                    "runner/window/y.cpp: includes runner/z/z.h, whose folder has no layer"])

    def test_an_upward_include_in_angle_brackets_is_reported(self):
        sources = {
            "runner/startup/s.h": "",
            "include/kilna/k.h": "",
            "runner/window/w.cpp": "#include <runner/startup/s.h>\n#  include<kilna/k.h>\n#include <windows.h>\n",
            "native/common/c.cpp": "#include <runner/window/w.h>\n",
        }
        self.assertEqual(include_layers.check(sources), [
            "native/common/c.cpp: includes runner/window/w.h, a layer above or beside its own",
            "runner/window/w.cpp: includes runner/startup/s.h, a layer above or beside its own",
        ])

    def test_an_upward_include_relative_to_its_file_is_reported(self):
        sources = {
            "runner/startup/s.h": "",
            "runner/window/rules.h": "",
            "runner/window/w.cpp": '#include "../startup/s.h"\n#include "rules.h"\n#include "./rules.h"\n',
            "native/dns/wfp/p.cpp": '#include "../trace/t.h"\n#include "../../common/c.h"\n',
            "native/common/c.h": "",
        }
        self.assertEqual(include_layers.check(sources), [
            'native/dns/wfp/p.cpp: includes native/dns/trace/t.h (as "../trace/t.h"), a layer above or beside its own',
            'runner/window/w.cpp: includes runner/startup/s.h (as "../startup/s.h"), a layer above or beside its own',
        ])

    def test_a_quoted_include_is_found_beside_its_file_first(self):
        # "native/common/c.h" written inside runner/window/ names the folder's
        # own copy when there is one, as the compiler reads it.
        sources = {
            "runner/window/native/common/c.h": "",
            "runner/window/w.cpp": '#include "native/common/c.h"\n',
        }
        self.assertEqual(include_layers.check(sources), [
            "runner/window/native/common/c.h: folder runner/window/native/common has no layer",
            'runner/window/w.cpp: includes runner/window/native/common/c.h (as "native/common/c.h"), '
            "whose folder has no layer",
        ])


if __name__ == "__main__":
    unittest.main()
