// The grading of a directory's security, on descriptors built in memory from
// SDDL (Wine's own file security never reads back what was written), and the
// path chain check against real folders and a link made by the build.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "native/user/directory_security.h"
#include "tests/native/user/fake_directory_platform.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

constexpr wchar_t kUserSid[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr wchar_t kSystemAndAdmins[] = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kOwnerRights[] = L"(A;OICI;RC;;;OW)";

struct Security {
  UniqueSecurityDescriptor descriptor;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
};

Security Parse(const std::wstring& sddl) {
  Security security;
  DWORD error = 0;
  security.descriptor = ParseSecurityDescriptor(sddl.c_str(), error);
  EXPECT_TRUE(security.descriptor) << Narrow(sddl) << " error " << error;
  if (!security.descriptor) return security;
  BOOL defaulted = FALSE, present = FALSE;
  DWORD revision = 0;
  ::GetSecurityDescriptorOwner(security.descriptor.get(), &security.owner, &defaulted);
  ::GetSecurityDescriptorDacl(security.descriptor.get(), &present, &security.dacl, &defaulted);
  if (!present) security.dacl = nullptr;
  ::GetSecurityDescriptorControl(security.descriptor.get(), &security.control, &revision);
  return security;
}

struct GradeRow {
  std::string what;
  std::wstring sddl;
  bool ownerRestricted;
  AclGrade expected;
};

std::wstring Hex(ACCESS_MASK mask) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%lx", static_cast<unsigned long>(mask));
  return text;
}

std::vector<GradeRow> GradeRows() {
  const std::wstring plain = kPlainProtectedSddl;
  const std::wstring restricted = kOwnerRestrictedSddl;
  const std::wstring sys = L"(A;OICI;FA;;;SY)", admins = L"(A;OICI;FA;;;BA)";
  std::vector<GradeRow> rows = {
      {"plain, plain mode", plain, false, AclGrade::kProtected},
      {"plain, owner-restricted mode", plain, true, AclGrade::kWrongAcl},
      {"owner-restricted, plain mode", restricted, false, AclGrade::kProtected},
      {"owner-restricted, owner-restricted mode", restricted, true, AclGrade::kProtected},
      {"owner SYSTEM", L"O:SYG:SYD:P" + std::wstring(kSystemAndAdmins), false, AclGrade::kProtected},
      {"ordinary user owner", L"O:" + std::wstring(kUserSid) + L"G:BAD:P" + kSystemAndAdmins, false,
       AclGrade::kUntrusted},
      {"ordinary user owner, owner-restricted mode",
       L"O:" + std::wstring(kUserSid) + L"G:BAD:P" + kSystemAndAdmins + kOwnerRights, true, AclGrade::kUntrusted},
      {"null DACL", L"O:BAG:BA", false, AclGrade::kWrongAcl},
      {"empty protected DACL, plain mode", L"O:BAG:BAD:P", false, AclGrade::kProtected},
      {"empty protected DACL, owner-restricted mode", L"O:BAG:BAD:P", true, AclGrade::kWrongAcl},
      {"deny ACE", L"O:BAG:BAD:P(D;OICI;FA;;;BU)" + std::wstring(kSystemAndAdmins), false, AclGrade::kWrongAcl},
      {"Users read and execute", plain + L"(A;OICI;0x1200a9;;;BU)", false, AclGrade::kProtected},
      {"inherited ACE", L"O:BAG:BAD:P(A;OICIID;FA;;;SY)" + admins + kOwnerRights, true, AclGrade::kWrongAcl},
      {"flags OI only", L"O:BAG:BAD:P(A;OI;FA;;;SY)" + admins + kOwnerRights, true, AclGrade::kWrongAcl},
      {"OWNER RIGHTS 0x20001", plain + L"(A;OICI;0x20001;;;OW)", true, AclGrade::kWrongAcl},
      {"a fourth ACE", restricted + L"(A;OICI;0x1200a9;;;BU)", true, AclGrade::kWrongAcl},
      {"SYSTEM missing", L"O:BAG:BAD:P" + admins + kOwnerRights, true, AclGrade::kWrongAcl},
      {"Administrators missing", L"O:BAG:BAD:P" + sys + kOwnerRights, true, AclGrade::kWrongAcl},
      {"OWNER RIGHTS missing", plain, true, AclGrade::kWrongAcl},
      {"DACL not protected", L"O:BAG:BAD:" + std::wstring(kSystemAndAdmins) + kOwnerRights, true,
       AclGrade::kWrongAcl},
  };
  for (int bit = 0; bit < 32; ++bit) {
    const ACCESS_MASK mask = ACCESS_MASK{1} << bit;
    if ((kWriteLikeRights & mask) == 0) continue;
    rows.push_back({"Users granted " + Narrow(Hex(mask)), plain + L"(A;OICI;" + Hex(mask) + L";;;BU)", false,
                    AclGrade::kWrongAcl});
  }
  return rows;
}

TEST(DirectorySecurity, GradesOwnerAndEveryAce) {
  const auto rows = GradeRows();
  EXPECT_EQ(rows.size(), 20u + 10u);  // one row per write-like bit
  for (const auto& row : rows) {
    const Security security = Parse(row.sddl);
    EXPECT_EQ(GradeSecurity(security.owner, security.dacl, security.control, row.ownerRestricted), row.expected)
        << row.what << ": " << Narrow(row.sddl);
  }
}

TEST(DirectorySecurity, TrustsProgramDataThatOnlyAdministratorsCanTakeOver) {
  const std::wstring base = L"O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const struct {
    std::string what;
    std::wstring sddl;
    bool trusted;
  } rows[] = {
      {"as Windows ships it", base + L"(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)", true},
      {"Users may change the DACL", base + L"(A;OICI;0x40000;;;BU)", false},
      {"Users may delete children", base + L"(A;CI;0x40;;;BU)", false},
      {"inherit-only grants are not about ProgramData", base + L"(A;OICIIO;FA;;;BU)", true},
      {"denials take rights away", L"O:SYG:SYD:P(D;OICI;FA;;;BU)(A;OICI;FA;;;SY)", true},
      {"an ordinary owner", L"O:" + std::wstring(kUserSid) + L"G:SYD:P(A;OICI;FA;;;SY)", false},
      {"no DACL", L"O:SYG:SY", false},
  };
  for (const auto& row : rows) {
    const Security security = Parse(row.sddl);
    EXPECT_EQ(IsTrustedProgramDataSecurity(security.owner, security.dacl), row.trusted) << row.what;
  }
}

TEST(DirectorySecurity, SecurityTextTellsDescriptorsApart) {
  DWORD error = 0;
  const auto first = ParseSecurityDescriptor(kPlainProtectedSddl, error);
  const auto second = ParseSecurityDescriptor(kPlainProtectedSddl, error);
  const auto other = ParseSecurityDescriptor(kOwnerRestrictedSddl, error);
  ASSERT_TRUE(first && second && other);
  EXPECT_FALSE(SecurityText(first.get()).empty());
  EXPECT_EQ(SecurityText(first.get()), SecurityText(second.get()));
  EXPECT_NE(SecurityText(first.get()), SecurityText(other.get()));
}

// The build makes <data>\ProgramData\KilnaElevatedWork a Unix symbolic link.
std::wstring LinkData() {
  const char* data = std::getenv("KILNA_PROTECTED_DIRS_DATA");
  std::wstring path = Widen(data != nullptr ? data : "");
  for (auto& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

TEST(DirectoryChain, RefusesLinksAndMissingStepsAnywhereOnThePath) {
  DirectoryPlatform real;
  real.GetFileAttributesW = &AttributesWithWindowsDriveRoots;
  TempFolder folder;
  ASSERT_TRUE(::CreateDirectoryW((folder / L"a").c_str(), nullptr));
  EXPECT_TRUE(IsChainClean(real, folder / L"a"));
  EXPECT_TRUE(IsChainClean(real, folder / L"a\\\\"));
  EXPECT_TRUE(IsChainClean(real, folder.path() + L"/a/"));
  EXPECT_FALSE(IsChainClean(real, folder / L"missing"));
  EXPECT_FALSE(IsChainClean(real, folder / L"missing\\a"));

  const std::wstring data = LinkData();
  ASSERT_FALSE(data.empty());
  EXPECT_TRUE(IsChainClean(real, data + L"\\ProgramData"));
  EXPECT_TRUE(IsChainClean(real, data + L"\\link_target"));
  EXPECT_FALSE(IsChainClean(real, data + L"\\ProgramData\\KilnaElevatedWork"));
  EXPECT_FALSE(IsChainClean(real, data + L"\\ProgramData\\KilnaElevatedWork\\kept.txt"));
}

}  // namespace
}  // namespace orv::test
