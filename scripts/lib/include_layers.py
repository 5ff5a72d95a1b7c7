#!/usr/bin/env python3
"""Which product folder may include which: each folder includes only its own
files and folders of a lower layer, with no exception.

    scripts/lib/include_layers.py [ROOT]    # every include that breaks a layer; exit 1 on any

Every form counts: quoted or in angle brackets, written from the top of the
tree, from include/ (as the compiler's include path has them), or relative to
the including file ("../startup/x.h", "x.h").
"""
import os
import posixpath
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
    ["runner/window_corner", "runner/ticket_picker"],
    ["runner/registration"],
    ["runner/window"],
    ["runner/startup"],
]

PRODUCT_ROOTS = ("include", "native", "runner")
# The folders on the compiler's include path, besides the including file's own.
INCLUDE_PATH = ("", "include")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)


def folder(path):
    return posixpath.dirname(path)


def rank_of(path):
    """The layer of a product file's folder, or None when its folder has none."""
    for rank, folders in enumerate(LAYERS):
        if folder(path) in folders:
            return rank
    return None


def is_product(path):
    return path.startswith(tuple(top + "/" for top in PRODUCT_ROOTS))


def resolve(path, included, quoted, sources):
    """The product file an include names, as the compiler finds it (a quoted
    include is looked for beside its file first), or None for one from outside
    the product (the SDK, the stand-in client's flutter/ headers)."""
    included = included.strip().replace("\\", "/")
    candidates = [posixpath.normpath(posixpath.join(folder(path), included))] if quoted else []
    candidates += [posixpath.normpath(posixpath.join(top, included)) for top in INCLUDE_PATH]
    for candidate in candidates:
        if candidate in sources:
            return candidate
    # A file that is not there still names its folder when it is written
    # relative to its includer or from the top of the tree.
    if quoted and included.startswith(("./", "../")):
        return candidates[0] if is_product(candidates[0]) else None
    normal = posixpath.normpath(included)
    return normal if is_product(normal) else None


def product_sources(root):
    """{repository path: text} of the product's C and C++ sources and headers."""
    sources = {}
    for top in PRODUCT_ROOTS:
        for here, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if name.endswith((".h", ".cpp", ".c")):
                    full = os.path.join(here, name)
                    with open(full, encoding="utf-8") as text:
                        sources[os.path.relpath(full, root).replace(os.sep, "/")] = text.read()
    return sources


def check(sources):
    """Problems: an include of a layer above or beside its file's, of a folder
    without a layer, or a file in a folder without one."""
    problems = []
    for path, text in sorted(sources.items()):
        rank = rank_of(path)
        if rank is None:
            problems.append(f"{path}: folder {folder(path)} has no layer")
            continue
        for mark, written in INCLUDE.findall(text):
            included = resolve(path, written, mark == '"', sources)
            if included is None or folder(included) == folder(path):
                continue
            target = rank_of(included)
            shown = included if included == written else f"{included} (as {mark}{written}{'>' if mark == '<' else mark})"
            if target is None:
                problems.append(f"{path}: includes {shown}, whose folder has no layer")
            elif target >= rank:
                problems.append(f"{path}: includes {shown}, a layer above or beside its own")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    problems = check(product_sources(root))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
