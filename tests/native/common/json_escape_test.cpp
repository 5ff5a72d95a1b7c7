#include "native/common/json_escape.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

std::string Quote(std::string_view utf8) {
  std::string out;
  AppendJsonQuotedUtf8(out, utf8);
  return out;
}

TEST(JsonEscape, EscapesQuoteBackslashAndLineFeedWithoutShortForms) {
  EXPECT_EQ(Quote("a\nb\"c\\d"), R"("a\u000ab\"c\\d")");
  EXPECT_EQ(Quote("\t\r\b\f"), R"("\u0009\u000d\u0008\u000c")");
}

TEST(JsonEscape, EveryControlByteUsesFourLowercaseHexDigits) {
  for (int byte = 0; byte < 0x20; ++byte) {
    const std::string input(1, static_cast<char>(byte));
    char expected[16];
    std::snprintf(expected, sizeof expected, "\"\\u%04x\"", byte);
    EXPECT_EQ(Quote(input), expected) << "byte " << byte;
  }
  EXPECT_EQ(Quote(std::string_view("\x00", 1)), R"("\u0000")");
}

TEST(JsonEscape, CopiesSlashDelAndMultiByteSequences) {
  EXPECT_EQ(Quote("C:/x\x7f"), "\"C:/x\x7f\"");
  const std::string cjk = "C:\\Users\\\xe5\xbc\xa0\xe4\xb8\x89";  // two CJK characters
  EXPECT_EQ(Quote(cjk), "\"C:\\\\Users\\\\\xe5\xbc\xa0\xe4\xb8\x89\"");
  EXPECT_EQ(Quote("\xef\xbf\xbd"), "\"\xef\xbf\xbd\"");
}

TEST(JsonEscape, EmptyValueIsTwoQuotesAndAppendKeepsPrefix) {
  EXPECT_EQ(Quote(""), "\"\"");
  std::string json = "{\"k\":";
  AppendJsonQuotedUtf8(json, "v");
  EXPECT_EQ(json, "{\"k\":\"v\"");
}

}  // namespace
}  // namespace orv
