#pragma once
// Starting another program through the shell, for the interface: with
// administrator rights, or as an installed app that is then brought to the
// front. Neither changes identity.

#include <windows.h>

#include <shellapi.h>

#include "native/user/token_queries.h"

namespace orv {

// How long an installed app's window is waited for before it is left behind us.
constexpr DWORD kForegroundHandOffBoundMs = 10000;

// The platform facilities of a launch. Production uses the default table;
// tests replace entries for what the test machine cannot do (decline an
// elevation prompt, run without elevation) and shorten the hand-off bound.
struct LaunchPlatform {
  decltype(&::ShellExecuteExW) ShellExecuteExW = ::ShellExecuteExW;
  bool (*IsElevated)() = [] { return IsProcessElevated(); };
  DWORD handOffBoundMs = kForegroundHandOffBoundMs;
};

// The table the launch exports use.
LaunchPlatform& CurrentLaunchPlatform();

struct LaunchRequest {
  const wchar_t* file = nullptr;        // required
  const wchar_t* parameters = nullptr;  // may be null
  const wchar_t* directory = nullptr;   // may be null
};

enum class AfterLaunch { kNothing, kHandOffForeground };

// Starts the program and stores its process id (0 on any failure). Returns 87
// for a null file or out pointer, the shell's error, 759 when no process
// handle came back, otherwise 0; the hand-off never changes the result.
[[nodiscard]] DWORD LaunchProgram(const LaunchRequest& request, AfterLaunch after, const LaunchPlatform& platform,
                                  int* outProcessId);

}  // namespace orv
