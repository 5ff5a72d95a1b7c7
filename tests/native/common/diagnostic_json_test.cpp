#include "native/common/diagnostic_json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Escaped(std::string_view bytes) {
  std::string out;
  orv::AppendDiagnosticEscaped(out, bytes);
  return out;
}

TEST(DiagnosticJson, EscapesQuoteAndBackslashAndHidesControlBytes) {
  EXPECT_EQ(Escaped("a\"b\\c"), "a\\\"b\\\\c");
  EXPECT_EQ(Escaped(std::string("\t\n\r\x1f\0x", 6)), "?????x");
  // Never a \u escape, and DEL, '/' and UTF-8 pass unchanged.
  EXPECT_EQ(Escaped("/\x7f\xc3\xa9\xe4\xb8\xad"), "/\x7f\xc3\xa9\xe4\xb8\xad");
}

TEST(DiagnosticJson, MembersBeginWithTheirComma) {
  std::string json = "{";
  orv::AppendStringMember(json, "name", "");
  orv::AppendUnsignedMember(json, "id", 18446744073709551615ULL);
  orv::AppendBoolMember(json, "on", false);
  orv::AppendStringMember(json, "k", "x\ty");
  EXPECT_EQ(json, "{,\"name\":\"\",\"id\":18446744073709551615,\"on\":false,\"k\":\"x?y\"");
}

}  // namespace
