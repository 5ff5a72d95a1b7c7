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

// The chain ends at the drive's root, "C:\\": a bare "C:" names the current
// directory on that drive, which may be anywhere or gone.
TEST(ProtectedPaths, ChainRunsFromThePathUpToItsRoot) {
  const struct {
    std::wstring path;
    std::vector<std::wstring> chain;
  } rows[] = {
      {L"C:\\ProgramData\\KilnaElevatedWork\\",
       {L"C:\\ProgramData\\KilnaElevatedWork", L"C:\\ProgramData", L"C:\\"}},
      {L"Z:/work//x", {L"Z:/work//x", L"Z:/work", L"Z:\\"}},
      {L"C:\\", {L"C:\\"}},
      {L"C:", {L"C:\\"}},
      {L"\\\\server\\share\\data\\x", {L"\\\\server\\share\\data\\x", L"\\\\server\\share\\data", L"\\\\server\\share"}},
      {L"//server//share/", {L"//server//share"}},
      {L"", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(PathChain(row.path), row.chain) << row.path.size();
}

}  // namespace
}  // namespace orv
