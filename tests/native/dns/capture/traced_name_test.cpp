#include "native/dns/capture/traced_name.h"

#include <gtest/gtest.h>

#include <string>

namespace orv::dns {
namespace {

TEST(TracedName, LengthCountsAfterOneTrailingDot) {
  const std::u16string name253(253, u'a');
  EXPECT_EQ(TracedName(name253 + u"."), std::string(253, 'a'));
  EXPECT_EQ(TracedName(name253), std::string(253, 'a'));
  EXPECT_EQ(TracedName(name253 + u"a"), std::nullopt);
  EXPECT_EQ(TracedName(u"."), std::nullopt);
  EXPECT_EQ(TracedName(u""), std::nullopt);
  // Only one dot goes.
  EXPECT_EQ(TracedName(u"a.."), "a.");
}

TEST(TracedName, LowerCasesAndKeepsHostCharacters) {
  EXPECT_EQ(TracedName(u"WWW.Example.COM."), "www.example.com");
  EXPECT_EQ(TracedName(u"az-09.AZ"), "az-09.az");
  EXPECT_EQ(TracedName(L"Host.Test."), "host.test");
}

TEST(TracedName, RefusesEveryOtherUnit) {
  for (const std::u16string name :
       {u"a_b", u"a b", u"caf\u00e9", u"\u0161", u"a@b", u"a/b", u"\u0130", u"a\uff0eb"}) {
    EXPECT_EQ(TracedName(name), std::nullopt) << std::string(name.begin(), name.end());
  }
  EXPECT_EQ(TracedName(std::u16string_view(u"a\0b", 3)), std::nullopt);
  // 0x161 would read as 'a' if a unit were narrowed to its low byte.
  EXPECT_EQ(TracedName(L"\u0161"), std::nullopt);
}

}  // namespace
}  // namespace orv::dns
