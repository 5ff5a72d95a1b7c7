#pragma once
// Rules for where the startup diagnostics log goes and when stage lines are on.
// Portable: no Windows header.

#include <string>
#include <string_view>

namespace orv {

// Drive paths need a separator after the colon; otherwise only UNC and device
// prefixes (two separators followed by a name) count as absolute.
bool IsAbsoluteWindowsPath(std::wstring_view path);

// Stage lines are on only for ORV_STARTUP_DIAGNOSTICS exactly "1" together with
// a non-empty, absolute ORV_DIAGNOSTICS_DIR.
bool StartupDiagnosticsRequested(std::wstring_view flag, std::wstring_view directory);

// Joins a file name to a directory with one backslash, unless the directory is
// empty, already ends in a separator, or is a bare drive ("D:").
std::wstring JoinLogFilePath(std::wstring_view directory, std::wstring_view fileName);

// "C:\app\kilna.exe" -> "C:\app": the text before the last separator.
// False if the path has no separator.
[[nodiscard]] bool TextBeforeLastSeparator(std::wstring_view path, std::wstring_view& folder);

// The folder of a module path: its last component and the separators before it
// removed ("C:\app\\kilna.exe" -> "C:\app").
std::wstring_view ModuleFolder(std::wstring_view path);

}  // namespace orv
