#pragma once
// Exports that start programs for the interface. Both take the program file
// (required), its parameters and working folder (either may be null), and
// store the new process id; both return a Windows error code.

#include <windows.h>

extern "C" {
// Starts the program elevated ("runas"), or plainly when we already are.
DWORD WINAPI OrvLaunchElevated(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                               int* outProcessId) noexcept;
// Starts an installed app and brings its main window to the front when it appears.
DWORD WINAPI OrvLaunchInstalledApp(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                                   int* outProcessId) noexcept;
}
