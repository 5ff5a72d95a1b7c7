#include "runner/startup/entry_steps.h"

#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <io.h>
#include <iostream>

#include <flutter_windows.h>

#include "native/common/unique_resource.h"
#include "runner/startup/entry_rules.h"

namespace orv {
namespace {

constexpr DWORD kSetupPathCapacity = 260;

using ArgumentList = UniqueLocal<LPWSTR*>;

ArgumentList ParseCommandLine(int& count) {
  count = 0;
  return ArgumentList(::CommandLineToArgvW(::GetCommandLineW(), &count));
}

void ReopenOnConsole(FILE* stream, int descriptor) {
  FILE* reopened = nullptr;
  if (::freopen_s(&reopened, "CONOUT$", "w", stream) != 0) ::_dup2(::_fileno(stdout), descriptor);
}

}  // namespace

void OpenDebugConsole() {
  if (!::AllocConsole()) return;
  ReopenOnConsole(stdout, 1);
  ReopenOnConsole(stderr, 2);
  std::ios::sync_with_stdio();
  FlutterDesktopResyncOutputStreams();
}

bool IsSetupFolderLaunch() {
  wchar_t path[kSetupPathCapacity];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, kSetupPathCapacity);
  if (length == 0 || length >= kSetupPathCapacity) return false;
  return IsSetupFolderPath(std::wstring_view(path, length));
}

bool HasInstallerSwitch() {
  int count = 0;
  const ArgumentList arguments = ParseCommandLine(count);
  if (!arguments) return false;
  for (int i = 1; i < count; ++i) {
    if (IsInstallerSwitch(arguments.get()[i])) return true;
  }
  return false;
}

std::vector<std::string> CommandLineArgumentsUtf8() {
  int count = 0;
  const ArgumentList arguments = ParseCommandLine(count);
  std::vector<std::string> result;
  if (!arguments) return result;
  for (int i = 1; i < count; ++i) result.push_back(Utf16ToUtf8(arguments.get()[i]));
  return result;
}

std::string Utf16ToUtf8(const wchar_t* text) {
  if (text == nullptr) return {};
  const size_t length = std::wcslen(text);
  bool ascii = true;
  for (size_t i = 0; i < length && ascii; ++i) ascii = text[i] <= 0x7F;
  if (ascii) return std::string(text, text + length);

  const int units = static_cast<int>(length);
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  if (needed > 0) {
    std::string out(static_cast<size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, text, units, out.data(), needed, nullptr, nullptr) > 0) return out;
  }
  return EncodeUtf8Fallback(std::u16string(text, text + length));
}

}  // namespace orv
