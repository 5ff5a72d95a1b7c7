// The path and name rules of the protected directories.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/user/protected_paths.h"

namespace orv {
namespace {

TEST(ProtectedPaths, NamesAreShortAndOfTheSafeAlphabet) {
  EXPECT_TRUE(IsValidProtectedName(L"aZ09-_"));
  EXPECT_TRUE(IsValidProtectedName(std::wstring(64, L'x')));
  for (const std::wstring& name : {std::wstring(65, L'x'), std::wstring(), std::wstring(L"."), std::wstring(L".."),
                                   std::wstring(L"a b"), std::wstring(L"a\\b"), std::wstring(L"a/b"),
                                   std::wstring(L"a:b"), std::wstring(L"\u00e9"), std::wstring(L"a\0b", 3)}) {
    EXPECT_FALSE(IsValidProtectedName(name)) << name.size();
  }
}

TEST(ProtectedPaths, AbsoluteMeansADriveRootOrARootName) {
  EXPECT_TRUE(IsAbsolutePath(L"C:\\ProgramData"));
  EXPECT_TRUE(IsAbsolutePath(L"c:/ProgramData"));
  EXPECT_TRUE(IsAbsolutePath(L"\\\\server\\share"));
  EXPECT_TRUE(IsAbsolutePath(L"//server/share"));
  EXPECT_FALSE(IsAbsolutePath(L"C:ProgramData"));
  EXPECT_FALSE(IsAbsolutePath(L"\\ProgramData"));
  EXPECT_FALSE(IsAbsolutePath(L"\\\\\\x"));
  EXPECT_FALSE(IsAbsolutePath(L"ProgramData"));
  EXPECT_FALSE(IsAbsolutePath(L"1:\\x"));
  EXPECT_FALSE(IsAbsolutePath(L""));
}

TEST(ProtectedPaths, ParentTreatsBothSeparatorsAlikeAndTrimsTrailingOnes) {
  const struct {
    std::wstring path, parent;
  } rows[] = {
      {L"C:\\a\\b", L"C:\\a"},     {L"C:\\a\\b\\\\", L"C:\\a"}, {L"C:/a/b/", L"C:/a"},
      {L"C:\\a/\\b", L"C:\\a"},    {L"C:\\a", L"C:"},           {L"C:", L""},
      {L"\\\\s\\sh\\d", L"\\\\s\\sh"}, {L"", L""},
  };
  for (const auto& row : rows) EXPECT_EQ(ParentPath(row.path), row.parent) << row.path.size();
}

TEST(ProtectedPaths, ChainRunsFromThePathUpToItsRoot) {
  EXPECT_EQ(PathChain(L"C:\\ProgramData\\KilnaElevatedWork\\"),
            (std::vector<std::wstring>{L"C:\\ProgramData\\KilnaElevatedWork", L"C:\\ProgramData", L"C:"}));
  EXPECT_EQ(PathChain(L"Z:/work//x"), (std::vector<std::wstring>{L"Z:/work//x", L"Z:/work", L"Z:"}));
  EXPECT_TRUE(PathChain(L"").empty());
}

}  // namespace
}  // namespace orv
