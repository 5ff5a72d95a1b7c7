#include "native/user/ensure_directory.h"

#include "native/user/directory_security.h"
#include "native/user/protected_paths.h"
#include "native/user/sdk_additions_file_disposition.h"

namespace orv {
namespace {

// Deletes the directory behind the handle. POSIX semantics take its name away
// at once; systems that lack them get the classic delete-on-close instead.
[[nodiscard]] DWORD DeleteThroughHandle(const DirectoryPlatform& calls, HANDLE directory) {
  FILE_DISPOSITION_INFO_EX posix{FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
  if (calls.SetFileInformationByHandle(directory, FileDispositionInfoEx, &posix, sizeof posix)) return ERROR_SUCCESS;
  const DWORD error = ::GetLastError();
  if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_PARAMETER) {
    return error;
  }
  FILE_DISPOSITION_INFO classic{TRUE};
  if (calls.SetFileInformationByHandle(directory, FileDispositionInfo, &classic, sizeof classic)) return ERROR_SUCCESS;
  return ::GetLastError();
}

// Settles a directory that exists but does not verify: a sound one is kept,
// someone else's (or one that is not a real directory) is never touched, and
// one with a trusted owner but a wrong DACL is deleted. The handle is closed
// before the caller goes on.
[[nodiscard]] DWORD RemoveIfRepairable(const DirectoryPlatform& calls, const std::wstring& path, bool ownerRestricted) {
  const UniqueHandle directory = OpenNoFollow(calls, path, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ);
  if (!directory) return ::GetLastError();
  switch (GradeDirectory(calls, directory.get(), ownerRestricted)) {
    case AclGrade::kProtected:
      return ERROR_SUCCESS;
    case AclGrade::kWrongAcl:
      return DeleteThroughHandle(calls, directory.get());
    case AclGrade::kUntrusted:
      break;
  }
  return ERROR_ACCESS_DENIED;
}

}  // namespace

DWORD EnsureDirectory(const DirectoryPlatform& calls, const std::wstring& path, SECURITY_ATTRIBUTES* attributes,
                      bool ownerRestricted) {
  if (!IsChainClean(calls, ParentPath(path))) return ERROR_ACCESS_DENIED;
  if (calls.CreateDirectoryW(path.c_str(), attributes)) {
    return VerifyDirectory(calls, path, ownerRestricted) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  }
  if (const DWORD error = ::GetLastError(); error != ERROR_ALREADY_EXISTS) return error;
  if (VerifyDirectory(calls, path, ownerRestricted)) return ERROR_SUCCESS;

  if (const DWORD outcome = RemoveIfRepairable(calls, path, ownerRestricted);
      outcome != ERROR_SUCCESS && outcome != ERROR_FILE_NOT_FOUND) {
    return outcome;
  }
  if (!calls.CreateDirectoryW(path.c_str(), attributes)) {
    if (const DWORD error = ::GetLastError(); error != ERROR_ALREADY_EXISTS) return error;
  }
  return VerifyDirectory(calls, path, ownerRestricted) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace orv
