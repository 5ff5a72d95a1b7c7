"""Text from the document on the page: shown whole, isolated from the page's direction.

A document may carry any text JSON can hold: right-to-left and override
characters in a filter's name, or a lone surrogate escape, which no page
encoding can write. Such text is kept apart from our own sentences: in HTML
inside <bdi>, in hover titles (plain text) between the isolate marks
U+2068 and U+2069, which a renderer treats as <bdi> does.
"""

import re
from html import escape

_LONE_SURROGATE = re.compile("[\ud800-\udfff]")
FIRST_STRONG_ISOLATE, POP_ISOLATE = "\u2068", "\u2069"
_INITIATORS = ("\u2066", "\u2067", FIRST_STRONG_ISOLATE)  # left-to-right, right-to-left, first strong
LONG = 120  # characters of a name shown before it is cut
WRAPPED = 40  # a word this long may break anywhere, not only at spaces


def shown(value):
    """Any value as text a page can hold: a lone surrogate becomes its JSON escape."""
    return _LONE_SURROGATE.sub(lambda m: f"\\u{ord(m.group()):04x}", str(value))


def _balanced(text):
    """The text with its own isolates closed, so that it can never end ours early."""
    out, depth = [], 0
    for ch in text:
        if ch in _INITIATORS:
            depth += 1
        elif ch == POP_ISOLATE:
            if depth:
                depth -= 1
            else:
                out.append(FIRST_STRONG_ISOLATE)  # a stray pop closes an isolate of its own
        out.append(ch)
    return "".join(out) + POP_ISOLATE * depth


def isolated(value):
    """Plain text of a document value, for sentences and hover titles: between isolate marks."""
    return f"{FIRST_STRONG_ISOLATE}{_balanced(shown(value))}{POP_ISOLATE}"


def html(sentence):
    """HTML of a plain-text sentence of ours: escaped, each isolated value as a <bdi>."""
    out, depth = [], 0
    for ch in sentence:
        if ch in _INITIATORS:
            depth += 1
            if depth == 1:
                out.append("<bdi>")
                continue
        elif ch == POP_ISOLATE and depth:
            depth -= 1
            if depth == 0:
                out.append("</bdi>")
                continue
        out.append(escape(ch))
    return "".join(out) + "</bdi>" * (1 if depth else 0)


def bdi(value, limit=LONG):
    """HTML of a document value: isolated, and cut to `limit` characters with the whole in its title."""
    text = _balanced(shown(value))
    if limit and len(text) > limit:
        return (f'<bdi class="long cut" title="{escape(isolated(text))}">{escape(text[:limit - 1])}'
                '<span class="more">\u2026</span></bdi>')
    if any(len(word) > WRAPPED for word in text.split()):
        return f'<bdi class="long">{escape(text)}</bdi>'
    return f"<bdi>{escape(text)}</bdi>"
