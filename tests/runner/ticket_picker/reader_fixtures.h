#pragma once
// Programs and shortcuts for the metadata reader's tests.

#include <windows.h>

#include <string>

namespace orv::test {

// Built beside the tests: a version block with a blank first translation and
// the product icon; no resources at all; a version block whose only listed
// translation is blank.
inline constexpr wchar_t kDescribedProgram[] = L"reader_described_program.exe";
inline constexpr wchar_t kBareProgram[] = L"reader_bare_program.exe";
inline constexpr wchar_t kUnlistedDescriptionProgram[] = L"reader_unlisted_description_program.exe";

// A shortcut saved through the shell; without a target when target is empty.
HRESULT SaveShellShortcut(const std::wstring& linkPath, const std::wstring& target);

// A shortcut whose only target is `target` kept unexpanded (for example
// "%VAR%\app.exe"), written from the shell-link file format: the shell's own
// SetPath would store such a path relative to the current folder.
bool WriteEnvironmentShortcut(const std::wstring& linkPath, const std::wstring& target);

}  // namespace orv::test
