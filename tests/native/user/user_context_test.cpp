// The interactive user context, captured by fresh probe processes with the
// shell stand-in running: the text, the environment, the hive override, and
// each way the capture refuses.

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "native/user/sdk_additions_errors.h"
#include "tests/native/user/user_probe_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Reads a compact flat JSON object of string and boolean values, decoding the
// escapes the quoter writes. Anything else (spaces, nesting, null) is refused.
std::optional<Fields> ParseFlatObject(const std::string& text) {
  Fields fields;
  size_t at = 0;
  auto readString = [&](std::string& out) {
    if (at >= text.size() || text[at] != '"') return false;
    for (++at; at < text.size(); ++at) {
      const char c = text[at];
      if (c == '"') {
        ++at;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (++at >= text.size()) return false;
      if (text[at] == '"' || text[at] == '\\') {
        out.push_back(text[at]);
      } else if (text[at] == 'u' && at + 4 < text.size() && text.compare(at + 1, 2, "00") == 0) {
        out.push_back(static_cast<char>(std::stoi(text.substr(at + 3, 2), nullptr, 16)));
        at += 4;
      } else {
        return false;
      }
    }
    return false;
  };
  if (text.empty() || text[at++] != '{') return std::nullopt;
  while (true) {
    std::string key, value;
    if (!readString(key) || at >= text.size() || text[at++] != ':') return std::nullopt;
    if (text.compare(at, 4, "true") == 0 || text.compare(at, 5, "false") == 0) {
      value = text[at] == 't' ? "true" : "false";
      at += value.size();
    } else if (!readString(value)) {
      return std::nullopt;
    }
    fields.emplace_back(key, value);
    if (at >= text.size()) return std::nullopt;
    const char next = text[at++];
    if (next == '}') return at == text.size() ? std::optional<Fields>(fields) : std::nullopt;
    if (next != ',') return std::nullopt;
  }
}

std::string Field(const Fields& fields, const std::string& key) {
  for (const auto& [k, v] : fields) {
    if (k == key) return v;
  }
  return "<absent>";
}

std::string OwnKnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) result = Narrow(path);
  ::CoTaskMemFree(path);
  return result;
}

// What the probe starts from, so a capture that does not set a variable shows.
const EnvironmentChanges kStaleProfile = {{L"TEMP", L"C:\\stale\\temp"},
                                          {L"TMP", L"C:\\stale\\tmp"},
                                          {L"USERPROFILE", L"C:\\stale\\profile"},
                                          {L"APPDATA", L"C:\\stale\\roaming"},
                                          {L"LOCALAPPDATA", L"C:\\stale\\local"}};

std::wstring RegExe() {
  wchar_t system[MAX_PATH];
  ::GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\reg.exe";
}

class UserContextCapture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { shell_ = std::make_unique<ShellStandIn>(); }
  static void TearDownTestSuite() { shell_.reset(); }
  void SetUp() override { ASSERT_TRUE(shell_->ready()) << shell_->problem(); }

  static std::unique_ptr<ShellStandIn> shell_;
};

std::unique_ptr<ShellStandIn> UserContextCapture::shell_;

TEST_F(UserContextCapture, WritesTheThirteenKeysInOrderFromTheShellUsersFolders) {
  const auto report = RunUserProbe(L"capture", {}, kStaleProfile);
  ASSERT_EQ(report.process.exitCode, 0u) << report["calls"];
  const std::string text = report["context"];
  const auto fields = ParseFlatObject(text);
  ASSERT_TRUE(fields.has_value()) << text;

  std::vector<std::string> keys;
  for (const auto& [key, value] : *fields) keys.push_back(key);
  const std::vector<std::string> expected = {"userSid",     "userProfile",      "roamingAppData", "localAppData",
                                             "tempDirectory", "programData",    "windowsDirectory", "isElevated",
                                             "desktop",     "programs",         "startMenu",      "documents",
                                             "downloads"};
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(text.rfind("{\"userSid\":\"S-1-5-", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\"}");
  EXPECT_EQ(Field(*fields, "isElevated"), "true");
  EXPECT_EQ(Field(*fields, "tempDirectory"), Field(*fields, "localAppData") + "\\Temp");

  // The probe runs as the same user as this test, so the folders must match ours.
  const std::pair<const char*, const KNOWNFOLDERID*> folders[] = {
      {"userProfile", &FOLDERID_Profile},   {"roamingAppData", &FOLDERID_RoamingAppData},
      {"localAppData", &FOLDERID_LocalAppData}, {"programData", &FOLDERID_ProgramData},
      {"desktop", &FOLDERID_Desktop},       {"programs", &FOLDERID_Programs},
      {"startMenu", &FOLDERID_StartMenu},   {"documents", &FOLDERID_Documents},
      {"downloads", &FOLDERID_Downloads}};
  for (const auto& [key, id] : folders) {
    EXPECT_FALSE(Field(*fields, key).empty()) << key;
    EXPECT_EQ(Field(*fields, key), OwnKnownFolder(*id)) << key;
  }
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(Field(*fields, "windowsDirectory"), Narrow(windows));
  EXPECT_EQ(report["programData"], Field(*fields, "programData"));
  // ProgramData is the machine's folder, not the user's.
  EXPECT_NE(report["calls"].find("Folder:ProgramData/none"), std::string::npos) << report["calls"];
  EXPECT_EQ(report["calls"].find("Folder:ProgramData/user"), std::string::npos) << report["calls"];
}

TEST_F(UserContextCapture, PointsTheProfileVariablesAtTheUserAndKeepsOneText) {
  const auto report = RunUserProbe(L"capture", {}, kStaleProfile);
  ASSERT_EQ(report.process.exitCode, 0u);
  const auto fields = ParseFlatObject(report["context"]);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(report["env.USERPROFILE"], Field(*fields, "userProfile"));
  EXPECT_EQ(report["env.APPDATA"], Field(*fields, "roamingAppData"));
  EXPECT_EQ(report["env.LOCALAPPDATA"], Field(*fields, "localAppData"));
  EXPECT_EQ(report["env.TEMP"], Field(*fields, "tempDirectory"));
  EXPECT_EQ(report["env.TMP"], Field(*fields, "tempDirectory"));
  EXPECT_NE(report["calls"].find("Env:USERPROFILE,Env:APPDATA,Env:LOCALAPPDATA,Env:TEMP,Env:TMP"),
            std::string::npos)
      << report["calls"];

  EXPECT_EQ(report["token"], "1");
  EXPECT_EQ(report["hive"], "1");
  EXPECT_EQ(report["secondCapture"], "1");
  EXPECT_EQ(report["samePointer"], "1");
}

TEST_F(UserContextCapture, CurrentUserReadsAndWritesLandInTheUsersHive) {
  const auto first = RunUserProbe(L"capture");
  ASSERT_EQ(first.process.exitCode, 0u);
  const auto fields = ParseFlatObject(first["context"]);
  ASSERT_TRUE(fields.has_value());
  const std::wstring hive = L"HKU\\" + Widen(Field(*fields, "userSid"));
  const std::wstring key = hive + L"\\Software\\KilnaUserProbe";
  const std::wstring stamp = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());

  ASSERT_EQ(RunProcess(RegExe(), {L"add", key, L"/v", L"Seed", L"/t", L"REG_SZ", L"/d", L"seed-" + stamp, L"/f"})
                .exitCode,
            0u);
  const auto report = RunUserProbe(L"hkcu", L"marker-" + stamp);
  EXPECT_EQ(report.process.exitCode, 0u);
  EXPECT_EQ(report["seed"], Narrow(L"seed-" + stamp));
  EXPECT_EQ(report["write"], "0");

  TempFolder exported;
  ASSERT_EQ(RunProcess(RegExe(), {L"export", key, exported / L"probe.reg", L"/y"}).exitCode, 0u);
  const auto bytes = ReadWholeFile(exported / L"probe.reg").value_or("");
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  EXPECT_NE(text.find(L"\"Written\"=\"marker-" + stamp + L"\""), std::wstring::npos) << Narrow(text);
  EXPECT_EQ(RunProcess(RegExe(), {L"query", hive, L"/v", L"KilnaUserProbe"}).exitCode, 0u);

  RunProcess(RegExe(), {L"delete", key, L"/f"});
  RunProcess(RegExe(), {L"delete", hive, L"/v", L"KilnaUserProbe", L"/f"});
}

TEST_F(UserContextCapture, RefusesWithTheCodeOfEachFailure) {
  struct Row {
    const wchar_t* fault;
    DWORD code;
    bool tokenKept;  // failures after the token was stored keep it
  };
  const Row rows[] = {
      {L"not-elevated", ERROR_ELEVATION_REQUIRED, false},
      {L"elevation-unreadable", ERROR_ELEVATION_REQUIRED, false},
      {L"no-shell", ERROR_NO_SUCH_LOGON_SESSION, false},
      {L"shell-pid-fails", ERROR_NO_SUCH_LOGON_SESSION, false},
      {L"session-fails", ERROR_NO_SUCH_LOGON_SESSION, false},
      {L"other-session", ERROR_NO_SUCH_LOGON_SESSION, false},
      {L"open-process-fails", ERROR_ACCESS_DENIED, false},
      {L"open-token-fails", ERROR_PRIVILEGE_NOT_HELD, false},
      {L"sid-unreadable", ERROR_BAD_PROFILE, false},
      {L"sid-oversized", ERROR_BAD_PROFILE, false},
      {L"sid-unconvertible", ERROR_BAD_PROFILE, false},
      {L"no-profile", ERROR_BAD_PROFILE, false},
      {L"no-roaming", ERROR_BAD_PROFILE, false},
      {L"no-local", ERROR_BAD_PROFILE, false},
      {L"no-programdata", ERROR_BAD_PROFILE, false},
      {L"no-windows-dir", ERROR_BAD_PROFILE, false},
      {L"windows-dir-too-long", ERROR_BAD_PROFILE, false},
      {L"hive-open-fails", ERROR_FILE_NOT_FOUND, false},
      {L"override-fails", ERROR_ACCESS_DENIED, false},
      {L"no-desktop", ERROR_BAD_PROFILE, true},
      {L"no-programs", ERROR_BAD_PROFILE, true},
      {L"no-startmenu", ERROR_BAD_PROFILE, true},
      {L"no-documents", ERROR_BAD_PROFILE, true},
      {L"no-downloads", ERROR_BAD_PROFILE, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Narrow(row.fault));
    const auto report = RunUserProbe(L"capture", row.fault, kStaleProfile);
    ASSERT_TRUE(report.process.started);
    EXPECT_EQ(report.process.exitCode, row.code) << report["calls"];
    EXPECT_EQ(report["result"], "0");
    EXPECT_EQ(report["hasContext"], "0");
    EXPECT_EQ(report["token"], row.tokenKept ? "1" : "0");
    EXPECT_EQ(report["hive"], row.tokenKept ? "1" : "0");
    if (!row.tokenKept) {
      EXPECT_EQ(report["env.TEMP"], "C:\\stale\\temp");
    }
  }
}

TEST_F(UserContextCapture, StopsAtTheFirstFailureInOrder) {
  // Not elevated: the shell is never looked for.
  EXPECT_EQ(RunUserProbe(L"capture", L"not-elevated")["calls"], "");
  // No shell of this session: nothing is opened.
  const auto session = RunUserProbe(L"capture", L"other-session")["calls"];
  EXPECT_EQ(session, "GetShellWindow");
  // A folder missing: all four reads still happen and ProgramData is kept.
  const auto profile = RunUserProbe(L"capture", L"no-profile");
  EXPECT_NE(profile["calls"].find("Folder:Profile/user,Folder:Roaming/user,Folder:Local/user,Folder:ProgramData/none"),
            std::string::npos)
      << profile["calls"];
  EXPECT_EQ(profile["calls"].find("RegOpenKeyExW"), std::string::npos);
  EXPECT_EQ(profile["programData"], OwnKnownFolder(FOLDERID_ProgramData));
  // The override refused: no variable is touched.
  const auto override = RunUserProbe(L"capture", L"override-fails")["calls"];
  EXPECT_NE(override.find("RegOpenKeyExW,RegOverridePredefKey"), std::string::npos) << override;
  EXPECT_EQ(override.find("Env:"), std::string::npos) << override;
}

TEST_F(UserContextCapture, QuotesProfilePathsAsRawUtf8WithEscapes) {
  const auto cjk = RunUserProbe(L"capture", L"cjk-profile");
  ASSERT_EQ(cjk.process.exitCode, 0u);
  EXPECT_NE(cjk["context"].find(",\"userProfile\":\"C:\\\\users\\\\\xe5\xbc\xa0\xe4\xb8\x89\","), std::string::npos)
      << cjk["context"];
  EXPECT_EQ(cjk["env.USERPROFILE"], "C:\\users\\\xe5\xbc\xa0\xe4\xb8\x89");

  const auto quoted = RunUserProbe(L"capture", L"quote-profile");
  ASSERT_EQ(quoted.process.exitCode, 0u);
  EXPECT_NE(quoted["context"].find(",\"userProfile\":\"C:\\\\users\\\\a\\\"b\\\\c\\u0009d\","), std::string::npos)
      << quoted["context"];
  EXPECT_TRUE(ParseFlatObject(quoted["context"]).has_value());
}

}  // namespace
}  // namespace orv::test
