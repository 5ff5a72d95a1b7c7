// The protected directories end to end on real folders, with each
// directory's security supplied by the fake (Wine's never reads back as
// written): fresh start, repair, refusal, the setup-base fallback, the update
// cache's choice of base, and every path's clean-up.

#include <windows.h>

#include <objbase.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/common/com_ptr.h"
#include "native/common/unique_resource.h"
#include "native/user/directory_security.h"
#include "native/user/protected_dirs.h"
#include "native/user/sdk_additions_errors.h"
#include "tests/native/user/fake_directory_platform.h"
#include "tests/support/guarded_text.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

constexpr wchar_t kUserSid[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";
// ProgramData as Windows ships it: Users may add files, only administrators
// may take over what is there.
constexpr wchar_t kProgramDataSddl[] =
    L"O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)";
constexpr wchar_t kUsersMayWrite[] = L"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)";

std::wstring OrdinaryOwnerSddl() {
  return L"O:" + std::wstring(kUserSid) + L"G:" + kUserSid + L"D:P(A;OICI;FA;;;" + kUserSid + L")";
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

// An out string as the caller receives it, freed as the caller frees it.
struct OutPath {
  wchar_t* value = nullptr;
  ~OutPath() { ::CoTaskMemFree(value); }
  wchar_t** put() {
    ::CoTaskMemFree(value);
    value = nullptr;
    return &value;
  }
  std::wstring text() const { return value != nullptr ? value : L"<null>"; }
};

void* FailingAllocator(SIZE_T) { return nullptr; }

class ProtectedDirs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryW(programData_.c_str(), nullptr));
    fake_.setSecurity(programData_, kProgramDataSddl);
    context_.calls = FakeDirectoryPlatform::Calls();
    context_.facts = {programData_, true, kUserSid};
  }

  // Every open takes a reparse point as itself, never what it leads to.
  void TearDown() override { EXPECT_EQ(fake_.followingOpens(), 0); }

  // A folder as someone left it before this call, with the given security.
  void Existing(const std::wstring& path, const std::wstring& sddl) {
    ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << Narrow(path);
    fake_.setSecurity(path, sddl);
  }

  TempFolder root_;
  FakeDirectoryPlatform fake_;
  const std::wstring programData_ = root_ / L"ProgramData";
  const std::wstring workBase_ = programData_ + L"\\KilnaElevatedWork";
  const std::wstring legacyBase_ = programData_ + L"\\OrvElevatedWork";
  const std::wstring setupBase_ = programData_ + L"\\KilnaSetup";
  const std::wstring cache_ = workBase_ + L"\\update-cache-" + kUserSid;
  const std::wstring legacyCache_ = legacyBase_ + L"\\update-cache-" + kUserSid;
  ProtectedDirsContext context_;
  OutPath out_;
};

TEST_F(ProtectedDirs, NameRuleAndRequiredPointers) {
  const std::wstring longest(64, L'x');
  EXPECT_EQ(CreateProtectedTemp(context_, (L"aZ09-_" + longest.substr(6)).c_str(), out_.put()), ERROR_SUCCESS);
  for (const std::wstring& name : {std::wstring(65, L'x'), std::wstring(), std::wstring(L"."), std::wstring(L"a b"),
                                  std::wstring(L"a\\b"), std::wstring(L"a/b"), std::wstring(L"\u00e9"),
                                  std::wstring(L"..")}) {
    EXPECT_EQ(CreateProtectedTemp(context_, name.c_str(), out_.put()), static_cast<DWORD>(ERROR_INVALID_NAME))
        << Narrow(name);
    EXPECT_EQ(out_.value, nullptr);
  }
  wchar_t sentinel[] = L"kept";
  wchar_t* previous = sentinel;
  EXPECT_EQ(CreateProtectedTemp(context_, nullptr, &previous), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(previous, sentinel);
  EXPECT_EQ(CreateProtectedTemp(context_, L"work", nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetProtectedUpdateCache(context_, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Entries(workBase_).size(), 1u);  // only the first call made a directory

  // The name is read no further than one unit past the longest valid one.
  const GuardedText unterminated(std::wstring(65, L'x'));
  ASSERT_NE(unterminated.get(), nullptr);
  EXPECT_EQ(CreateProtectedTemp(context_, unterminated.get(), out_.put()), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(ProtectedDirs, FreshStartMakesTheWorkBaseAndANamedTemp) {
  ASSERT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(fake_.createdWith(workBase_), CanonicalSddl(kPlainProtectedSddl));
  const std::wstring path = out_.text();
  EXPECT_TRUE(std::regex_match(Narrow(path),
                               std::regex(std::regex_replace(Narrow(workBase_), std::regex(R"([\\.^$()\[\]{}+*?|])"),
                                                             R"(\$&)") +
                                          R"(\\work\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})")))
      << Narrow(path);
  EXPECT_NE(path.back(), L'\\');
  EXPECT_TRUE(IsDirectory(path));
  EXPECT_EQ(fake_.createdWith(path), CanonicalSddl(kPlainProtectedSddl));
  ComPtr<IMalloc> allocator;
  ASSERT_EQ(::CoGetMalloc(1, allocator.put()), S_OK);
  EXPECT_EQ(allocator->DidAlloc(out_.value), 1);

  OutPath second;
  ASSERT_EQ(CreateProtectedTemp(context_, L"work", second.put()), ERROR_SUCCESS);
  EXPECT_NE(second.text(), path);
  EXPECT_EQ(fake_.posixDeleteCalls() + fake_.classicDeleteCalls(), 0);
}

TEST_F(ProtectedDirs, AnEmptyWorkBaseThatUsersMayWriteIsMadeAgain) {
  // The POSIX delete's answer: the classic delete stands in only where the
  // system lacks the POSIX form (1, 50, 87); any other refusal is the outcome.
  const struct {
    DWORD posixAnswer;
    DWORD expected;
    int classicDeletes;
  } rows[] = {
      {ERROR_SUCCESS, ERROR_SUCCESS, 0},
      {ERROR_INVALID_FUNCTION, ERROR_SUCCESS, 1},
      {ERROR_NOT_SUPPORTED, ERROR_SUCCESS, 1},
      {ERROR_INVALID_PARAMETER, ERROR_SUCCESS, 1},
      {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, 0},
      {ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.posixAnswer);
    fake_.setPosixDeleteError(row.posixAnswer);
    Existing(workBase_, kUsersMayWrite);
    const int posixBefore = fake_.posixDeleteCalls(), classicBefore = fake_.classicDeleteCalls();
    ASSERT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), row.expected);
    EXPECT_EQ(fake_.posixDeleteCalls() - posixBefore, 1);
    EXPECT_EQ(fake_.classicDeleteCalls() - classicBefore, row.classicDeletes);
    if (row.expected == ERROR_SUCCESS) {
      EXPECT_EQ(fake_.createdWith(workBase_), CanonicalSddl(kPlainProtectedSddl));
      EXPECT_TRUE(IsDirectory(out_.text()));
      ASSERT_TRUE(::RemoveDirectoryW(out_.text().c_str()));
    } else {
      EXPECT_EQ(out_.value, nullptr);
      EXPECT_TRUE(Entries(workBase_).empty());
    }
    ASSERT_TRUE(::RemoveDirectoryW(workBase_.c_str()));
  }
}

TEST_F(ProtectedDirs, AWorkBaseThatUsersMayWriteAndHoldsAFileIsKeptAndRefused) {
  Existing(workBase_, kUsersMayWrite);
  ASSERT_TRUE(WriteWholeFile(workBase_ + L"\\planted.exe", "MZ"));
  EXPECT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(out_.value, nullptr);
  EXPECT_TRUE(IsDirectory(workBase_));
  EXPECT_EQ(ReadWholeFile(workBase_ + L"\\planted.exe"), std::optional<std::string>("MZ"));
}

TEST_F(ProtectedDirs, AWorkBaseOfAnOrdinaryOwnerIsNeverTouched) {
  Existing(workBase_, OrdinaryOwnerSddl());
  ASSERT_TRUE(WriteWholeFile(workBase_ + L"\\theirs.txt", "x"));
  EXPECT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetProtectedUpdateCache(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fake_.posixDeleteCalls() + fake_.classicDeleteCalls(), 0);
  EXPECT_EQ(Entries(workBase_), std::vector<std::wstring>{L"theirs.txt"});

  // An update still gets a directory: in the setup base.
  ASSERT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(out_.text().rfind(setupBase_ + L"\\kilna-update-{", 0), 0u) << Narrow(out_.text());
  EXPECT_EQ(fake_.createdWith(setupBase_), CanonicalSddl(kPlainProtectedSddl));
  EXPECT_EQ(fake_.createdWith(out_.text()), CanonicalSddl(kOwnerRestrictedSddl));
  EXPECT_EQ(Entries(workBase_), std::vector<std::wstring>{L"theirs.txt"});
}

TEST_F(ProtectedDirs, TheSetupBaseNeedsAProgramDataUsersCannotTakeOverAndTheExactDescriptor) {
  Existing(workBase_, OrdinaryOwnerSddl());
  fake_.setSecurity(programData_, L"O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;WD;;;BU)");
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(IsDirectory(setupBase_));

  fake_.setSecurity(programData_, kProgramDataSddl);
  Existing(setupBase_, L"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(out_.value, nullptr);
  EXPECT_TRUE(Entries(setupBase_).empty());
}

TEST_F(ProtectedDirs, UpdateTempsAreFreshAndOwnerRestricted) {
  OutPath second;
  ASSERT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), ERROR_SUCCESS);
  ASSERT_EQ(CreateProtectedUpdateTemp(context_, second.put()), ERROR_SUCCESS);
  EXPECT_NE(out_.text(), second.text());
  // The work base made by an update carries the owner-restricted descriptor too.
  EXPECT_EQ(fake_.createdWith(workBase_), CanonicalSddl(kOwnerRestrictedSddl));
  for (const std::wstring& path : {out_.text(), second.text()}) {
    EXPECT_EQ(path.rfind(workBase_ + L"\\kilna-update-{", 0), 0u) << Narrow(path);
    EXPECT_TRUE(IsDirectory(path));
    const std::wstring sddl = fake_.createdWith(path);
    EXPECT_EQ(sddl, CanonicalSddl(kOwnerRestrictedSddl));
    DWORD error = 0;
    const UniqueSecurityDescriptor descriptor = ParseSecurityDescriptor(sddl.c_str(), error);
    ASSERT_TRUE(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) && present && dacl);
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    ASSERT_EQ(dacl->AceCount, 3u);
    for (DWORD i = 0; i < 3; ++i) {
      void* ace = nullptr;
      ASSERT_TRUE(::GetAce(dacl, i, &ace));
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
      EXPECT_EQ(allowed->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
      if (::IsWellKnownSid(const_cast<DWORD*>(&allowed->SidStart), WinCreatorOwnerRightsSid)) {
        EXPECT_EQ(allowed->Mask, static_cast<ACCESS_MASK>(READ_CONTROL));
      }
    }
  }
}

TEST_F(ProtectedDirs, ANewUpdateDirectoryThatDoesNotVerifyIsRemoved) {
  fake_.answerCreatedWith(kPlainProtectedSddl);  // lacks the OWNER RIGHTS entry
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(out_.value, nullptr);
  // Both ways were tried, and neither left a directory behind.
  EXPECT_TRUE(IsDirectory(workBase_));
  EXPECT_TRUE(IsDirectory(setupBase_));
  EXPECT_TRUE(Entries(workBase_).empty());
  EXPECT_TRUE(Entries(setupBase_).empty());
}

TEST_F(ProtectedDirs, AFailedHandOutRemovesTheNewDirectory) {
  context_.allocate = &FailingAllocator;
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(out_.value, nullptr);
  EXPECT_TRUE(Entries(workBase_).empty());
  EXPECT_TRUE(Entries(setupBase_).empty());
}

TEST_F(ProtectedDirs, AWorkBaseThatIsALinkIsRefusedAndNothingBehindItIsTouched) {
  const char* data = std::getenv("KILNA_PROTECTED_DIRS_DATA");
  ASSERT_NE(data, nullptr);
  std::wstring folder = Widen(data);
  for (auto& c : folder) c = c == L'/' ? L'\\' : c;
  context_.facts.programData = folder + L"\\ProgramData";
  const std::wstring link = context_.facts.programData + L"\\KilnaElevatedWork";
  const std::wstring target = folder + L"\\link_target";
  // Wine would answer with its own user as owner; make the link look trusted.
  fake_.setSecurity(link, kUsersMayWrite);

  EXPECT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetProtectedUpdateCache(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fake_.posixDeleteCalls() + fake_.classicDeleteCalls(), 0);
  const DWORD attributes = ::GetFileAttributesW(link.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(Entries(target), std::vector<std::wstring>{L"kept.txt"});
  EXPECT_EQ(ReadWholeFile(target + L"\\kept.txt"), std::optional<std::string>("kept\n"));
  EXPECT_EQ(Entries(context_.facts.programData), std::vector<std::wstring>{L"KilnaElevatedWork"});
}

TEST_F(ProtectedDirs, AJunctionAboveProgramDataIsRefusedAndNothingIsMadeThrough) {
  fake_.markJunction(root_.path());
  EXPECT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetProtectedUpdateCache(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(out_.value, nullptr);
  EXPECT_TRUE(Entries(programData_).empty());

  // A cache that would verify on its own is not handed out through it either.
  Existing(workBase_, kPlainProtectedSddl);
  Existing(cache_, kOwnerRestrictedSddl);
  EXPECT_EQ(GetProtectedUpdateCache(context_, out_.put()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(out_.value, nullptr);
}

TEST_F(ProtectedDirs, TheUpdateCacheIsStableAndPrefersTheWorkBase) {
  ASSERT_EQ(GetProtectedUpdateCache(context_, out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(out_.text(), cache_);
  EXPECT_EQ(fake_.createdWith(cache_), CanonicalSddl(kOwnerRestrictedSddl));
  EXPECT_FALSE(IsDirectory(legacyBase_));
  OutPath again;
  ASSERT_EQ(GetProtectedUpdateCache(context_, again.put()), ERROR_SUCCESS);
  EXPECT_EQ(again.text(), cache_);

  // With a valid legacy cache as well, the work base's still wins.
  Existing(legacyBase_, kPlainProtectedSddl);
  Existing(legacyCache_, kOwnerRestrictedSddl);
  ASSERT_EQ(GetProtectedUpdateCache(context_, out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(out_.text(), cache_);
}

TEST_F(ProtectedDirs, AValidLegacyCacheIsUsedWhenTheWorkBaseHasNone) {
  Existing(legacyBase_, kPlainProtectedSddl);
  Existing(legacyCache_, kOwnerRestrictedSddl);
  ASSERT_EQ(GetProtectedUpdateCache(context_, out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(out_.text(), legacyCache_);
  EXPECT_FALSE(IsDirectory(workBase_));

  // A cache under the work base that does not verify does not win either.
  Existing(workBase_, kPlainProtectedSddl);
  Existing(cache_, kPlainProtectedSddl);
  ASSERT_EQ(GetProtectedUpdateCache(context_, out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(out_.text(), legacyCache_);

  // Without a valid legacy cache, the work base's is repaired and used.
  fake_.setSecurity(legacyCache_, kUsersMayWrite);
  ASSERT_EQ(GetProtectedUpdateCache(context_, out_.put()), ERROR_SUCCESS);
  EXPECT_EQ(out_.text(), cache_);
  EXPECT_EQ(fake_.createdWith(cache_), CanonicalSddl(kOwnerRestrictedSddl));
  EXPECT_TRUE(IsDirectory(legacyCache_));
}

TEST_F(ProtectedDirs, ProcessFactsAreCheckedBeforeAnyFileSystemCall) {
  context_.facts.userSid.clear();
  EXPECT_EQ(GetProtectedUpdateCache(context_, out_.put()), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(fake_.calls(), 0);
  for (const bool elevated : {false, true}) {
    context_.facts = {elevated ? L"" : programData_, elevated, kUserSid};
    EXPECT_EQ(CreateProtectedTemp(context_, L"work", out_.put()), static_cast<DWORD>(ERROR_ELEVATION_REQUIRED));
    EXPECT_EQ(CreateProtectedUpdateTemp(context_, out_.put()), static_cast<DWORD>(ERROR_ELEVATION_REQUIRED));
    EXPECT_EQ(GetProtectedUpdateCache(context_, out_.put()), static_cast<DWORD>(ERROR_ELEVATION_REQUIRED));
    EXPECT_EQ(out_.value, nullptr);
  }
  EXPECT_EQ(fake_.calls(), 0);
  EXPECT_TRUE(Entries(programData_).empty());
}

// A failure other than exhausted memory while the exports gather the
// process's facts or work reaches their barrier, which answers 8 for it too.
TEST_F(ProtectedDirs, AFailureCaughtAtTheExportsBarrierAnswers8) {
  const ProtectedDirsContextSource failing = []() -> ProtectedDirsContext {
    throw std::runtime_error("inside the export");
  };
  EXPECT_EQ(GuardedCreateProtectedTemp(failing, L"name", out_.put()), 8u);
  EXPECT_EQ(out_.value, nullptr);
  EXPECT_EQ(GuardedCreateProtectedUpdateTemp(failing, out_.put()), 8u);
  EXPECT_EQ(GuardedGetProtectedUpdateCache(failing, out_.put()), 8u);
  EXPECT_EQ(out_.value, nullptr);
}

}  // namespace
}  // namespace orv::test
