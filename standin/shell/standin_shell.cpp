// Desktop shell stand-in: registers one window of its own as the desktop's
// shell window and then waits until it is killed. Exit code 2 when the window
// could not be made the shell window (another shell already holds the place);
// 1 when its class, 3 when its window could not be made (with the error on
// standard error).

#include <windows.h>

#include <cstdio>

#include "native/common/proc_address.h"

namespace {

constexpr wchar_t kClassName[] = L"KilnaStandInShell";

// Not declared by every SDK's headers, so looked up by name.
using SetShellWindowFn = BOOL(WINAPI*)(HWND);

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  if (::RegisterClassExW(&windowClass) == 0) {
    std::fprintf(stderr, "standin_shell: RegisterClassExW failed with %lu\n", ::GetLastError());
    return 1;
  }
  // Hidden: it must not cover what window tests look at on the screen.
  const HWND window = ::CreateWindowExW(0, kClassName, L"Program Manager", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                        instance, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "standin_shell: CreateWindowExW failed with %lu\n", ::GetLastError());
    return 3;
  }
  const auto setShellWindow = orv::ResolveProc<SetShellWindowFn>(::GetModuleHandleW(L"user32.dll"), "SetShellWindow");
  if (setShellWindow == nullptr || !setShellWindow(window)) return 2;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
