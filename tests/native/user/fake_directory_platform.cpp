#include "tests/native/user/fake_directory_platform.h"

#include <sddl.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <stdexcept>

#include "native/common/unique_resource.h"
#include "native/user/directory_security.h"
#include "native/user/sdk_additions_file_disposition.h"

namespace orv::test {
namespace {

FakeDirectoryPlatform* current = nullptr;

std::wstring Normalised(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return path;
}

// Runs bookkeeping after a forwarded call without disturbing its last error.
template <typename F>
void KeepingLastError(F&& f) {
  const DWORD error = ::GetLastError();
  f();
  ::SetLastError(error);
}

}  // namespace

DWORD WINAPI AttributesWithWindowsDriveRoots(LPCWSTR path) {
  const DWORD attributes = ::GetFileAttributesW(path);
  const bool driveRoot = ::wcslen(path) == 3 && path[1] == L':' && path[2] == L'\\';
  return driveRoot && attributes != INVALID_FILE_ATTRIBUTES ? attributes & ~FILE_ATTRIBUTE_REPARSE_POINT
                                                            : attributes;
}

std::wstring CanonicalSddl(const std::wstring& sddl) {
  DWORD error = 0;
  const UniqueSecurityDescriptor descriptor = ParseSecurityDescriptor(sddl.c_str(), error);
  return descriptor ? SecurityText(descriptor.get()) : std::wstring();
}

FakeDirectoryPlatform::FakeDirectoryPlatform() {
  if (current != nullptr) throw std::logic_error("one fake directory platform at a time");
  current = this;
}

FakeDirectoryPlatform::~FakeDirectoryPlatform() { current = nullptr; }

DirectoryPlatform FakeDirectoryPlatform::Calls() {
  DirectoryPlatform calls;
  calls.CreateDirectoryW = &CreateDirectory;
  calls.CreateFileW = &CreateFile;
  calls.GetFileAttributesW = &GetFileAttributes;
  calls.GetFileInformationByHandle = &GetFileInformation;
  calls.GetSecurityInfo = &GetSecurity;
  calls.SetFileInformationByHandle = &SetFileInformation;
  calls.RemoveDirectoryW = &RemoveDirectory;
  return calls;
}

void FakeDirectoryPlatform::setSecurity(const std::wstring& path, const std::wstring& sddl) {
  security_[Normalised(path)] = sddl;
}

void FakeDirectoryPlatform::markJunction(const std::wstring& path) { junctions_.insert(Normalised(path)); }

std::wstring FakeDirectoryPlatform::createdWith(const std::wstring& path) const {
  const auto found = created_.find(Normalised(path));
  return found == created_.end() ? std::wstring() : found->second;
}

BOOL WINAPI FakeDirectoryPlatform::CreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  ++current->calls_;
  const BOOL created = ::CreateDirectoryW(path, attributes);
  if (created && attributes != nullptr && attributes->lpSecurityDescriptor != nullptr) {
    KeepingLastError([&] {
      const std::wstring passed = SecurityText(attributes->lpSecurityDescriptor);
      current->created_[Normalised(path)] = passed;
      current->security_[Normalised(path)] = current->createdOverride_.empty() ? passed : current->createdOverride_;
    });
  }
  return created;
}

HANDLE WINAPI FakeDirectoryPlatform::CreateFile(LPCWSTR path, DWORD access, DWORD share,
                                                LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                                                HANDLE templateFile) {
  ++current->calls_;
  constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
  if ((flags & kNoFollow) != kNoFollow) ++current->followingOpens_;
  HANDLE file = ::CreateFileW(path, access, share, attributes, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE) {
    KeepingLastError([&] {
      current->handlePaths_[file] = {Normalised(path), (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0};
    });
  }
  return file;
}

DWORD WINAPI FakeDirectoryPlatform::GetFileAttributes(LPCWSTR path) {
  ++current->calls_;
  return ShownAttributes(path);
}

DWORD FakeDirectoryPlatform::ShownAttributes(LPCWSTR path) {
  const DWORD attributes = AttributesWithWindowsDriveRoots(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || current->junctions_.count(Normalised(path)) == 0) return attributes;
  return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
}

BOOL WINAPI FakeDirectoryPlatform::GetFileInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  ++current->calls_;
  if (!::GetFileInformationByHandle(file, info)) return FALSE;
  // Wine's handles follow links even when told not to; its path lookups do
  // not. A handle that was told to follow shows the target, as on Windows.
  const auto found = current->handlePaths_.find(file);
  if (found != current->handlePaths_.end() && found->second.asItself) {
    const DWORD attributes = ShownAttributes(found->second.path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) info->dwFileAttributes |= attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return TRUE;
}

DWORD WINAPI FakeDirectoryPlatform::GetSecurity(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                                                PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                                PSECURITY_DESCRIPTOR* descriptor) {
  ++current->calls_;
  const auto path = current->handlePaths_.find(handle);
  const auto sddl =
      path == current->handlePaths_.end() ? current->security_.end() : current->security_.find(path->second.path);
  if (sddl == current->security_.end()) return ::GetSecurityInfo(handle, type, info, owner, group, dacl, sacl, descriptor);

  DWORD error = 0;
  UniqueSecurityDescriptor parsed = ParseSecurityDescriptor(sddl->second.c_str(), error);
  if (!parsed) return error;
  BOOL defaulted = FALSE, present = FALSE;
  PSID ownerSid = nullptr, groupSid = nullptr;
  PACL list = nullptr;
  ::GetSecurityDescriptorOwner(parsed.get(), &ownerSid, &defaulted);
  ::GetSecurityDescriptorGroup(parsed.get(), &groupSid, &defaulted);
  ::GetSecurityDescriptorDacl(parsed.get(), &present, &list, &defaulted);
  if (owner != nullptr) *owner = (info & OWNER_SECURITY_INFORMATION) ? ownerSid : nullptr;
  if (group != nullptr) *group = (info & GROUP_SECURITY_INFORMATION) ? groupSid : nullptr;
  if (dacl != nullptr) *dacl = (info & DACL_SECURITY_INFORMATION) && present ? list : nullptr;
  if (sacl != nullptr) *sacl = nullptr;
  if (descriptor != nullptr) *descriptor = parsed.release();
  return ERROR_SUCCESS;
}

BOOL WINAPI FakeDirectoryPlatform::SetFileInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID info,
                                                      DWORD size) {
  ++current->calls_;
  if (infoClass == FileDispositionInfoEx) {
    ++current->posixDeleteCalls_;
    if (current->posixDeleteAnswer_ == kWineAnswer) return ::SetFileInformationByHandle(file, infoClass, info, size);
    if (current->posixDeleteAnswer_ != ERROR_SUCCESS) {
      ::SetLastError(current->posixDeleteAnswer_);
      return FALSE;
    }
    if ((static_cast<const FILE_DISPOSITION_INFO_EX*>(info)->Flags & FILE_DISPOSITION_FLAG_DELETE) == 0) return TRUE;
    FILE_DISPOSITION_INFO classic{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &classic, sizeof classic);
  }
  if (infoClass == FileDispositionInfo) ++current->classicDeleteCalls_;
  return ::SetFileInformationByHandle(file, infoClass, info, size);
}

BOOL WINAPI FakeDirectoryPlatform::RemoveDirectory(LPCWSTR path) {
  ++current->calls_;
  return ::RemoveDirectoryW(path);
}

}  // namespace orv::test
