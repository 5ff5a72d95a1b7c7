#include "native/user/directory_security.h"

#include <sddl.h>

#include "native/user/protected_paths.h"

namespace orv {
namespace {

constexpr BYTE kInheritToChildren = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD kNoFollowFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

const ACE_HEADER* AceAt(PACL dacl, DWORD index) {
  void* ace = nullptr;
  if (!::GetAce(dacl, index, &ace)) return nullptr;
  return static_cast<const ACE_HEADER*>(ace);
}

PSID AllowedAceSid(const ACE_HEADER* ace) {
  return const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->SidStart);
}

ACCESS_MASK AllowedAceMask(const ACE_HEADER* ace) { return reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask; }

// Which of the owner-restricted descriptor's three entries an ACE is, if any.
struct OwnerRestrictedEntries {
  bool system = false;
  bool administrators = false;
  bool ownerRights = false;

  bool Take(const ACE_HEADER* ace) {
    if (ace->AceFlags != kInheritToChildren) return false;
    const PSID sid = AllowedAceSid(ace);
    const ACCESS_MASK mask = AllowedAceMask(ace);
    bool* seen = nullptr;
    if (mask == FILE_ALL_ACCESS && ::IsWellKnownSid(sid, WinLocalSystemSid)) seen = &system;
    if (mask == FILE_ALL_ACCESS && ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) seen = &administrators;
    if (mask == READ_CONTROL && ::IsWellKnownSid(sid, WinCreatorOwnerRightsSid)) seen = &ownerRights;
    if (seen == nullptr) return false;
    *seen = true;
    return true;
  }
  bool Complete() const { return system && administrators && ownerRights; }
};

}  // namespace

UniqueSecurityDescriptor ParseSecurityDescriptor(const wchar_t* sddl, DWORD& error) {
  UniqueSecurityDescriptor descriptor;
  error = ERROR_SUCCESS;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(), nullptr)) {
    error = ::GetLastError();
    descriptor.reset();
  }
  return descriptor;
}

bool IsAdministratorsOrSystem(PSID sid) {
  return sid != nullptr && ::IsValidSid(sid) &&
         (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid));
}

AclGrade GradeSecurity(PSID owner, PACL dacl, SECURITY_DESCRIPTOR_CONTROL control, bool ownerRestricted) {
  if (!IsAdministratorsOrSystem(owner)) return AclGrade::kUntrusted;
  if (dacl == nullptr) return AclGrade::kWrongAcl;
  OwnerRestrictedEntries entries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    const ACE_HEADER* ace = AceAt(dacl, i);
    if (ace == nullptr || ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return AclGrade::kWrongAcl;
    if (ownerRestricted) {
      if (!entries.Take(ace)) return AclGrade::kWrongAcl;
    } else if (!IsAdministratorsOrSystem(AllowedAceSid(ace)) && (AllowedAceMask(ace) & kWriteLikeRights) != 0) {
      return AclGrade::kWrongAcl;
    }
  }
  if (ownerRestricted && !(entries.Complete() && (control & SE_DACL_PROTECTED) != 0)) {
    return AclGrade::kWrongAcl;
  }
  return AclGrade::kProtected;
}

bool IsTrustedProgramDataSecurity(PSID owner, PACL dacl) {
  if (!IsAdministratorsOrSystem(owner) || dacl == nullptr) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    const ACE_HEADER* ace = AceAt(dacl, i);
    if (ace == nullptr) return false;
    // An inherit-only ACE says nothing about ProgramData itself; a denial only takes rights away.
    if ((ace->AceFlags & INHERIT_ONLY_ACE) != 0 || ace->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    if (!IsAdministratorsOrSystem(AllowedAceSid(ace)) && (AllowedAceMask(ace) & kProgramDataTakeoverRights) != 0) {
      return false;
    }
  }
  return true;
}

bool IsRealDirectory(const DirectoryPlatform& calls, HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!calls.GetFileInformationByHandle(handle, &info)) return false;
  return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
         FILE_ATTRIBUTE_DIRECTORY;
}

AclGrade GradeDirectory(const DirectoryPlatform& calls, HANDLE handle, bool ownerRestricted) {
  if (!IsRealDirectory(calls, handle)) return AclGrade::kUntrusted;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  UniqueSecurityDescriptor descriptor;
  if (calls.GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                            nullptr, &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS) {
    return AclGrade::kUntrusted;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(descriptor.get(), &control, &revision)) return AclGrade::kUntrusted;
  return GradeSecurity(owner, dacl, control, ownerRestricted);
}

bool IsChainClean(const DirectoryPlatform& calls, const std::wstring& path) {
  const auto chain = PathChain(path);
  if (chain.empty()) return false;
  for (const auto& step : chain) {
    const DWORD attributes = calls.GetFileAttributesW(step.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  }
  return true;
}

UniqueHandle OpenNoFollow(const DirectoryPlatform& calls, const std::wstring& path, DWORD access, DWORD share) {
  return UniqueHandle(calls.CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, kNoFollowFlags, nullptr));
}

bool VerifyDirectory(const DirectoryPlatform& calls, const std::wstring& path, bool ownerRestricted) {
  if (!IsChainClean(calls, path)) return false;
  const UniqueHandle directory =
      OpenNoFollow(calls, path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
  return directory && GradeDirectory(calls, directory.get(), ownerRestricted) == AclGrade::kProtected;
}

std::wstring SecurityText(PSECURITY_DESCRIPTOR descriptor) {
  UniqueLocal<wchar_t*> text;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          text.put(), nullptr) ||
      !text) {
    return {};
  }
  return text.get();
}

}  // namespace orv
