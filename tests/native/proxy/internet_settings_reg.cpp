#include "tests/native/proxy/internet_settings_reg.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/process.h"

namespace orv::proxy::test {
namespace {

constexpr wchar_t kKey[] = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::wstring RegExe() {
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\reg.exe";
}

}  // namespace

void RegAddSetting(const wchar_t* name, const wchar_t* type, const wchar_t* data) {
  const orv::test::ProcessResult result =
      orv::test::RunProcess(RegExe(), {L"add", kKey, L"/v", name, L"/t", type, L"/d", data, L"/f"});
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u) << "reg add " << orv::test::Narrow(name);
}

void RegDeleteSetting(const wchar_t* name) {
  // A value that is already gone is fine.
  orv::test::RunProcess(RegExe(), {L"delete", kKey, L"/v", name, L"/f"});
}

std::wstring RegExportSettings() {
  orv::test::TempFolder folder;
  const std::wstring file = folder / L"settings.reg";
  const orv::test::ProcessResult result = orv::test::RunProcess(RegExe(), {L"export", kKey, file, L"/y"});
  EXPECT_EQ(result.exitCode, 0u);
  const auto bytes = orv::test::ReadWholeFile(file);
  std::wstring text;
  if (!bytes) return text;
  for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>((*bytes)[i]) |
                                        (static_cast<unsigned char>((*bytes)[i + 1]) << 8)));
  }
  return text;
}

void RegWriteManualProxy() {
  RegAddSetting(L"ProxyEnable", L"REG_DWORD", L"1");
  RegAddSetting(L"ProxyServer", L"REG_SZ", L"proxy.example:3128");
  RegAddSetting(L"ProxyOverride", L"REG_SZ", L"<local>");
  RegDeleteSetting(L"AutoConfigURL");
}

}  // namespace orv::proxy::test
