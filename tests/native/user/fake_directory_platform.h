#pragma once
// Test support: the protected directories' file-system calls, forwarded to the
// real ones (so directories, files and links really exist), with what Wine
// cannot show supplied by the test: each path's security descriptor as SDDL,
// a handle's reparse bit (as Windows shows it: only on a handle that opened
// the link itself), junctions the test marks, and the POSIX delete's answer.

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "native/user/protected_dirs_platform.h"

namespace orv::test {

class FakeDirectoryPlatform {
 public:
  FakeDirectoryPlatform();
  ~FakeDirectoryPlatform();
  FakeDirectoryPlatform(const FakeDirectoryPlatform&) = delete;
  FakeDirectoryPlatform& operator=(const FakeDirectoryPlatform&) = delete;

  static DirectoryPlatform Calls();

  // GetSecurityInfo on a handle to this path answers with this descriptor.
  // Paths without one get the real (Wine's) answer.
  void setSecurity(const std::wstring& path, const std::wstring& sddl);
  // Directories the code creates answer with this descriptor instead of the
  // one the code passed ("" restores that).
  void answerCreatedWith(const std::wstring& sddl) { createdOverride_ = sddl; }
  // Owner, group and DACL of the descriptor the code created the path with;
  // "" when the code never created it.
  std::wstring createdWith(const std::wstring& path) const;

  // The FileDispositionInfoEx call fails with this error instead of Wine's 87;
  // 0: it succeeds, deleting as the classic call does.
  void setPosixDeleteError(DWORD error) { posixDeleteAnswer_ = error; }
  int posixDeleteCalls() const { return posixDeleteCalls_; }
  int classicDeleteCalls() const { return classicDeleteCalls_; }

  // The path is a junction: its attributes carry the reparse bit, and so does
  // a handle that opened it as itself. It leads nowhere else.
  void markJunction(const std::wstring& path);
  // Opens that lacked FILE_FLAG_BACKUP_SEMANTICS or FILE_FLAG_OPEN_REPARSE_POINT,
  // and so would follow a link.
  int followingOpens() const { return followingOpens_; }

  // Every call through the table.
  int calls() const { return calls_; }

 private:
  static BOOL WINAPI CreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
  static HANDLE WINAPI CreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                                  DWORD disposition, DWORD flags, HANDLE templateFile);
  static DWORD WINAPI GetFileAttributes(LPCWSTR path);
  static BOOL WINAPI GetFileInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
  static DWORD WINAPI GetSecurity(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID* owner,
                                  PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor);
  static BOOL WINAPI SetFileInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID info, DWORD size);
  static BOOL WINAPI RemoveDirectory(LPCWSTR path);
  // A path's attributes as Windows would show them, junction marks included.
  static DWORD ShownAttributes(LPCWSTR path);

  static constexpr DWORD kWineAnswer = 0xFFFFFFFF;  // forward the POSIX delete to Wine

  struct OpenedPath {
    std::wstring path;
    bool asItself;  // opened with FILE_FLAG_OPEN_REPARSE_POINT
  };
  std::map<std::wstring, std::wstring> security_;  // by normalised path
  std::map<std::wstring, std::wstring> created_;
  std::map<HANDLE, OpenedPath> handlePaths_;
  std::set<std::wstring> junctions_;  // by normalised path
  std::wstring createdOverride_;
  DWORD posixDeleteAnswer_ = kWineAnswer;
  int followingOpens_ = 0;
  int posixDeleteCalls_ = 0;
  int classicDeleteCalls_ = 0;
  int calls_ = 0;
};

// GetFileAttributesW as Windows answers it: Wine shows the Unix root, Z:\\, as
// a reparse point (it is a mount point); Windows never marks a drive's root so.
// The links below Z:\\ stay real.
DWORD WINAPI AttributesWithWindowsDriveRoots(LPCWSTR path);

// Owner, group and DACL of a descriptor as SDDL text, as the system writes it.
std::wstring CanonicalSddl(const std::wstring& sddl);

}  // namespace orv::test
