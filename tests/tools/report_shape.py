"""What every trace report must be: well-formed, self-contained, every event in a mark.

A mark that stands for several events says how many (data-count); the
document's text never sets the direction of the page's own: every override
or embedding character lies inside a <bdi> or between isolate marks.
"""

import re
import xml.etree.ElementTree as ElementTree
from collections import Counter

SVG = "{http://www.w3.org/2000/svg}"
EMBEDDINGS = "\u202a\u202b\u202c\u202d\u202e"
INITIATORS, POP = "\u2066\u2067\u2068", "\u2069"


def unisolated(text):
    """The override and embedding characters of a text that stand outside any isolate."""
    depth, found = 0, []
    for ch in text or "":
        if ch in INITIATORS:
            depth += 1
        elif ch == POP and depth:
            depth -= 1
        elif ch in EMBEDDINGS and not depth:
            found.append(f"U+{ord(ch):04X}")
    return found


def _isolation(element, inside=False):
    """Where the document's text could turn the page's own text around."""
    tag = element.tag.rsplit("}", 1)[-1]
    inside = inside or tag == "bdi" or element.get("dir") == "auto"
    found = []
    if not inside and unisolated(element.text):
        found.append(f"<{tag}> text {element.text[:40]!r} is not isolated")
    for name, value in element.attrib.items():
        if unisolated(value):
            found.append(f"<{tag}> attribute {name} is not isolated")
    for child in element:
        found += _isolation(child, inside)
        if not inside and unisolated(child.tail):
            found.append(f"text after <{child.tag.rsplit('}', 1)[-1]}> is not isolated")
    return found


def expected_marks(document):
    packets = document["orvPackets"]
    return Counter({"client": len(document["events"]), "capture": len(packets.get("events", [])),
                    "drop": len(document["wfp"]["events"])})


def problems(document, page):
    """Why the page is not a sound report of the document; empty when it is."""
    if not page.startswith("<!DOCTYPE html>\n"):
        return ["the page does not start with an HTML doctype"]
    try:
        root = ElementTree.fromstring(page[len("<!DOCTYPE html>\n"):])
    except ElementTree.ParseError as error:
        return [f"not well-formed: {error}"]
    found = []
    svgs = root.findall(f".//{SVG}svg[@class='timeline']")
    if len(svgs) != 1:
        found.append(f"{len(svgs)} timelines instead of one")
    marks = Counter()
    for svg in svgs:
        for g in svg.iter(f"{SVG}g"):
            if "mark" in (g.get("class") or "").split():
                marks[g.get("data-source")] += int(g.get("data-count", "1"))
    want = expected_marks(document)
    for source in ("client", "capture", "drop"):
        if marks[source] != want[source]:
            found.append(f"{marks[source]} {source} mark(s) for {want[source]} event(s)")
    for svg in svgs:
        for g in svg.iter(f"{SVG}g"):
            if "mark" in (g.get("class") or "").split() and g.find(f"{SVG}title") is None:
                found.append("a mark without its hover title")
                break
    for element in root.iter():
        tag = element.tag.rsplit("}", 1)[-1]
        if tag in ("script", "link", "img", "iframe", "object", "embed", "image", "use"):
            found.append(f"an outside resource or script: <{tag}>")
        if any(name in element.attrib for name in ("src", "href")) or any(
                name.startswith("on") or name.endswith("}href") for name in element.attrib):
            found.append(f"a reference or handler on <{tag}>")
    found += _isolation(root)
    style = "".join(e.text or "" for e in root.iter("style"))
    if re.search(r"url\(|@import", style):
        found.append("the style loads something from outside")
    return found
