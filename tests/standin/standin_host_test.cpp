// The stand-in engine driven end to end by a script, through the small host
// program standin_host.exe, and the engine library's import table.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/pe_image.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

struct HostRun {
  ProcessResult process;
  std::vector<std::string> transcript;
  std::vector<std::string> report;
};

HostRun RunHost(const std::string& script, const EnvironmentChanges& extra = {}) {
  TempFolder folder;
  const std::wstring scriptPath = folder / L"script.jsonl";
  const std::wstring transcriptPath = folder / L"transcript.jsonl";
  const std::wstring reportPath = folder / L"report.txt";
  EXPECT_TRUE(WriteWholeFile(scriptPath, script));
  EnvironmentChanges environment = extra;
  environment[L"FLUTTER_STANDIN_SCRIPT"] = scriptPath;
  environment[L"FLUTTER_STANDIN_TRANSCRIPT"] = transcriptPath;
  HostRun run;
  run.process = RunProcess(BinaryFolder() + L"\\standin_host.exe", {reportPath}, environment, BinaryFolder(), 60000);
  run.transcript = SplitLines(ReadWholeFile(transcriptPath).value_or(""));
  run.report = SplitLines(ReadWholeFile(reportPath).value_or(""));
  return run;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

size_t CountWith(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

// The lines that contain `part`, in transcript order.
std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) found.push_back(line);
  }
  return found;
}

const char* const kMainPlugins[] = {
    "DesktopMultiWindowPlugin", "FileSelectorWindows", "FlutterImePluginCApi", "FlutterTimezonePluginCApi",
    "MediaKitLibsWindowsVideoPluginCApi", "MediaKitVideoPluginCApi", "PasteboardPlugin",
    "ScreenRetrieverWindowsPluginCApi", "TrayManagerPlugin", "UrlLauncherWindows", "WebviewAllWindowsPlugin",
    "WindowManagerPlugin", "WindowsSingleInstancePlugin"};

const char kScript[] =
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"echo\",\"args\":{\"n\":1,\"big\":5000000000,"
    "\"f\":{\"$double\":2},\"b\":{\"$bytes\":\"00ff\"},\"l\":[true,null,\"s\"],\"i\":{\"$int64\":7}}}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"fail\",\"args\":\"why\"}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"drop\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"twice\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"later\",\"args\":null,\"timeoutMs\":20}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"later\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/none\",\"method\":\"anything\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"show\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"isVisible\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"hide\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"isVisible\",\"args\":null}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvCreateProtectedTemp\",\"args\":[\"x\"]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceFinish\",\"args\":[7,{\"$buffer\":64},64]}\n"
    "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_pop\",\"args\":[{\"$buffer\":32},32,{\"$buffer\":64},64]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvQuerySystemDns\",\"args\":[\"example.org\",4,8]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvGetUserContext\",\"args\":[]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvDnsWfpPreflight\",\"args\":[[\"{A}\",null],3,{\"$buffer\":8},8]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvSetUserProxy\",\"args\":[8080]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvNoSuchThing\",\"args\":[]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvCreateProtectedTemp\",\"args\":[]}\n"
    "not json\n"
    "{\"op\":\"dance\"}\n"
    "\n"
    "{\"op\":\"ffi\",\"name\":\"OrvQueryPhysicalDns\",\"args\":[\"example.org\",3,6,1]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceStart\",\"args\":[\"example.org\"]}\n"
    "{\"op\":\"secondary\"}\n"
    "{\"op\":\"wait\",\"ms\":400}\n"
    "{\"op\":\"quit\"}\n"
    "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"echo\",\"args\":\"after quit\"}\n";

class StandinHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { run_ = new HostRun(RunHost(kScript)); }
  static void TearDownTestSuite() {
    delete run_;
    run_ = nullptr;
  }
  static HostRun* run_;
};

HostRun* StandinHost::run_ = nullptr;

TEST_F(StandinHost, RunsTheScriptToItsQuit) {
  ASSERT_TRUE(run_->process.started);
  EXPECT_FALSE(run_->process.timedOut);
  EXPECT_EQ(run_->process.exitCode, 0u);
  EXPECT_TRUE(Has(run_->report, "exit"));
  ASSERT_FALSE(run_->transcript.empty());
  EXPECT_EQ(run_->transcript.front(),
            "{\"event\":\"engine\",\"window\":\"main\",\"assets\":\"data\\\\flutter_assets\",\"icu\":\"data\\\\icudtl."
            "dat\",\"aot\":\"data\\\\app.so\",\"args\":[\"--install\",\"\xC3\xA9t\xC3\xA9\"]}");
  EXPECT_TRUE(Has(run_->transcript, "{\"op\":\"quit\"}"));
  // Nothing runs after quit.
  EXPECT_EQ(CountWith(run_->transcript, "after quit"), 0u);
}

TEST_F(StandinHost, FirstFrameAndNextFrameCallbackOnThePlatformThread) {
  EXPECT_EQ(CountWith(run_->transcript, "{\"event\":\"frame\",\"window\":\"main\"}"), 1u);
  EXPECT_EQ(Matching(run_->report, "nextFrame"), std::vector<std::string>{"nextFrame platformThread=1"});
  EXPECT_EQ(CountWith(run_->transcript, "{\"event\":\"reloadFonts\",\"window\":\"main\"}"), 1u);
}

TEST_F(StandinHost, GraphicsAdapterComesFromTheEngineDevice) {
  const auto adapters = Matching(run_->report, "adapter main");
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_EQ(adapters[0].find("none"), std::string::npos) << adapters[0];
}

TEST_F(StandinHost, RegistrarsAndPluginsInOrder) {
  const auto main = Matching(Matching(run_->transcript, "\"window\":\"main\""), "\"event\":\"registrar\"");
  const auto plugins = Matching(Matching(run_->transcript, "\"window\":\"main\""), "\"event\":\"plugin\"");
  std::vector<std::string> expectedRegistrars;
  std::vector<std::string> expectedPlugins;
  int index = 1;
  for (const char* name : kMainPlugins) {
    expectedRegistrars.push_back(std::string("{\"event\":\"registrar\",\"name\":\"") + name + "\",\"window\":\"main\"}");
    expectedPlugins.push_back(std::string("{\"event\":\"plugin\",\"name\":\"") + name + "\",\"index\":" +
                              std::to_string(index++) + ",\"window\":\"main\"}");
  }
  for (const char* own : {"OrvRuntimeLogPolicy", "OrvTicketImagePicker", "OrvWindowCorner"}) {
    expectedRegistrars.push_back(std::string("{\"event\":\"registrar\",\"name\":\"") + own + "\",\"window\":\"main\"}");
  }
  EXPECT_EQ(main, expectedRegistrars);
  EXPECT_EQ(plugins, expectedPlugins);

  // Each plug-in's registration follows its own registrar.
  const auto& t = run_->transcript;
  for (size_t i = 0; i < std::size(kMainPlugins); ++i) {
    auto registrar = std::find(t.begin(), t.end(), expectedRegistrars[i]);
    ASSERT_NE(registrar, t.end());
    ASSERT_NE(registrar + 1, t.end());
    EXPECT_EQ(*(registrar + 1), expectedPlugins[i]);
  }
}

TEST_F(StandinHost, CallsAreAnsweredOnThePlatformThread) {
  const auto& t = run_->transcript;
  EXPECT_TRUE(Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"echo\",\"reply\":\"success\","
                     "\"value\":{\"b\":{\"$bytes\":\"00ff\"},\"big\":5000000000,\"f\":2.0,\"i\":7,\"l\":[true,null,"
                     "\"s\"],\"n\":1}}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"fail\",\"reply\":\"error\","
                     "\"code\":\"bad_thing\",\"message\":\"It failed.\",\"details\":\"why\"}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"drop\",\"reply\":\"unanswered\"}"));
  EXPECT_TRUE(
      Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"twice\",\"reply\":\"success\",\"value\":1}"));
  EXPECT_EQ(CountWith(t, "\"method\":\"twice\""), 1u);
  // The first "later" gives up before its answer comes; the answer is then dropped.
  EXPECT_TRUE(Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"later\",\"reply\":\"timeout\"}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/echo\",\"method\":\"later\",\"reply\":\"success\","
                     "\"value\":\"late answer\"}"));
  EXPECT_TRUE(
      Has(t, "{\"op\":\"call\",\"channel\":\"standin.test/none\",\"method\":\"anything\",\"reply\":\"notImplemented\"}"));
  EXPECT_EQ(CountWith(t, "wrong_thread"), 0u);
}

TEST_F(StandinHost, WindowManagerShowsAndHidesTheTopLevelWindow) {
  const auto calls = Matching(run_->transcript, "\"channel\":\"window_manager\"");
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"show\",\"reply\":\"success\","
                       "\"value\":null}",
                       "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"isVisible\",\"reply\":\"success\","
                       "\"value\":true}",
                       "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"hide\",\"reply\":\"success\","
                       "\"value\":null}",
                       "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"isVisible\",\"reply\":\"success\","
                       "\"value\":false}"}));
}

TEST_F(StandinHost, FfiCallsReportResultsAndOutParameters) {
  const auto& t = run_->transcript;
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvCreateProtectedTemp\",\"result\":0,\"out\":{\"outPath\":\"C:\\\\temp\\\\x\"}}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceFinish\",\"result\":0,\"out\":{\"written\":13,\"buffer\":"
                     "\"{\\\"traceId\\\":7}\"}}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_pop\",\"result\":1,\"out\":{\"levelOut\":\"WARN\","
                     "\"messageOut\":\"caf\xC3\xA9\"}}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvQuerySystemDns\",\"result\":0,\"out\":{\"count\":2,\"addresses\":["
                     "\"172.19.0.2\",\"10.0.0.1\"]}}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvGetUserContext\",\"result\":\"{\\\"user\\\":\\\"standin\\\"}\"}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvQueryPhysicalDns\",\"result\":0,\"out\":{\"count\":1,"
                     "\"addresses\":[\"::1\"]}}"));
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceStart\",\"result\":0,\"out\":{\"traceId\":4294967301}}"));
  // A count beyond the list reads null entries, never past the array.
  EXPECT_TRUE(Has(t, "{\"op\":\"ffi\",\"name\":\"OrvDnsWfpPreflight\",\"result\":0,\"out\":{\"written\":3,\"buffer\":"
                     "\"g--\"}}"));
}

TEST_F(StandinHost, BadLinesAndMissingExportsBecomeErrorLines) {
  const auto errors = Matching(run_->transcript, "\"op\":\"error\"");
  ASSERT_EQ(errors.size(), 5u);
  EXPECT_NE(errors[0].find("\"line\":18,"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("OrvSetUserProxy"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("\"line\":19,"), std::string::npos) << errors[1];
  EXPECT_NE(errors[1].find("OrvNoSuchThing"), std::string::npos) << errors[1];
  EXPECT_NE(errors[2].find("\"line\":20,"), std::string::npos) << errors[2];
  EXPECT_NE(errors[3].find("\"line\":21,"), std::string::npos) << errors[3];
  EXPECT_NE(errors[4].find("\"line\":22,"), std::string::npos) << errors[4];
  EXPECT_NE(errors[4].find("dance"), std::string::npos) << errors[4];
}

TEST_F(StandinHost, SecondaryWindowGetsItsEngineAndCallback) {
  const auto& t = run_->transcript;
  EXPECT_TRUE(Has(t, "{\"op\":\"secondary\",\"reply\":\"success\",\"value\":1}"));
  EXPECT_EQ(CountWith(t, "{\"event\":\"engine\",\"window\":\"secondary\""), 1u);
  EXPECT_EQ(CountWith(t, "{\"event\":\"frame\",\"window\":\"secondary\"}"), 1u);
  EXPECT_TRUE(Has(run_->report, "secondary platformThread=1 complete=1"));
  const auto adapters = Matching(run_->report, "adapter secondary");
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_EQ(adapters[0].find("none"), std::string::npos);

  const auto plugins = Matching(Matching(t, "\"window\":\"secondary\""), "\"event\":\"plugin\"");
  const char* const expected[] = {"FileSelectorWindows", "FlutterImePluginCApi", "FlutterTimezonePluginCApi",
                                  "PasteboardPlugin", "ScreenRetrieverWindowsPluginCApi", "WebviewAllWindowsPlugin",
                                  "WindowManagerPlugin"};
  ASSERT_EQ(plugins.size(), std::size(expected));
  for (size_t i = 0; i < plugins.size(); ++i) {
    EXPECT_EQ(plugins[i], std::string("{\"event\":\"plugin\",\"name\":\"") + expected[i] + "\",\"index\":" +
                              std::to_string(i + 1) + ",\"window\":\"secondary\"}");
  }
  const auto registrars = Matching(Matching(t, "\"window\":\"secondary\""), "\"event\":\"registrar\"");
  ASSERT_EQ(registrars.size(), 10u);
  EXPECT_EQ(registrars[0], "{\"event\":\"registrar\",\"name\":\"OrvRuntimeLogPolicy\",\"window\":\"secondary\"}");
}

TEST(StandinEngine, NoFrameWhenFirstFrameIsNever) {
  const HostRun run = RunHost("{\"op\":\"wait\",\"ms\":600}\n{\"op\":\"quit\"}\n",
                              {{L"FLUTTER_STANDIN_FIRST_FRAME_MS", L"never"}});
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_TRUE(Has(run.report, "exit"));
  EXPECT_EQ(CountWith(run.transcript, "\"event\":\"frame\""), 0u);
  EXPECT_EQ(CountWith(run.report, "nextFrame"), 0u);
}

TEST(StandinEngine, ImportsD3D11CreateDeviceByName) {
  const auto tables = ReadPeTables(BinaryFolder() + L"\\flutter_windows.dll");
  ASSERT_TRUE(tables.has_value());
  bool found = false;
  for (const PeImport& import : tables->imports) {
    std::string library = import.library;
    std::transform(library.begin(), library.end(), library.begin(), [](unsigned char c) { return std::tolower(c); });
    if (library != "d3d11.dll") continue;
    found = std::find(import.functions.begin(), import.functions.end(), "D3D11CreateDevice") != import.functions.end();
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace orv::test
