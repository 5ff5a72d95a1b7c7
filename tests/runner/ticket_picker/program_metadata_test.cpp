// The program metadata reader on real files, shortcuts and version resources.

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "native/common/com_ptr.h"
#include "runner/ticket_picker/program_metadata.h"
#include "tests/runner/ticket_picker/reader_fixtures.h"
#include "tests/support/process.h"

namespace orv {
namespace {

using test::BinaryFolder;

// A folder laid out the way a user's machine might have it.
class ProgramFolder : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new test::TempFolder();
    const std::wstring described = BinaryFolder() + L"\\" + test::kDescribedProgram;
    const std::wstring bare = BinaryFolder() + L"\\" + test::kBareProgram;
    for (const wchar_t* name : {L"X.EXE", L"a,b.exe", L"app.exe", L"x.exe.txt"}) {
      ASSERT_TRUE(::CopyFileW(described.c_str(), Path(name).c_str(), FALSE));
    }
    ASSERT_TRUE(::CopyFileW(bare.c_str(), Path(L"noversion.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(bare.c_str(), Path(L"program").c_str(), FALSE));
    for (const wchar_t* name : {L"dir.exe", L"dir", L"my.folder"}) {
      ASSERT_TRUE(::CreateDirectoryW(Path(name).c_str(), nullptr));
    }
    ASSERT_TRUE(::CopyFileW(bare.c_str(), Path(L"my.folder\\program").c_str(), FALSE));
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  static std::wstring Path(const std::wstring& name) { return *folder_ / name; }

  ComInitScope com_{COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE};

 private:
  static test::TempFolder* folder_;
};

test::TempFolder* ProgramFolder::folder_ = nullptr;

void ExpectFailure(const ProgramMetadata& record, HRESULT status, const char* code, const char* message) {
  EXPECT_EQ(record.status, status);
  EXPECT_EQ(record.errorCode, code);
  EXPECT_EQ(record.errorMessage, message);
  EXPECT_TRUE(record.path.empty());
  EXPECT_TRUE(record.icon.empty());
}

TEST_F(ProgramFolder, RefusesWhatIsNotAnExistingExecutableFile) {
  constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  const char* kInvalidPath = "empty or invalid path; HRESULT=-2147024809";
  const char* kNotExe = "expected .exe; HRESULT=-2147024809";
  ASSERT_EQ(test::SaveShellShortcut(Path(L"empty.lnk"), L""), S_OK);
  struct Row {
    std::wstring input;
    HRESULT status;
    const char* code;
    const char* message;
  };
  const Row rows[] = {
      {L"", E_INVALIDARG, "invalid_file", kInvalidPath},
      {std::wstring(L"a\0b.exe", 7), E_INVALIDARG, "invalid_file", kInvalidPath},
      {Path(L"x.exe.txt"), E_INVALIDARG, "invalid_file", kNotExe},
      {Path(L"program"), E_INVALIDARG, "invalid_file", kNotExe},
      {Path(L"my.folder\\program"), E_INVALIDARG, "invalid_file", kNotExe},
      {Path(L"dir.exe"), E_INVALIDARG, "invalid_file", "selected path is a directory; HRESULT=-2147024809"},
      {Path(L"dir"), E_INVALIDARG, "invalid_file", kNotExe},
      {Path(L"nothere.exe"), kNotFound, "file_unavailable", "GetFileAttributesW; HRESULT=-2147024894"},
      {Path(L"a,b.exe"), E_INVALIDARG, "invalid_process_name", "comma in executable name; HRESULT=-2147024809"},
      {Path(L"empty.lnk"), kNotFound, "shortcut_failed", "IShellLinkW::GetPath; HRESULT=-2147024894"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(test::Narrow(row.input));
    ExpectFailure(ReadProgramMetadata(row.input), row.status, row.code, row.message);
  }
}

TEST_F(ProgramFolder, NamesAProgramAfterItsFirstNonBlankListedDescription) {
  const ProgramMetadata record = ReadProgramMetadata(Path(L"X.EXE"));
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_TRUE(record.errorCode.empty());
  EXPECT_TRUE(record.errorMessage.empty());
  EXPECT_EQ(record.path, Path(L"X.EXE"));
  EXPECT_EQ(record.executableName, L"X.EXE");
  EXPECT_EQ(record.name, L"Second description");
  EXPECT_TRUE(record.warnings.empty());
  EXPECT_FALSE(record.icon.empty());
}

TEST_F(ProgramFolder, NamesAProgramWithoutDescriptionAfterItsFile) {
  const ProgramMetadata bare = ReadProgramMetadata(Path(L"noversion.exe"));
  ASSERT_EQ(bare.status, S_OK) << bare.errorMessage;
  EXPECT_EQ(bare.name, L"noversion");
  EXPECT_EQ(bare.warnings, (std::vector<std::string>{kDescriptionUnavailableWarning, kIconUnavailableWarning}));

  // A description in a block the translation table does not list is not used.
  const std::wstring unlisted = BinaryFolder() + L"\\" + test::kUnlistedDescriptionProgram;
  const ProgramMetadata record = ReadProgramMetadata(unlisted);
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_EQ(record.name, L"reader_unlisted_description_program");
  ASSERT_FALSE(record.warnings.empty());
  EXPECT_EQ(record.warnings.front(), kDescriptionUnavailableWarning);
}

TEST_F(ProgramFolder, ARelativePathBecomesTheFullPath) {
  wchar_t previous[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(Path(L"my.folder").c_str()));
  const ProgramMetadata record = ReadProgramMetadata(L"..\\X.EXE");
  ::SetCurrentDirectoryW(previous);
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_EQ(record.path, Path(L"X.EXE"));
}

TEST_F(ProgramFolder, AShortcutGivesItsTargetsFullPath) {
  ASSERT_EQ(test::SaveShellShortcut(Path(L"App.LNK"), Path(L"app.exe")), S_OK);
  const ProgramMetadata record = ReadProgramMetadata(Path(L"App.LNK"));
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_EQ(record.path, Path(L"app.exe"));
  EXPECT_EQ(record.executableName, L"app.exe");
  EXPECT_EQ(record.name, L"Second description");
}

TEST_F(ProgramFolder, AShortcutTargetIsExpandedInThisProcess) {
  ASSERT_TRUE(test::WriteEnvironmentShortcut(Path(L"env.lnk"), L"%KILNA_READER_TEST%\\app.exe"));
  // A relative step in the variable: the full path is taken after the expansion.
  ASSERT_TRUE(::SetEnvironmentVariableW(L"KILNA_READER_TEST", (Path(L"dir") + L"\\..").c_str()));
  const ProgramMetadata record = ReadProgramMetadata(Path(L"env.lnk"));
  ::SetEnvironmentVariableW(L"KILNA_READER_TEST", nullptr);
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_EQ(record.path, Path(L"app.exe"));
}

}  // namespace
}  // namespace orv
