// The built kilna.exe as a file and as a process: what it exports, what its
// manifest asks for, and that it starts under the loader at all.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <regex>

#include "tests/support/pe_image.h"
#include "tests/support/process.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

std::wstring Kilna() { return BinaryFolder() + L"\\kilna.exe"; }

TEST(KilnaImage, ExportsExactlyTheUndecoratedNamesOfTheDefinitionFile) {
  const auto def = ReadWholeFile(BinaryFolder() + L"\\kilna.def");
  ASSERT_TRUE(def.has_value());
  auto expected = ReadDefExports(*def);
  const auto tables = ReadPeTables(Kilna());
  ASSERT_TRUE(tables.has_value());
  auto actual = tables->exports;
  std::sort(expected.begin(), expected.end());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual, expected);
  for (const auto& name : actual) EXPECT_EQ(name.find_first_of("@?"), std::string::npos) << name;
}

// The engine library's public embedding API that the product calls. Anything
// else imported from flutter_windows.dll would only resolve against our
// stand-in, and the product would not load against a real engine.
constexpr const char* kPublicEngineApi[] = {
    "FlutterDesktopEngineCreate",
    "FlutterDesktopEngineDestroy",
    "FlutterDesktopEngineGetGraphicsAdapter",
    "FlutterDesktopEngineGetMessenger",
    "FlutterDesktopEngineGetPluginRegistrar",
    "FlutterDesktopEngineProcessMessages",
    "FlutterDesktopEngineReloadSystemFonts",
    "FlutterDesktopEngineRun",
    "FlutterDesktopEngineSetNextFrameCallback",
    "FlutterDesktopGetDpiForHWND",
    "FlutterDesktopGetDpiForMonitor",
    "FlutterDesktopMessengerAddRef",
    "FlutterDesktopMessengerIsAvailable",
    "FlutterDesktopMessengerLock",
    "FlutterDesktopMessengerRelease",
    "FlutterDesktopMessengerSend",
    "FlutterDesktopMessengerSendResponse",
    "FlutterDesktopMessengerSendWithReply",
    "FlutterDesktopMessengerSetCallback",
    "FlutterDesktopMessengerUnlock",
    "FlutterDesktopPluginRegistrarGetMessenger",
    "FlutterDesktopPluginRegistrarGetView",
    "FlutterDesktopPluginRegistrarRegisterTopLevelWindowProcDelegate",
    "FlutterDesktopPluginRegistrarSetDestructionHandler",
    "FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate",
    "FlutterDesktopResyncOutputStreams",
    "FlutterDesktopViewControllerCreate",
    "FlutterDesktopViewControllerDestroy",
    "FlutterDesktopViewControllerForceRedraw",
    "FlutterDesktopViewControllerGetEngine",
    "FlutterDesktopViewControllerGetView",
    "FlutterDesktopViewControllerHandleTopLevelWindowProc",
    "FlutterDesktopViewGetHWND",
};

TEST(KilnaImage, ImportsOnlyThePublicEngineApiFromTheEngineLibrary) {
  const auto tables = ReadPeTables(Kilna());
  ASSERT_TRUE(tables.has_value());
  const PeImport* engine = nullptr;
  for (const auto& import : tables->imports) {
    std::string library = import.library;
    std::transform(library.begin(), library.end(), library.begin(), [](unsigned char c) { return std::tolower(c); });
    if (library == "flutter_windows.dll") engine = &import;
  }
  ASSERT_NE(engine, nullptr);
  const auto& used = engine->functions;
  for (const auto& name : used) {
    EXPECT_NE(std::find(std::begin(kPublicEngineApi), std::end(kPublicEngineApi), name), std::end(kPublicEngineApi))
        << name;
    EXPECT_NE(name.rfind("FlutterStandin", 0), 0u) << name;
  }
  // The adapter comes from the engine, as the renderer check expects.
  EXPECT_NE(std::find(used.begin(), used.end(), "FlutterDesktopEngineGetGraphicsAdapter"), used.end());
}

TEST(KilnaImage, ManifestAsksForAdministratorPerMonitorDpiAndListsFourSystems) {
  HMODULE image = ::LoadLibraryExW(Kilna().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  HRSRC resource = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(resource, nullptr);
  const DWORD size = ::SizeofResource(image, resource);
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(image, resource)));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, size);
  ::FreeLibrary(image);

  EXPECT_TRUE(std::regex_search(manifest, std::regex(R"(requestedExecutionLevel\s+level="requireAdministrator")")));
  EXPECT_TRUE(std::regex_search(manifest, std::regex(R"(<dpiAwareness[^>]*>\s*PerMonitorV2\s*<)")));
  for (const char* id : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(std::string("supportedOS Id=\"") + id + "\""), std::string::npos) << id;
  }
}

TEST(KilnaImage, CarriesTheApplicationIconInSeveralSizes) {
  HMODULE image = ::LoadLibraryExW(Kilna().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  for (int size : {16, 24, 32, 48}) {
    HICON icon = static_cast<HICON>(::LoadImageW(image, MAKEINTRESOURCEW(101), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
  ::FreeLibrary(image);
}

TEST(KilnaProcess, StartsAndLeavesTheEntryStageInTheStartupLog) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  TempFolder logs;
  const auto result = RunProcess(Kilna(), {}, {{L"ORV_STARTUP_DIAGNOSTICS", L"1"}, {L"ORV_DIAGNOSTICS_DIR", logs.path()}});
  ASSERT_TRUE(result.started);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u);
  const auto text = ReadWholeFile(logs / L"windows-renderer.log");
  ASSERT_TRUE(text.has_value());
  const auto lines = SplitLines(*text);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} pid=\d+ tid=\d+ \[startup\] run=\d+-\d+ stage=runner\.entry elapsedMs=\d+)")))
      << lines[0];
}

TEST(KilnaProcess, WithoutADesktopShellExitsWith1312BeforeAnyStage) {
  ASSERT_EQ(ShellWindowProcessId(), 0u) << "a shell window is left over";
  TempFolder work;
  const auto result = RunProcess(Kilna(), {},
                                 {{L"ORV_STARTUP_DIAGNOSTICS", L"1"},
                                  {L"ORV_DIAGNOSTICS_DIR", work.path()},
                                  {L"FLUTTER_STANDIN_TRANSCRIPT", work / L"transcript.jsonl"}});
  ASSERT_TRUE(result.started);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_NO_SUCH_LOGON_SESSION));
  // No stage line and no engine: nothing ran after the capture.
  EXPECT_EQ(ReadWholeFile(work / L"windows-renderer.log").value_or(""), "");
  EXPECT_FALSE(FileExists(work / L"transcript.jsonl"));
}

}  // namespace
}  // namespace orv::test
