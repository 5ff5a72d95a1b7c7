"""What every trace report must be: well-formed, self-contained, one mark per event."""

import re
import xml.etree.ElementTree as ElementTree
from collections import Counter

SVG = "{http://www.w3.org/2000/svg}"


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
    marks = Counter(g.get("data-source") for svg in svgs for g in svg.iter(f"{SVG}g")
                    if "mark" in (g.get("class") or "").split())
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
    style = "".join(e.text or "" for e in root.iter("style"))
    if re.search(r"url\(|@import", style):
        found.append("the style loads something from outside")
    return found
