// A small host for the stand-in engine, playing the runner's part: a
// top-level window with a view controller, the plug-in libraries registered
// in the runner's order, a test channel, and a few exports for the script's
// ffi steps. What only the host can see (the next-frame callback, the
// adapter, the secondary-window callback) goes to the report file named by
// the first argument, one "key value" line each.

#include <windows.h>

#include <dxgi.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "flutter/dart_project.h"
#include "flutter/flutter_view_controller.h"
#include "flutter/method_channel.h"
#include "flutter/standard_method_codec.h"

namespace {

constexpr wchar_t kWindowClass[] = L"StandinTestHost";

FILE* g_report = nullptr;
DWORD g_platformThread = 0;
std::unique_ptr<flutter::FlutterViewController> g_controller;
std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> g_channel;
std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> g_later;

void Report(const std::string& line) {
  if (g_report == nullptr) return;
  std::fprintf(g_report, "%s\n", line.c_str());
  std::fflush(g_report);
}

const char* OnPlatform() { return ::GetCurrentThreadId() == g_platformThread ? "1" : "0"; }

using RegisterFn = void (*)(FlutterDesktopPluginRegistrarRef);

void RegisterPlugin(flutter::FlutterEngine* engine, const wchar_t* library, const char* name, const char* exportName) {
  HMODULE module = ::LoadLibraryW(library);
  auto* fn = module != nullptr ? reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(::GetProcAddress(module, exportName)))
                               : nullptr;
  if (fn == nullptr) {
    Report(std::string("missingPlugin ") + name);
    return;
  }
  fn(engine->GetRegistrarForPlugin(name));
}

struct PluginEntry {
  const wchar_t* library;
  const char* name;
  const char* exportName;
};

const PluginEntry kPlugins[] = {
    {L"desktop_multi_window_plugin.dll", "DesktopMultiWindowPlugin", "DesktopMultiWindowPluginRegisterWithRegistrar"},
    {L"file_selector_windows_plugin.dll", "FileSelectorWindows", "FileSelectorWindowsRegisterWithRegistrar"},
    {L"flutter_ime_plugin.dll", "FlutterImePluginCApi", "FlutterImePluginCApiRegisterWithRegistrar"},
    {L"flutter_timezone_plugin.dll", "FlutterTimezonePluginCApi", "FlutterTimezonePluginCApiRegisterWithRegistrar"},
    {L"media_kit_libs_windows_video_plugin.dll", "MediaKitLibsWindowsVideoPluginCApi",
     "MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar"},
    {L"media_kit_video_plugin.dll", "MediaKitVideoPluginCApi", "MediaKitVideoPluginCApiRegisterWithRegistrar"},
    {L"pasteboard_plugin.dll", "PasteboardPlugin", "PasteboardPluginRegisterWithRegistrar"},
    {L"screen_retriever_windows_plugin.dll", "ScreenRetrieverWindowsPluginCApi",
     "ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar"},
    {L"tray_manager_plugin.dll", "TrayManagerPlugin", "TrayManagerPluginRegisterWithRegistrar"},
    {L"url_launcher_windows_plugin.dll", "UrlLauncherWindows", "UrlLauncherWindowsRegisterWithRegistrar"},
    {L"webview_all_windows_plugin.dll", "WebviewAllWindowsPlugin", "WebviewAllWindowsPluginRegisterWithRegistrar"},
    {L"window_manager_plugin.dll", "WindowManagerPlugin", "WindowManagerPluginRegisterWithRegistrar"},
    {L"windows_single_instance_plugin.dll", "WindowsSingleInstancePlugin",
     "WindowsSingleInstancePluginRegisterWithRegistrar"},
};

void ReportAdapter(flutter::FlutterViewController& controller, const char* window) {
  IDXGIAdapter* adapter = controller.engine()->GetGraphicsAdapter();
  DXGI_ADAPTER_DESC description = {};
  if (adapter == nullptr || FAILED(adapter->GetDesc(&description))) {
    Report(std::string("adapter ") + window + " none");
  } else {
    Report(std::string("adapter ") + window + " vendor=" + std::to_string(description.VendorId));
  }
  if (adapter != nullptr) adapter->Release();
}

void OnSecondaryWindow(void* raw) {
  auto* controller = static_cast<flutter::FlutterViewController*>(raw);
  const bool complete = controller != nullptr && controller->engine() != nullptr && controller->view() != nullptr;
  Report(std::string("secondary platformThread=") + OnPlatform() + " complete=" + (complete ? "1" : "0"));
  if (!complete) return;
  ReportAdapter(*controller, "secondary");
  flutter::FlutterEngine* engine = controller->engine();
  engine->GetRegistrarForPlugin("OrvRuntimeLogPolicy");
  engine->GetRegistrarForPlugin("OrvWindowCorner");
  engine->GetRegistrarForPlugin("OrvTicketImagePicker");
  for (const char* name : {"FileSelectorWindows", "FlutterImePluginCApi", "FlutterTimezonePluginCApi",
                           "PasteboardPlugin", "ScreenRetrieverWindowsPluginCApi", "WebviewAllWindowsPlugin",
                           "WindowManagerPlugin"}) {
    for (const PluginEntry& entry : kPlugins) {
      if (std::strcmp(entry.name, name) == 0) RegisterPlugin(engine, entry.library, entry.name, entry.exportName);
    }
  }
}

void HandleTestCall(const flutter::MethodCall<flutter::EncodableValue>& call,
                    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  if (::GetCurrentThreadId() != g_platformThread) {
    result->Error("wrong_thread", "Calls must arrive on the platform thread.");
    return;
  }
  const std::string& method = call.method_name();
  if (method == "echo") {
    result->Success(*call.arguments());
  } else if (method == "fail") {
    result->Error("bad_thing", "It failed.", *call.arguments());
  } else if (method == "drop") {
    result.reset();
  } else if (method == "twice") {
    result->Success(flutter::EncodableValue(1));
    result->Success(flutter::EncodableValue(2));
    result->Error("late", "Too late.");
  } else if (method == "later") {
    g_later = std::move(result);
    ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
      ::KillTimer(nullptr, id);
      if (g_later) g_later->Success(flutter::EncodableValue("late answer"));
      g_later.reset();
    });
  } else {
    result->NotImplemented();
  }
}

bool StartEngine(HWND window) {
  RECT client;
  ::GetClientRect(window, &client);
  flutter::DartProject project(L"data");
  project.set_dart_entrypoint_arguments({"--install", "\xC3\xA9t\xC3\xA9"});
  g_controller = std::make_unique<flutter::FlutterViewController>(client.right, client.bottom, project);
  if (g_controller->engine() == nullptr || g_controller->view() == nullptr) {
    Report("controller incomplete");
    return false;
  }
  flutter::FlutterEngine* engine = g_controller->engine();
  engine->SetNextFrameCallback([] { Report(std::string("nextFrame platformThread=") + OnPlatform()); });
  ReportAdapter(*g_controller, "main");

  for (const PluginEntry& entry : kPlugins) RegisterPlugin(engine, entry.library, entry.name, entry.exportName);
  engine->GetRegistrarForPlugin("OrvRuntimeLogPolicy");
  engine->GetRegistrarForPlugin("OrvTicketImagePicker");
  g_channel = std::make_unique<flutter::MethodChannel<flutter::EncodableValue>>(
      engine->messenger(), "standin.test/echo", &flutter::StandardMethodCodec::GetInstance());
  g_channel->SetMethodCallHandler(HandleTestCall);

  using SetCallbackFn = void (*)(void (*)(void*));
  auto* setCallback = reinterpret_cast<SetCallbackFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"desktop_multi_window_plugin.dll"), "DesktopMultiWindowSetWindowCreatedCallback")));
  if (setCallback != nullptr) setCallback(&OnSecondaryWindow);

  HWND view = g_controller->view()->GetNativeWindow();
  ::SetParent(view, window);
  ::MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
  engine->GetRegistrarForPlugin("OrvWindowCorner");
  return true;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_controller) {
    if (auto handled = g_controller->HandleTopLevelWindowProc(window, message, wparam, lparam)) return *handled;
  }
  switch (message) {
    case WM_FONTCHANGE:
      if (g_controller) g_controller->engine()->ReloadSystemFonts();
      return 0;
    case WM_DESTROY:
      g_channel.reset();
      g_later.reset();
      g_controller.reset();
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

// Test doubles of a few of the product's exports, so the ffi steps have
// something to call with each kind of argument and out parameter.
extern "C" {

__declspec(dllexport) DWORD OrvCreateProtectedTemp(const wchar_t* name, wchar_t** outPath) {
  if (name == nullptr || outPath == nullptr) return ERROR_INVALID_PARAMETER;
  const std::wstring path = std::wstring(L"C:\\temp\\") + name;
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc((path.size() + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(copy, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
  *outPath = copy;
  return 0;
}

__declspec(dllexport) DWORD OrvDnsTraceFinish(uint64_t traceId, uint8_t* buffer, uint32_t bufferSize, uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (buffer == nullptr || written == nullptr) return ERROR_INVALID_PARAMETER;
  const std::string json = "{\"traceId\":" + std::to_string(traceId) + "}";
  if (json.size() > bufferSize) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(buffer, json.data(), json.size());
  *written = static_cast<uint32_t>(json.size());
  return 0;
}

__declspec(dllexport) int orv_kernel_log_pop(char* levelOut, int levelCapacity, char* messageOut, int messageCapacity) {
  if (levelOut == nullptr || messageOut == nullptr || levelCapacity < 1 || messageCapacity < 1) return 0;
  std::snprintf(levelOut, static_cast<size_t>(levelCapacity), "%s", "WARN");
  std::snprintf(messageOut, static_cast<size_t>(messageCapacity), "%s", "caf\xC3\xA9");
  return 1;
}

__declspec(dllexport) DWORD OrvQuerySystemDns(const wchar_t* name, int32_t family, uint8_t* addresses,
                                              uint32_t capacity, uint32_t* count) {
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  *count = 0;
  if (name == nullptr || family != 4 || addresses == nullptr || capacity < 2) return ERROR_INVALID_PARAMETER;
  const uint8_t answers[] = {172, 19, 0, 2, 10, 0, 0, 1};
  std::memcpy(addresses, answers, sizeof answers);
  *count = 2;
  return 0;
}

__declspec(dllexport) DWORD OrvQueryPhysicalDns(const wchar_t* name, uint32_t interfaceIndex, int32_t family,
                                                uint8_t* addresses, uint32_t capacity, uint32_t* count) {
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  *count = 0;
  if (name == nullptr || interfaceIndex == 0 || family != 6 || addresses == nullptr || capacity < 1)
    return ERROR_INVALID_PARAMETER;
  const uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  std::memcpy(addresses, loopback, sizeof loopback);
  *count = 1;
  return 0;
}

__declspec(dllexport) DWORD OrvDnsTraceStart(const wchar_t* name, uint64_t* traceId) {
  if (traceId == nullptr || name == nullptr) return ERROR_INVALID_PARAMETER;
  *traceId = (uint64_t{1} << 32) + 5;
  return 0;
}

__declspec(dllexport) const char* OrvGetUserContext() { return "{\"user\":\"standin\"}"; }

__declspec(dllexport) DWORD OrvDnsWfpPreflight(const wchar_t** guids, uint32_t count, uint8_t* buffer,
                                               uint32_t bufferSize, uint32_t* written) {
  if (written == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
  std::string joined;
  for (uint32_t i = 0; i < count; ++i) {
    joined += guids[i] != nullptr ? "g" : "-";
  }
  if (joined.size() > bufferSize) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(buffer, joined.data(), joined.size());
  *written = static_cast<uint32_t>(joined.size());
  return 0;
}

}  // extern "C"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  g_report = _wfopen(argv[1], L"wb");
  if (g_report == nullptr) return 3;
  g_platformThread = ::GetCurrentThreadId();
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &HostProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, kWindowClass, L"Standin host", WS_OVERLAPPEDWINDOW, 40, 40, 640, 480, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    Report("window failed");
    return 4;
  }
  if (!StartEngine(window)) return 5;
  ::SendMessageW(window, WM_FONTCHANGE, 0, 0);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  Report("exit");
  std::fclose(g_report);
  return 0;
}
