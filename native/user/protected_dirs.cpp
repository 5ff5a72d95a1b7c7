#include "native/user/protected_dirs.h"

#include <objbase.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "native/common/unique_resource.h"
#include "native/user/directory_security.h"
#include "native/user/ensure_directory.h"
#include "native/user/protected_paths.h"
#include "native/user/sdk_additions_errors.h"

namespace orv {
namespace {

constexpr bool kPlainMode = false;
constexpr bool kOwnerRestrictedMode = true;

std::wstring WorkBase(const ProtectedDirsFacts& facts) { return facts.programData + L"\\KilnaElevatedWork"; }
std::wstring LegacyWorkBase(const ProtectedDirsFacts& facts) { return facts.programData + L"\\OrvElevatedWork"; }
std::wstring SetupBase(const ProtectedDirsFacts& facts) { return facts.programData + L"\\KilnaSetup"; }

// A parsed descriptor and the attributes that carry it into CreateDirectoryW.
struct ProtectedAttributes {
  UniqueSecurityDescriptor descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};

  [[nodiscard]] DWORD Parse(const wchar_t* sddl) {
    DWORD error = ERROR_SUCCESS;
    descriptor = ParseSecurityDescriptor(sddl, error);
    attributes.lpSecurityDescriptor = descriptor.get();
    return error;
  }
};

// Braced upper-case text of a fresh GUID; empty when none could be made.
std::wstring NewGuidText() {
  GUID guid{};
  if (FAILED(::CoCreateGuid(&guid))) return {};
  wchar_t text[39] = {};
  if (::StringFromGUID2(guid, text, 39) != 39) return {};
  return text;
}

[[nodiscard]] DWORD HandOut(const ProtectedDirsContext& context, const std::wstring& path, wchar_t** outPath) {
  return context.allocate != nullptr ? StoreOutString(path, outPath, context.allocate)
                                     : StoreOutString(path, outPath);
}

// Hands out a directory this call has just made, or takes it away again:
// nobody else would ever learn its name.
[[nodiscard]] DWORD HandOutNewDirectory(const ProtectedDirsContext& context, const std::wstring& path, wchar_t** outPath) {
  const DWORD error = HandOut(context, path, outPath);
  if (error != ERROR_SUCCESS) context.calls.RemoveDirectoryW(path.c_str());
  return error;
}

// A fresh kilna-update-{GUID} directory in the base, which must verify with
// the owner-restricted ACL it was created with.
[[nodiscard]] DWORD CreateUpdateDirectory(const ProtectedDirsContext& context, const std::wstring& base,
                                          SECURITY_ATTRIBUTES* attributes, wchar_t** outPath) {
  const std::wstring guid = NewGuidText();
  if (guid.empty()) return ERROR_GEN_FAILURE;
  const std::wstring path = base + L"\\kilna-update-" + guid;
  if (!context.calls.CreateDirectoryW(path.c_str(), attributes)) return ::GetLastError();
  if (!VerifyDirectory(context.calls, path, kOwnerRestrictedMode)) {
    context.calls.RemoveDirectoryW(path.c_str());
    return ERROR_ACCESS_DENIED;
  }
  return HandOutNewDirectory(context, path, outPath);
}

// An absolute path with a clean chain, opened as itself.
[[nodiscard]] DWORD OpenTrustedPath(const DirectoryPlatform& calls, const std::wstring& path, DWORD access, DWORD share,
                                    UniqueHandle& directory) {
  if (!IsAbsolutePath(path) || !IsChainClean(calls, path)) return ERROR_ACCESS_DENIED;
  directory = OpenNoFollow(calls, path, access, share);
  return directory ? ERROR_SUCCESS : ::GetLastError();
}

[[nodiscard]] DWORD UpdateTempInWorkBase(const ProtectedDirsContext& context, SECURITY_ATTRIBUTES* attributes, wchar_t** outPath) {
  const std::wstring base = WorkBase(context.facts);
  if (const DWORD error = EnsureDirectory(context.calls, base, attributes, kPlainMode); error != ERROR_SUCCESS) {
    return error;
  }
  UniqueHandle directory;
  if (const DWORD error = OpenTrustedPath(context.calls, base, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, directory);
      error != ERROR_SUCCESS) {
    return error;
  }
  if (GradeDirectory(context.calls, directory.get(), kPlainMode) != AclGrade::kProtected) return ERROR_ACCESS_DENIED;
  return CreateUpdateDirectory(context, base, attributes, outPath);
}

bool IsTrustedProgramData(const DirectoryPlatform& calls, HANDLE programData) {
  if (!IsRealDirectory(calls, programData)) return false;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  UniqueSecurityDescriptor descriptor;
  if (calls.GetSecurityInfo(programData, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS) {
    return false;
  }
  return IsTrustedProgramDataSecurity(owner, dacl);
}

// The setup base holds exactly the plain protected owner, group and DACL.
bool HasPlainProtectedSecurity(const DirectoryPlatform& calls, HANDLE setupBase, PSECURITY_DESCRIPTOR plain) {
  if (!IsRealDirectory(calls, setupBase)) return false;
  UniqueSecurityDescriptor descriptor;
  if (calls.GetSecurityInfo(setupBase, SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, descriptor.put()) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring expected = SecurityText(plain);
  return !expected.empty() && SecurityText(descriptor.get()) == expected;
}

// When the work base cannot be used (someone else's, or a link), an update
// still gets a directory: in the setup base, made afresh beside it in a
// ProgramData that only administrators can take over.
[[nodiscard]] DWORD UpdateTempInSetupBase(const ProtectedDirsContext& context, SECURITY_ATTRIBUTES* attributes, wchar_t** outPath) {
  UniqueHandle programData;
  if (const DWORD error = OpenTrustedPath(context.calls, context.facts.programData,
                                          READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_READ_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, programData);
      error != ERROR_SUCCESS) {
    return error;
  }
  if (!IsTrustedProgramData(context.calls, programData.get())) return ERROR_ACCESS_DENIED;

  ProtectedAttributes plain;
  if (const DWORD error = plain.Parse(kPlainProtectedSddl); error != ERROR_SUCCESS) return error;
  const std::wstring base = SetupBase(context.facts);
  if (!context.calls.CreateDirectoryW(base.c_str(), &plain.attributes)) {
    if (const DWORD error = ::GetLastError(); error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) return error;
  }
  const UniqueHandle setupBase =
      OpenNoFollow(context.calls, base, READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_READ_DATA, FILE_SHARE_READ);
  if (!setupBase) return ::GetLastError();
  if (!HasPlainProtectedSecurity(context.calls, setupBase.get(), plain.descriptor.get())) return ERROR_ACCESS_DENIED;
  return CreateUpdateDirectory(context, base, attributes, outPath);
}

// Null checks first, leaving everything untouched; then the out string is
// cleared and the process must be elevated with ProgramData known.
[[nodiscard]] DWORD BeginCall(const ProtectedDirsContext& context, wchar_t** outPath) {
  if (outPath == nullptr) return ERROR_INVALID_PARAMETER;
  *outPath = nullptr;
  if (!context.facts.elevated || context.facts.programData.empty()) return ERROR_ELEVATION_REQUIRED;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD CreateProtectedTemp(const ProtectedDirsContext& context, const wchar_t* name, wchar_t** outPath) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  if (const DWORD error = BeginCall(context, outPath); error != ERROR_SUCCESS) return error;
  // Read no further than one character past the longest valid name.
  std::wstring_view given(name, ::wcsnlen(name, kMaxProtectedNameLength + 1));
  if (!IsValidProtectedName(given)) return ERROR_INVALID_NAME;

  ProtectedAttributes plain;
  if (const DWORD error = plain.Parse(kPlainProtectedSddl); error != ERROR_SUCCESS) return error;
  const std::wstring base = WorkBase(context.facts);
  if (const DWORD error = EnsureDirectory(context.calls, base, &plain.attributes, kPlainMode); error != ERROR_SUCCESS) {
    return error;
  }
  const std::wstring guid = NewGuidText();
  if (guid.empty()) return ERROR_GEN_FAILURE;
  const std::wstring path = base + L"\\" + std::wstring(given) + guid;
  if (!context.calls.CreateDirectoryW(path.c_str(), &plain.attributes)) return ::GetLastError();
  return HandOutNewDirectory(context, path, outPath);
}

DWORD CreateProtectedUpdateTemp(const ProtectedDirsContext& context, wchar_t** outPath) {
  if (const DWORD error = BeginCall(context, outPath); error != ERROR_SUCCESS) return error;
  ProtectedAttributes restricted;
  if (const DWORD error = restricted.Parse(kOwnerRestrictedSddl); error != ERROR_SUCCESS) return error;
  if (UpdateTempInWorkBase(context, &restricted.attributes, outPath) == ERROR_SUCCESS) return ERROR_SUCCESS;
  return UpdateTempInSetupBase(context, &restricted.attributes, outPath);
}

DWORD GetProtectedUpdateCache(const ProtectedDirsContext& context, wchar_t** outPath) {
  if (const DWORD error = BeginCall(context, outPath); error != ERROR_SUCCESS) return error;
  if (context.facts.userSid.empty()) return ERROR_NO_TOKEN;
  const std::wstring suffix = L"\\update-cache-" + context.facts.userSid;
  const std::wstring base = WorkBase(context.facts);
  const std::wstring cache = base + suffix;
  if (VerifyDirectory(context.calls, base, kPlainMode) && VerifyDirectory(context.calls, cache, kOwnerRestrictedMode)) {
    return HandOut(context, cache, outPath);
  }
  const std::wstring legacyBase = LegacyWorkBase(context.facts);
  const std::wstring legacyCache = legacyBase + suffix;
  if (VerifyDirectory(context.calls, legacyBase, kPlainMode) &&
      VerifyDirectory(context.calls, legacyCache, kOwnerRestrictedMode)) {
    return HandOut(context, legacyCache, outPath);
  }
  ProtectedAttributes restricted;
  if (const DWORD error = restricted.Parse(kOwnerRestrictedSddl); error != ERROR_SUCCESS) return error;
  if (const DWORD error = EnsureDirectory(context.calls, base, &restricted.attributes, kPlainMode);
      error != ERROR_SUCCESS) {
    return error;
  }
  if (const DWORD error = EnsureDirectory(context.calls, cache, &restricted.attributes, kOwnerRestrictedMode);
      error != ERROR_SUCCESS) {
    return error;
  }
  return HandOut(context, cache, outPath);
}

}  // namespace orv
