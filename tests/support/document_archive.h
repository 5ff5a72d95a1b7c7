#pragma once
// Test support: scripts/test names a folder in KILNA_TRANSCRIPT_ARCHIVE, and
// what the tests produce is kept there, so that every JSON document in it can
// be checked against its published schema after the tests
// (tools/interface/validate_documents.py). Without the variable nothing is kept.

#include <string>

namespace orv::test {

// One kilna.exe transcript, as NNN.jsonl.
void ArchiveTranscript(const std::string& transcript);

// One whole document, as NNN.KIND.json; KIND names its schema
// (docs/schemas/KIND.schema.json).
void ArchiveDocument(const std::string& kind, const std::string& document);

}  // namespace orv::test
