#pragma once
// Hands the foreground from our window to a program we just started, once
// that program's main window exists, so it does not open behind us.

#include <windows.h>

namespace orv {

// The window class of the installed app's main window, by which its window is
// told apart from splash, tool and owned windows.
inline constexpr wchar_t kInstalledAppWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

// Waits (at most `boundMs`) for the started process's main window and brings it
// to the front, while one of our windows is the foreground window. Returns
// early once the foreground moves elsewhere or the process ends. Does nothing
// when we are not in front.
void HandOffForeground(HANDLE process, DWORD processId, DWORD boundMs) noexcept;

}  // namespace orv
