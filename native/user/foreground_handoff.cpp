#include "native/user/foreground_handoff.h"

#include <cwchar>

namespace orv {
namespace {

// How long each wait on the process lasts between looks at the foreground.
constexpr DWORD kPollMs = 50;

// Room for the class name and one more character, so a longer name that
// merely begins with it does not match.
constexpr int kClassNameBuffer = 29;
static_assert(sizeof kInstalledAppWindowClass / sizeof(wchar_t) < kClassNameBuffer);

struct WindowSearch {
  DWORD processId;
  HWND found;
};

bool IsMainWindowOf(HWND window, DWORD processId) noexcept {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != processId || !::IsWindowVisible(window) || ::IsIconic(window)) return false;
  if (::GetWindow(window, GW_OWNER) != nullptr) return false;
  wchar_t className[kClassNameBuffer] = {};
  if (::GetClassNameW(window, className, kClassNameBuffer) == 0) return false;
  return std::wcscmp(className, kInstalledAppWindowClass) == 0;
}

BOOL CALLBACK FindMainWindow(HWND window, LPARAM param) noexcept {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  if (!IsMainWindowOf(window, search->processId)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND MainWindowOf(DWORD processId) noexcept {
  WindowSearch search{processId, nullptr};
  ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool OwnedByThisProcess(HWND window) noexcept {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  return owner == ::GetCurrentProcessId();
}

}  // namespace

void HandOffForeground(HANDLE process, DWORD processId, DWORD boundMs) noexcept {
  const HWND ourWindow = ::GetForegroundWindow();
  if (processId == 0 || ourWindow == nullptr || !OwnedByThisProcess(ourWindow)) return;

  ::AllowSetForegroundWindow(processId);
  const ULONGLONG start = ::GetTickCount64();
  bool handedOff = false;
  for (;;) {
    if (const HWND foreground = ::GetForegroundWindow(); foreground != nullptr) {
      // The user (or the new program) moved the focus: leave it there.
      if (foreground != ourWindow) return;
      if (!handedOff) {
        const HWND target = MainWindowOf(processId);
        if (target != nullptr && ::GetForegroundWindow() == ourWindow) {
          if (!::SetForegroundWindow(target)) return;
          handedOff = true;
        }
      }
    }
    if (::WaitForSingleObject(process, kPollMs) != WAIT_TIMEOUT) return;
    if (::GetTickCount64() - start >= boundMs) return;
  }
}

}  // namespace orv
