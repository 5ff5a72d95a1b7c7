// The renderer policy in real processes: the probe applies it to a test
// engine library, makes a device through it and checks the adapter. Firmware
// strings are set in the prefix's registry the way a virtual machine has them.

#include <windows.h>

#include <gtest/gtest.h>

#include <map>

#include "tests/support/process.h"

namespace orv::test {
namespace {

constexpr wchar_t kBiosKey[] = L"HARDWARE\\DESCRIPTION\\System\\BIOS";

// Sets the firmware strings for one test and puts the machine's back after.
class Firmware {
 public:
  Firmware(const wchar_t* manufacturer, const wchar_t* product) {
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBiosKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    Save(L"SystemManufacturer", manufacturer);
    Save(L"SystemProductName", product);
  }
  ~Firmware() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                         static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
      } else {
        ::RegDeleteValueW(key_, name.c_str());
      }
    }
    ::RegCloseKey(key_);
  }

 private:
  void Save(const std::wstring& name, const wchar_t* value) {
    wchar_t old[256];
    DWORD bytes = sizeof old;
    const bool had = ::RegGetValueW(key_, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, old, &bytes) == ERROR_SUCCESS;
    saved_[name] = had ? std::optional<std::wstring>(old) : std::nullopt;
    ::RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                     static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }

  HKEY key_ = nullptr;
  std::map<std::wstring, std::optional<std::wstring>> saved_;
};

struct Outcome {
  std::map<std::string, std::string> report;
  std::vector<std::string> graphics;  // text after "[graphics] "
};

Outcome RunProbe(const std::wstring& engine, EnvironmentChanges env = {}, const std::wstring& mode = L"") {
  TempFolder logs;
  TempFolder reportFolder;
  env.emplace(L"ORV_WINDOWS_RENDERER", std::nullopt);
  env.emplace(L"SESSIONNAME", std::nullopt);
  env[L"ORV_STARTUP_DIAGNOSTICS"] = std::nullopt;
  env[L"ORV_DIAGNOSTICS_DIR"] = logs.path();
  const std::wstring reportPath = reportFolder / L"report.txt";
  std::vector<std::wstring> arguments{reportPath, engine};
  if (!mode.empty()) arguments.push_back(mode);
  const auto result = RunProcess(BinaryFolder() + L"\\renderer_probe.exe", arguments, env, BinaryFolder());
  EXPECT_EQ(result.exitCode, 0u);
  Outcome outcome;
  for (const auto& line : SplitLines(ReadWholeFile(reportPath).value_or(""))) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) outcome.report[line.substr(0, eq)] = line.substr(eq + 1);
  }
  for (const auto& line : SplitLines(ReadWholeFile(logs / L"windows-renderer.log").value_or(""))) {
    const size_t at = line.find("[graphics] ");
    if (at != std::string::npos) outcome.graphics.push_back(line.substr(at + 11));
  }
  return outcome;
}

bool HasLineStartingWith(const Outcome& o, const std::string& prefix) {
  for (const auto& line : o.graphics) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

TEST(RendererPolicy, FirmwareDecidesTheCornerFallbackButNeverWarp) {
  struct Row {
    const wchar_t* manufacturer;
    const wchar_t* product;
    bool virtualHardware;
  };
  const Row rows[] = {
      {L"Microsoft Corporation", L"Virtual Machine", true},
      {L"innotek GmbH", L"VirtualBox", true},
      {L"QEMU", L"Standard PC (Q35 + ICH9, 2009)", true},
      {L"Dell Inc.", L"XPS 13 9310", false},
  };
  for (const auto& row : rows) {
    Firmware firmware(row.manufacturer, row.product);
    const Outcome o = RunProbe(L"d3d_import_client.dll");
    ASSERT_FALSE(o.graphics.empty());
    const std::string expected = std::string("policy=default remote=0 vmware=0 virtualHardware=") +
                                 (row.virtualHardware ? "1" : "0") +
                                 " cornerFallback=" + (row.virtualHardware ? "1" : "0");
    EXPECT_EQ(o.graphics[0], expected) << Narrow(row.product);
    EXPECT_EQ(o.report.at("corner"), row.virtualHardware ? "1" : "0");
    EXPECT_EQ(o.report.at("apply"), "1");
    EXPECT_FALSE(HasLineStartingWith(o, "D3D11CreateDevice driver=WARP"));
  }
}

TEST(RendererPolicy, HardwareDeviceIsAcceptedAndPublishedAsNotSoftware) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"d3d_import_client.dll");
  EXPECT_EQ(o.report.at("device"), "0");
  EXPECT_EQ(o.report.at("verify"), "1");
  EXPECT_EQ(o.report.at("usesSoftware"), "0");
  EXPECT_EQ(o.report.at("softwareAfter"), "0");
  EXPECT_EQ(o.report.at("secondaryNull"), "1");
  EXPECT_TRUE(HasLineStartingWith(o, "window=main adapter="));
  EXPECT_TRUE(HasLineStartingWith(o, "window=secondary adapter=unavailable vendor=0x0000 device=0x0000 flags=0x0 "
                                     "software=0 softwareEvidence=unavailable warpDevices=0 stage=adapter.inspect "
                                     "parent=graphics.adapterVerify status=failed durationMs="));
}

TEST(RendererPolicy, ForcedWarpRedirectsADirectlyImportedDeviceFactory) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"d3d_import_client.dll", {{L"ORV_WINDOWS_RENDERER", L" WARP\r\n"}});
  ASSERT_GE(o.graphics.size(), 3u);
  EXPECT_EQ(o.graphics[0], "policy=WARP remote=0 vmware=0 virtualHardware=0 cornerFallback=0");
  EXPECT_EQ(o.graphics[1], "engine WARP compatibility installed");
  EXPECT_EQ(o.graphics[2], "D3D11CreateDevice driver=WARP hr=0x00000000");
  EXPECT_EQ(o.report.at("device"), "0");
  // Wine's WARP device sits on its hardware adapter, so the check must refuse.
  EXPECT_TRUE(HasLineStartingWith(o, "window=main"));
  bool sawWarpCount = false;
  for (const auto& line : o.graphics) {
    if (line.rfind("window=main", 0) == 0) sawWarpCount = line.find(" warpDevices=1 ") != std::string::npos;
  }
  EXPECT_TRUE(sawWarpCount);
  EXPECT_EQ(o.report.at("verify"), "0");
  EXPECT_EQ(o.report.at("secondaryNull"), "0");
}

TEST(RendererPolicy, ForcedWarpRedirectsARunTimeLookupOfTheFactory) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"d3d_lookup_client.dll", {{L"ORV_WINDOWS_RENDERER", L"warp"}});
  EXPECT_EQ(o.report.at("apply"), "1");
  EXPECT_TRUE(HasLineStartingWith(o, "engine WARP compatibility installed"));
  EXPECT_TRUE(HasLineStartingWith(o, "D3D11CreateDevice driver=WARP hr=0x00000000"));
}

TEST(RendererPolicy, WarpWithoutAnEngineFailsAfterThePolicyLineOnly) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"none", {{L"ORV_WINDOWS_RENDERER", L"warp"}});
  EXPECT_EQ(o.report.at("apply"), "0");
  ASSERT_EQ(o.graphics.size(), 1u);
  EXPECT_EQ(o.graphics[0], "policy=WARP remote=0 vmware=0 virtualHardware=0 cornerFallback=0");
}

TEST(RendererPolicy, WarpIsRefusedWhenTheEngineReachesTheFactoryByNeitherRoute) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"d3d_none_client.dll", {{L"ORV_WINDOWS_RENDERER", L"warp"}});
  EXPECT_EQ(o.report.at("apply"), "0");
  ASSERT_EQ(o.graphics.size(), 2u);
  EXPECT_EQ(o.graphics[1], "ERROR: engine imports unsupported; refusing hardware fallback");
}

TEST(RendererPolicy, RemoteSessionNamesSelectWarpUnlessHardwareIsDemanded) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  Outcome o = RunProbe(L"d3d_import_client.dll", {{L"SESSIONNAME", L"RDP-Tcp#0"}});
  EXPECT_EQ(o.graphics.at(0), "policy=WARP remote=1 vmware=0 virtualHardware=0 cornerFallback=1");
  EXPECT_EQ(o.report.at("corner"), "1");

  o = RunProbe(L"d3d_import_client.dll", {{L"SESSIONNAME", L"rdp#3"}, {L"ORV_WINDOWS_RENDERER", L"Hardware"}});
  EXPECT_EQ(o.graphics.at(0), "policy=default remote=1 vmware=0 virtualHardware=0 cornerFallback=1");
  EXPECT_EQ(o.report.at("verify"), "1");

  o = RunProbe(L"d3d_import_client.dll", {{L"SESSIONNAME", L"Console"}, {L"ORV_WINDOWS_RENDERER", L"banana"}});
  EXPECT_EQ(o.graphics.at(0), "policy=default remote=0 vmware=0 virtualHardware=0 cornerFallback=0");
}

// The device hook runs inside the engine's graphics call: without memory for
// its line it must still hand back the device, count it, and not throw.
TEST(RendererPolicy, TheWarpHookWithoutMemoryForItsLineStillReturnsTheDevice) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"d3d_import_client.dll", {{L"ORV_WINDOWS_RENDERER", L"warp"}}, L"starved");
  EXPECT_EQ(o.report.at("apply"), "1");
  EXPECT_EQ(o.report.at("device"), "0");
  EXPECT_FALSE(HasLineStartingWith(o, "D3D11CreateDevice driver=WARP"));
  bool counted = false;
  for (const auto& line : o.graphics) {
    if (line.rfind("window=main", 0) == 0) counted = line.find(" warpDevices=1 ") != std::string::npos;
  }
  EXPECT_TRUE(counted);
}

// The startup stages the entry left in the log of a finished run.
std::vector<std::string> StagesIn(const std::string& log) {
  std::vector<std::string> stages;
  for (const auto& line : SplitLines(log)) {
    const size_t at = line.find(" stage=");
    if (at == std::string::npos || line.find("[startup]") == std::string::npos) continue;
    const size_t end = line.find(' ', at + 7);
    stages.push_back(line.substr(at + 7, end - at - 7));
  }
  return stages;
}

// The entry with an engine that reaches the device factory by neither route:
// forced WARP cannot be installed, so the process must end before any window.
TEST(RendererPolicy, TheEntryExitsWith1WhenThePolicyIsRefused) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  TempFolder logs;
  EnvironmentChanges env{{L"ORV_WINDOWS_RENDERER", L"warp"},
                         {L"SESSIONNAME", std::nullopt},
                         {L"ORV_STARTUP_DIAGNOSTICS", L"1"},
                         {L"ORV_DIAGNOSTICS_DIR", logs.path()}};
  const auto result = RunProcess(BinaryFolder() + L"\\entry_probe.exe", {L"d3d_none_client.dll"}, env, BinaryFolder());
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 1u);
  const std::vector<std::string> expected = {"runner.entry", "runner.com.init.begin", "runner.com.init.done",
                                             "runner.graphics.init.begin", "runner.graphics.init.failed"};
  const std::string log = ReadWholeFile(logs / L"windows-renderer.log").value_or("");
  EXPECT_EQ(StagesIn(log), expected) << log;
}

TEST(RendererPolicy, OnlyTheMainWindowsDescribedAdapterPublishesSoftwareRendering) {
  Firmware firmware(L"Dell Inc.", L"XPS 13 9310");
  const Outcome o = RunProbe(L"fakes", {{L"ORV_INTERNAL_SOFTWARE_RENDERING", L"1"}});
  EXPECT_EQ(o.report.at("software"), "0");  // reset when the policy is applied
  EXPECT_EQ(o.report.at("mainUndescribed"), "unset");
  EXPECT_EQ(o.report.at("secondarySoftware"), "unset");
  EXPECT_EQ(o.report.at("mainDxgiSoftware"), "1");
  EXPECT_EQ(o.report.at("mainHardware"), "0");
  EXPECT_EQ(o.report.at("mainBasicRender"), "1");
  EXPECT_EQ(o.report.at("usesSoftwareAfterBasicRender"), "1");
  EXPECT_EQ(o.report.at("mainUndescribedAfter"), "1");
  EXPECT_TRUE(HasLineStartingWith(o, "window=main adapter=Fake Adapter vendor=0x1414 device=0x008c flags=0x0 "
                                     "software=1 softwareEvidence=basicRenderIdentity"));
}

}  // namespace
}  // namespace orv::test
