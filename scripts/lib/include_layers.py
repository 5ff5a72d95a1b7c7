#!/usr/bin/env python3
"""Which product folder may include which: each folder includes only folders
of a lower layer, itself, and the few upward includes listed here with why.

    scripts/lib/include_layers.py [ROOT]    # the upward includes; exit 1 on any not listed
"""
import os
import re
import sys

# Lowest first. A folder not listed here is an error: a new folder takes a layer.
LAYERS = [
    ["include/kilna"],
    ["native/common"],
    ["native/user", "native/dns/query", "native/dns/capture", "native/dns/wfp"],
    ["native/proxy", "native/dns/trace"],
    ["runner/diagnostics"],
    ["runner/renderer", "runner/logging"],
    ["runner/registration"],
    ["runner/window_corner", "runner/ticket_picker"],
    ["runner/window"],
    ["runner/startup"],
]

# (including file, included file): why it stays.
UPWARD = {
    ("runner/window/win32_window.cpp", "runner/startup/entry_rules.h"):
        "the window's placement and DPI scaling are portable entry decisions, "
        "tested on the host with the rest of them",
}

PRODUCT_ROOTS = ("include", "native", "runner")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder(path):
    return os.path.dirname(path)


def rank_of(path):
    """The layer of a product file's folder, or None when its folder has none."""
    for rank, folders in enumerate(LAYERS):
        if folder(path) in folders:
            return rank
    return None


def product_sources(root):
    """{repository path: text} of the product's C and C++ sources and headers."""
    sources = {}
    for top in PRODUCT_ROOTS:
        for here, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if name.endswith((".h", ".cpp", ".c")):
                    full = os.path.join(here, name)
                    with open(full, encoding="utf-8") as text:
                        sources[os.path.relpath(full, root)] = text.read()
    return sources


def check(sources, upward=None):
    """(problems, upward includes met): problems name an unlisted upward include,
    a folder without a layer, or a listed upward include that no longer exists."""
    upward = UPWARD if upward is None else upward
    problems, met = [], []
    for path, text in sorted(sources.items()):
        rank = rank_of(path)
        if rank is None:
            problems.append(f"{path}: folder {folder(path)} has no layer")
            continue
        for included in INCLUDE.findall(text):
            if not included.startswith(tuple(top + "/" for top in PRODUCT_ROOTS)):
                continue  # the stand-in client's flutter/ headers, the SDK
            if folder(included) == folder(path):
                continue
            target = rank_of(included)
            if target is not None and target < rank:
                continue
            if (path, included) in upward:
                met.append((path, included))
            elif target is None:
                problems.append(f"{path}: includes {included}, whose folder has no layer")
            else:
                problems.append(f"{path}: includes {included}, a layer above or beside its own")
    for stale in sorted(set(upward) - set(met)):
        problems.append(f"{stale[0]}: no longer includes {stale[1]}; drop it from the upward list")
    return problems, met


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    problems, met = check(product_sources(root))
    for path, included in met:
        print(f"upward: {path} -> {included}: {UPWARD[(path, included)]}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
