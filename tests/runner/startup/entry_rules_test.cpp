#include "runner/startup/entry_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

TEST(EntryRules, SetupFolders) {
  struct Row {
    const wchar_t* path;
    bool installer;
  };
  const Row rows[] = {
      {L"C:\\Downloads\\Tool-SETUP\\kilna.exe", true},
      {L"C:\\Downloads\\x-Setup\\kilna.exe", true},
      {L"C:\\-setup\\kilna.exe", true},
      {L"C:/Downloads/kilna-setup/kilna.exe", true},
      {L"-setup\\kilna.exe", true},
      {L"C:\\Downloads\\setup\\kilna.exe", false},
      {L"C:\\Downloads\\setup-x\\kilna.exe", false},
      {L"C:\\Downloads\\-SETUP.old\\kilna.exe", false},
      {L"kilna.exe", false},
      {L"\\kilna.exe", false},
      {L"/kilna.exe", false},
      {L"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsSetupFolderPath(row.path), row.installer) << row.path;
}

TEST(EntryRules, InstallerSwitchesAreExactAndCaseSensitive) {
  EXPECT_TRUE(IsInstallerSwitch(L"--install"));
  EXPECT_TRUE(IsInstallerSwitch(L"--installer"));
  for (const wchar_t* other : {L"--INSTALL", L"--install=1", L"-install", L"--installers", L"install", L""}) {
    EXPECT_FALSE(IsInstallerSwitch(other)) << other;
  }
}

TEST(EntryRules, FallbackEncoderWritesPairsAsFourBytesAndLoneSurrogatesAsThree) {
  EXPECT_EQ(EncodeUtf8Fallback(u"abc"), "abc");
  EXPECT_EQ(EncodeUtf8Fallback(u"\u00e9\u4e2d"), "\xc3\xa9\xe4\xb8\xad");
  EXPECT_EQ(EncodeUtf8Fallback(u"\U0001F600"), "\xf0\x9f\x98\x80");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC01, 0};
  EXPECT_EQ(EncodeUtf8Fallback(lone), "a\xed\xa0\x80" "b\xed\xb0\x81");
  const char16_t reversed[] = {0xDC00, 0xD800, 0};
  EXPECT_EQ(EncodeUtf8Fallback(reversed), "\xed\xb0\x80\xed\xa0\x80");
  EXPECT_EQ(EncodeUtf8Fallback(std::u16string_view(u"\0x", 2)), std::string("\0x", 2));
}

}  // namespace
}  // namespace orv
