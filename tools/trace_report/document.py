"""Reading a DNS trace document and refusing one the published schema refuses."""

import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "interface"))
import document_schemas  # noqa: E402


class InvalidTrace(Exception):
    """The document is not a DNS trace document; the message names the first problem."""


def check(document):
    """The parsed document, or InvalidTrace naming its first schema violation."""
    problem = document_schemas.first_problem(document_schemas.load_validators()["dns-trace"], document)
    if problem:
        raise InvalidTrace(f"not a valid DNS trace document: {problem}")
    return document


def parse(text):
    try:
        document = json.loads(text)
    except ValueError as error:
        raise InvalidTrace(f"not JSON: {error}") from None
    return check(document)


def load(path):
    try:
        text = pathlib.Path(path).read_text(encoding="utf-8")
    except UnicodeDecodeError as error:
        raise InvalidTrace(f"not UTF-8 text: {error}") from None
    return parse(text)
