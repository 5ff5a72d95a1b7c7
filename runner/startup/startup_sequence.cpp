#include "runner/startup/startup_sequence.h"

#include <windows.h>

#include <objbase.h>

#include <flutter/dart_project.h>
#include <flutter_windows.h>

#include "native/common/unique_resource.h"
#include "runner/diagnostics/startup_diagnostics.h"
#include "runner/renderer/renderer_policy.h"
#include "runner/startup/entry_steps.h"
#include "runner/window/flutter_window.h"
#include "runner/window/window_rules.h"

namespace orv {
namespace {

constexpr wchar_t kProductName[] = L"Kilna";
constexpr wchar_t kInstallerMutexName[] = L"Local\\TessalinOrvInstallerUi";
// Time the background log writer gets at exit to finish the last stages.
constexpr DWORD kDiagnosticsFlushMs = 2000;

// Holds the single-instance guard of installer mode; null when not installer
// mode or when the mutex could not be created.
bool AnotherInstallerRunning(UniqueHandle& guard) {
  guard.reset(::CreateMutexW(nullptr, FALSE, kInstallerMutexName));
  if (guard && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    guard.reset();
    return true;
  }
  return false;
}

// Centred on the primary screen at that screen's DPI, the DPI the window is
// then created at.
WindowPlacement PrimaryScreenPlacement(bool installerMode) {
  const UINT dpi = FlutterDesktopGetDpiForMonitor(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
  return ComputeWindowPlacement(installerMode, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), dpi);
}

int Exit(int code) {
  FlushStartupDiagnostics(kDiagnosticsFlushMs);
  return code;
}

}  // namespace

int RunStartupSequence(HMODULE engine) {
  if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::IsDebuggerPresent()) OpenDebugConsole();
  RecordStartupStage("runner.entry");

  const bool installerMode = IsSetupFolderLaunch() || HasInstallerSwitch();
  UniqueHandle installerGuard;
  if (installerMode && AnotherInstallerRunning(installerGuard)) return Exit(0);

  RecordStartupStage("runner.com.init.begin");
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  RecordStartupStage("runner.com.init.done");

  RecordStartupStage("runner.graphics.init.begin");
  if (!ApplyRendererPolicy(engine)) {
    RecordStartupStage("runner.graphics.init.failed");
    installerGuard.reset();
    ::CoUninitialize();
    return Exit(1);
  }
  RecordStartupStage("runner.graphics.init.done");

  flutter::DartProject project(L"data");
  project.set_dart_entrypoint_arguments(CommandLineArgumentsUtf8());

  FlutterWindow window(project);
  const WindowPlacement placement = PrimaryScreenPlacement(installerMode);
  RecordStartupStage("runner.window.create.begin");
  if (!window.Create(kProductName, {placement.x, placement.y}, {placement.width, placement.height})) {
    RecordStartupStage("runner.window.create.failed");
    installerGuard.reset();
    ::CoUninitialize();
    return Exit(1);
  }
  RecordStartupStage("runner.window.create.done");
  window.SetQuitWhenClosed(true);

  RecordStartupStage("runner.messageLoop.begin");
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  RecordStartupStage("runner.messageLoop.exit");
  ::CoUninitialize();
  installerGuard.reset();
  return Exit(0);
}

}  // namespace orv
