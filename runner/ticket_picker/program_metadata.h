#pragma once
// What the program picker shows and stores for a chosen executable or shortcut:
// the executable's full path, a display name, its icon as PNG, and the
// substitutions that had to be made.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace orv {

struct ProgramMetadata {
  HRESULT status = S_OK;           // 0 on success, the failing HRESULT otherwise
  std::string errorCode;           // channel error code on failure
  std::string errorMessage;        // "<detail>; HRESULT=<status in signed decimal>"
  std::wstring path;               // full path of the executable, shortcuts resolved
  std::wstring name;               // display name
  std::wstring executableName;     // file-name part of path
  std::vector<unsigned char> icon; // PNG file; empty when none could be made
  std::vector<std::string> warnings;
};

inline constexpr char kDescriptionUnavailableWarning[] = "FileDescription unavailable; using executable name";
inline constexpr char kIconUnavailableWarning[] = "Executable icon unavailable; using Windows application icon";
inline constexpr char kPngUnavailableWarning[] = "PNG icon unavailable";

// Runs on a thread that initialised COM as a single-threaded apartment. Never
// throws: every failure, exhausted memory included, is a record with status < 0.
ProgramMetadata ReadProgramMetadata(std::wstring_view path) noexcept;

}  // namespace orv
