#pragma once
// The security of a protected directory: the two descriptors it is created
// with, and the checks that decide whether an existing directory can be
// trusted (its path, its owner, every ACE of its DACL).

#include <windows.h>

#include <string>

#include "native/common/unique_resource.h"
#include "native/user/protected_dirs_platform.h"

namespace orv {

// Full access for SYSTEM and Administrators only, nothing inherited.
inline constexpr wchar_t kPlainProtectedSddl[] = L"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The same, and OWNER RIGHTS limited to READ_CONTROL: whoever becomes owner of
// something created inside gains no implicit rights over it.
inline constexpr wchar_t kOwnerRestrictedSddl[] =
    L"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;RC;;;OW)";

// Rights that let another SID plant, replace or re-permission a file.
inline constexpr ACCESS_MASK kWriteLikeRights = 0x500D0156;
// Rights on ProgramData that let another SID take over or remove what is in it.
inline constexpr ACCESS_MASK kProgramDataTakeoverRights = 0x100D0040;

enum class AclGrade {
  kUntrusted = 0,   // not a real directory, unreadable, or someone else's
  kWrongAcl = 1,    // a trusted owner, but the DACL lets others in
  kProtected = 2,
};

// A descriptor parsed from SDDL (revision 1); on failure null and `error` set.
UniqueSecurityDescriptor ParseSecurityDescriptor(const wchar_t* sddl, DWORD& error);

bool IsAdministratorsOrSystem(PSID sid);

// The grade of an owner, DACL and descriptor control. Plain mode refuses any
// write-like right for another SID; owner-restricted mode wants exactly the
// owner-restricted descriptor's three ACEs, uninherited, and a protected DACL.
AclGrade GradeSecurity(PSID owner, PACL dacl, SECURITY_DESCRIPTOR_CONTROL control, bool ownerRestricted);

// ProgramData as a parent of the setup base: a trusted owner, a DACL, and no
// allowed ACE that hands another SID the rights to take over its contents.
bool IsTrustedProgramDataSecurity(PSID owner, PACL dacl);

// Attributes of a handle say directory and not reparse point.
bool IsRealDirectory(const DirectoryPlatform& calls, HANDLE handle);

// The grade of an open directory (0 when its security cannot be read).
AclGrade GradeDirectory(const DirectoryPlatform& calls, HANDLE handle, bool ownerRestricted);

// Every step from the path up to its root exists and none is a reparse point.
bool IsChainClean(const DirectoryPlatform& calls, const std::wstring& path);

// Opens a path as itself: never following a reparse point.
UniqueHandle OpenNoFollow(const DirectoryPlatform& calls, const std::wstring& path, DWORD access, DWORD share);

// A clean chain, and the directory opens and grades as protected.
[[nodiscard]] bool VerifyDirectory(const DirectoryPlatform& calls, const std::wstring& path, bool ownerRestricted);

// Owner, group and DACL as SDDL text; empty on failure.
std::wstring SecurityText(PSECURITY_DESCRIPTOR descriptor);

}  // namespace orv
