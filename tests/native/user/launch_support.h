#pragma once
// Test support for the launch exports: the program they start, ending what
// was started, replacing the launch platform for one test, and finding the
// started program's windows.

#include <windows.h>

#include <string>

#include "native/user/launch_program.h"

namespace orv::test {

// launch_target.exe beside the tests.
std::wstring LaunchTargetPath();

// Ends a started program (by id) when dropped, unless it has already ended.
class LaunchedProgram {
 public:
  explicit LaunchedProgram(int processId) : processId_(static_cast<DWORD>(processId)) {}
  ~LaunchedProgram();
  LaunchedProgram(const LaunchedProgram&) = delete;
  LaunchedProgram& operator=(const LaunchedProgram&) = delete;
  bool running() const;

 private:
  DWORD processId_;
};

// Replaces the launch exports' platform table until dropped.
class LaunchPlatformOverride {
 public:
  explicit LaunchPlatformOverride(const LaunchPlatform& replacement);
  ~LaunchPlatformOverride();
  LaunchPlatformOverride(const LaunchPlatformOverride&) = delete;
  LaunchPlatformOverride& operator=(const LaunchPlatformOverride&) = delete;

 private:
  LaunchPlatform saved_;
};

// The image path of a running process, or "" when it cannot be opened.
std::wstring ImagePathOf(DWORD processId);

// A visible top-level window of the process with that class, waiting up to
// `timeoutMs` for it; null when none appears.
HWND WaitForWindowOf(DWORD processId, const wchar_t* className, DWORD timeoutMs);

bool SamePath(const std::wstring& a, const std::wstring& b);

}  // namespace orv::test
