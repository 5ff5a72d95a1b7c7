// DLLs planted beside a copy of kilna.exe in an unpacked setup folder, under
// the names of the system DLLs the product uses. Windows looks beside the
// executable first for every system DLL that is not a KnownDLL; Wine prefers
// its own copies unless told to search as Windows does, which an override
// "native,builtin" for each name does (read by Wine's loader from the
// registry, per executable name). Each planted DLL leaves a mark when its
// code runs; in the elevated process none may ever run.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"
#include "tests/support/test_namespace.h"

namespace orv::test {
namespace {

// The system DLLs kilna.exe loads from the system folder at run time.
const std::vector<std::wstring> kPlanted = {L"comctl32", L"dnsapi",        L"dwmapi", L"fwpuclnt",
                                            L"tdh",      L"windowscodecs", L"wininet", L"wtsapi32"};
// Names that Wine's own libraries load by a search that starts beside the
// program, which Windows' do not: shell32 (a KnownDLL) loads version, and
// WinINet's delayed import of iphlpapi ignores SetDefaultDllDirectories when
// the per-connection options are read. Left out of the run that reads them.
const std::vector<std::wstring> kPulledInByWine = {L"iphlpapi", L"version"};
// iphlpapi is planted in a run that reaches everything but the proxy.
const std::vector<std::wstring> kPlantedWithoutProxy = {L"iphlpapi"};
// d3d11 and dxgi are left out too: the stand-in engine imports
// D3D11CreateDevice by name, as the renderer policy's import patch needs, so
// the loader resolves d3d11, and d3d11's own import of dxgi, by a search that
// starts beside the program before kilna.exe's entry runs.

constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\";

class PlantedSystemDlls : public ::testing::Test {
 public:
  void PlantFor(const std::wstring& program, const std::vector<std::wstring>& names) { Plant(program, names); }

 protected:
  void SetUp() override {
    folder_ = root_ / L"Kilna-setup";
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
  }

  void TearDown() override {
    for (const std::wstring& program : programs_) ::RegDeleteTreeW(HKEY_CURRENT_USER, (kAppDefaults + program).c_str());
  }

  // Puts the marking DLL beside `program` under each name, searched as Windows would.
  void Plant(const std::wstring& program, const std::vector<std::wstring>& names) {
    programs_.push_back(program);
    const std::wstring planted = BinaryFolder() + L"\\..\\planted_dll\\planted_dll.dll";
    const std::wstring overrides = kAppDefaults + program + L"\\DllOverrides";
    static constexpr wchar_t kNativeFirst[] = L"native,builtin";
    for (const std::wstring& name : names) {
      ASSERT_TRUE(::CopyFileW(planted.c_str(), (folder_ + L"\\" + name + L".dll").c_str(), FALSE)) << Narrow(name);
      ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, overrides.c_str(), name.c_str(), REG_SZ, kNativeFirst,
                                  sizeof(kNativeFirst)),
                ERROR_SUCCESS);
    }
  }

  // The planted names whose code ran.
  std::vector<std::wstring> Marks(const std::vector<std::wstring>& names) const {
    std::vector<std::wstring> ran;
    for (const std::wstring& name : names) {
      if (FileExists(folder_ + L"\\" + name + L".dll.loaded")) ran.push_back(name);
    }
    return ran;
  }

  static std::string Names(const std::vector<std::wstring>& names) {
    std::string text;
    for (const std::wstring& name : names) text += Narrow(name) + " ";
    return text;
  }

  TempFolder root_;
  std::wstring folder_;
  std::vector<std::wstring> programs_;
};

// A program that uses none of the planted names, with kilna.exe's KnownDLL
// imports: what loads beside it is the emulation's doing.
TEST_F(PlantedSystemDlls, OnlyTheNamesLeftOutArePulledInByWinesOwnLibraries) {
  ASSERT_TRUE(::CopyFileW((BinaryFolder() + L"\\known_dll_probe.exe").c_str(),
                          (folder_ + L"\\known_dll_probe.exe").c_str(), FALSE));
  std::vector<std::wstring> everything = kPlanted;
  everything.insert(everything.end(), kPulledInByWine.begin(), kPulledInByWine.end());
  Plant(L"known_dll_probe.exe", everything);
  // Its output stays out of this test's: WinINet's failed delayed import raises there.
  StartedProcess probe = StartProcess(folder_ + L"\\known_dll_probe.exe", {}, {}, folder_, root_ / L"probe.txt");
  ASSERT_TRUE(probe.started());
  ASSERT_FALSE(probe.Wait(30000).timedOut);
  EXPECT_EQ(Names(Marks(everything)), Names(kPulledInByWine));
}

// kilna.exe copied into the setup folder with `planted` beside it, driven
// through every feature that uses a system DLL (the proxy only if asked).
KilnaRun RunPlanted(PlantedSystemDlls& fixture, const std::wstring& folder, const std::vector<std::wstring>& planted,
                    bool readProxy) {
  const std::wstring copied = CopyKilnaInto(folder);
  EXPECT_FALSE(copied.empty());
  const std::wstring executable = folder + L"\\kilna-planted.exe";
  EXPECT_TRUE(::MoveFileW(copied.c_str(), executable.c_str()));
  fixture.PlantFor(L"kilna-planted.exe", planted);

  std::string program = "\"";
  for (char c : Narrow(executable)) program += c == '\\' ? std::string("\\\\") : std::string(1, c);
  program += "\"";
  KilnaOptions options;
  options.executable = executable;
  options.script = {
      R"({"op":"call","channel":"window_manager","method":"show","args":null})",
      R"({"op":"call","channel":"orv.net/window_corner","method":"configure","args":)"
      R"({"enabled":true,"borderRgb":2105376,"fillRgb":15790320,"shadowRgb":0}})",
      R"({"op":"ffi","name":"OrvQuerySystemDns","args":["host.test",4,8]})",
      R"({"op":"ffi","name":"OrvDnsWfpPreflight","args":[["{01234567-89AB-CDEF-0123-456789ABCDEF}"],1,{"$buffer":512},512]})",
      R"({"op":"ffi","name":"OrvDnsTraceStart","args":["host.test"]})",
      R"({"op":"ffi","name":"OrvDnsTraceFinish","args":[1,{"$buffer":4096},4096]})",
      R"({"op":"call","channel":"orv.net/ticket_image_picker","method":"readProgram","args":{"path":)" + program +
          "}}",
  };
  if (readProxy) options.script.push_back(R"({"op":"ffi","name":"OrvReadUserProxy","args":[]})");
  options.script.push_back(R"({"op":"quit"})");
  const KilnaRun run = RunKilna(options);
  EXPECT_TRUE(run.process.started);
  EXPECT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u) << "kilna.exe starts with the DLLs planted beside it\n" << run.output;

  std::vector<std::vector<std::string>> reached = {
      {R"("method":"configure")", R"("reply":"success")", R"("value":true)"},
      {R"("name":"OrvQuerySystemDns")", R"("result":)"},
      {R"("name":"OrvDnsWfpPreflight")", R"("result":0)", "unavailable"},
      {R"("name":"OrvDnsTraceStart")", R"("result":)"},
      {R"("method":"readProgram")", R"("reply":"success")", R"("icon":{"$bytes":"89504e47)"},
  };
  if (readProxy) reached.push_back({R"("name":"OrvReadUserProxy")", R"("result":)"});
  for (const auto& fragments : reached) {
    EXPECT_NE(FindTranscriptLine(run, fragments), "") << fragments.front() << " not reached";
  }
  return run;
}

TEST_F(PlantedSystemDlls, NoneRunsWhileTheInterfaceReachesEveryFeatureThatUsesThem) {
  const std::string why = WhyNotInTestNamespace();
  ASSERT_TRUE(why.empty()) << why;
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  RunPlanted(*this, folder_, kPlanted, true);
  EXPECT_EQ(Names(Marks(kPlanted)), "") << "planted DLLs whose code ran in kilna.exe";
}

TEST_F(PlantedSystemDlls, NoPlantedIpHelperRunsWhileEveryFeatureWithoutWinInetIsReached) {
  const std::string why = WhyNotInTestNamespace();
  ASSERT_TRUE(why.empty()) << why;
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  RunPlanted(*this, folder_, kPlantedWithoutProxy, false);
  EXPECT_EQ(Names(Marks(kPlantedWithoutProxy)), "") << "planted DLLs whose code ran in kilna.exe";
}

}  // namespace
}  // namespace orv::test
