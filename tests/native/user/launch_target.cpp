// A program for the launch tests to start. Its arguments choose what it does:
//   --record=PATH   write its command line and current folder (UTF-8, one per line)
//   --window=KIND   after the delay show: runner (the installed app's main window,
//                   without activating it), other (another class), owned (a runner
//                   window with an owner), minimised, front (another class,
//                   activated and brought to the front), or none (the default)
//   --delay=MS      wait before showing the window
//   --stay=MS       keep running this long (default: exit at once)

#include <windows.h>

#include <shellapi.h>

#include <string>

#include "native/user/foreground_handoff.h"

namespace {

constexpr wchar_t kOtherClass[] = L"KilnaLaunchTargetOther";

struct Options {
  std::wstring record;
  std::wstring window = L"none";
  DWORD delayMs = 0;
  DWORD stayMs = 0;
};

Options ReadOptions() {
  Options options;
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; argv != nullptr && i < count; ++i) {
    const std::wstring arg = argv[i];
    auto value = [&](const wchar_t* name) -> const wchar_t* {
      const std::wstring prefix = std::wstring(name) + L"=";
      return arg.rfind(prefix, 0) == 0 ? arg.c_str() + prefix.size() : nullptr;
    };
    if (const wchar_t* v = value(L"--record")) options.record = v;
    if (const wchar_t* v = value(L"--window")) options.window = v;
    if (const wchar_t* v = value(L"--delay")) options.delayMs = static_cast<DWORD>(_wtoi(v));
    if (const wchar_t* v = value(L"--stay")) options.stayMs = static_cast<DWORD>(_wtoi(v));
  }
  ::LocalFree(argv);
  return options;
}

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

void Record(const std::wstring& path) {
  wchar_t folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, folder);
  const std::string text = Utf8(::GetCommandLineW()) + "\n" + Utf8(folder) + "\n";
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

HWND Create(const wchar_t* className, HWND owner) {
  return ::CreateWindowExW(0, className, L"launch target", WS_OVERLAPPEDWINDOW, 40, 40, 240, 160, owner, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

void ShowWindowOfKind(const std::wstring& kind) {
  if (kind == L"runner") {
    ::ShowWindow(Create(orv::kInstalledAppWindowClass, nullptr), SW_SHOWNOACTIVATE);
  } else if (kind == L"other") {
    ::ShowWindow(Create(kOtherClass, nullptr), SW_SHOWNOACTIVATE);
  } else if (kind == L"owned") {
    ::ShowWindow(Create(orv::kInstalledAppWindowClass, Create(kOtherClass, nullptr)), SW_SHOWNOACTIVATE);
  } else if (kind == L"minimised") {
    ::ShowWindow(Create(orv::kInstalledAppWindowClass, nullptr), SW_SHOWMINNOACTIVE);
  } else if (kind == L"front") {
    const HWND window = Create(kOtherClass, nullptr);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
  }
}

void RegisterClasses() {
  for (const wchar_t* name : {orv::kInstalledAppWindowClass, kOtherClass}) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    ::RegisterClassW(&windowClass);
  }
}

// Runs the message loop until the stay is over.
void Stay(ULONGLONG until) {
  for (ULONGLONG now = ::GetTickCount64(); now < until; now = ::GetTickCount64()) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const ULONGLONG start = ::GetTickCount64();
  const Options options = ReadOptions();
  if (!options.record.empty()) Record(options.record);
  if (options.stayMs == 0) return 0;
  RegisterClasses();
  ::Sleep(options.delayMs);
  ShowWindowOfKind(options.window);
  Stay(start + options.stayMs);
  return 0;
}
