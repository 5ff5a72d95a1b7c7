// Launching programs: real launches of the test program under Wine, and the
// shell call itself as recorded through the launch platform (verb, structure,
// the shell's failures, the calling thread's COM apartment).

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "kilna/kilna_exports.h"
#include "tests/native/user/launch_support.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

using LaunchExport = decltype(&OrvLaunchElevated);  // both launch exports share it

struct NamedExport {
  const char* name;
  LaunchExport call;
};

const NamedExport kExports[] = {{"OrvLaunchElevated", &OrvLaunchElevated},
                                {"OrvLaunchInstalledApp", &OrvLaunchInstalledApp}};

std::string ExportName(const testing::TestParamInfo<NamedExport>& info) { return info.param.name; }

// ---- Real launches -------------------------------------------------------

class RealLaunch : public testing::TestWithParam<NamedExport> {};

TEST_P(RealLaunch, StartsTheProgramAndReportsItsProcessId) {
  int processId = -1;
  ASSERT_EQ(GetParam().call(LaunchTargetPath().c_str(), L"--stay=10000", nullptr, &processId), 0u);
  ASSERT_NE(processId, 0);
  LaunchedProgram program(processId);
  EXPECT_TRUE(program.running());
  const std::wstring image = ImagePathOf(static_cast<DWORD>(processId));
  EXPECT_TRUE(SamePath(image, LaunchTargetPath())) << Narrow(image);
}

TEST_P(RealLaunch, PassesTheParametersAndTheWorkingFolder) {
  TempFolder records;
  TempFolder workingFolder;
  const std::wstring record = records / L"launched.txt";
  const std::wstring parameters = L"--record=" + QuoteArgument(record) + L" \"two words\" plain";
  int processId = 0;
  ASSERT_EQ(GetParam().call(LaunchTargetPath().c_str(), parameters.c_str(), workingFolder.path().c_str(), &processId),
            0u);
  LaunchedProgram program(processId);

  std::optional<std::string> text;
  for (int i = 0; i < 250 && !(text = ReadWholeFile(record)).has_value(); ++i) ::Sleep(20);
  ASSERT_TRUE(text.has_value());
  const auto lines = SplitLines(*text);
  ASSERT_EQ(lines.size(), 2u) << *text;
  const std::string expected = Narrow(parameters);
  ASSERT_GE(lines[0].size(), expected.size()) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - expected.size()), expected) << lines[0];
  EXPECT_TRUE(SamePath(Widen(lines[1]), workingFolder.path())) << lines[1];
}

TEST_P(RealLaunch, AMissingFileAnswersFileNotFoundWithNoProcessId) {
  TempFolder folder;
  int processId = 77;
  EXPECT_EQ(GetParam().call((folder / L"absent.exe").c_str(), nullptr, nullptr, &processId),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(processId, 0);
}

TEST_P(RealLaunch, RequiredPointersAreCheckedBeforeAnythingChanges) {
  int processId = 77;
  EXPECT_EQ(GetParam().call(nullptr, L"--stay=10000", nullptr, &processId), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(processId, 77);
  EXPECT_EQ(GetParam().call(LaunchTargetPath().c_str(), nullptr, nullptr, nullptr),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

INSTANTIATE_TEST_SUITE_P(Launch, RealLaunch, testing::ValuesIn(kExports), ExportName);

// ---- The shell call, through the platform --------------------------------

// What the fake shell saw, and what it answers.
struct ShellCall {
  int calls = 0;
  SHELLEXECUTEINFOW info{};
  std::wstring verb, file, parameters, directory;
  bool parametersNull = false, directoryNull = false;
  std::optional<APTTYPE> apartment;
  HANDLE handedOut = nullptr;
};

struct ShellAnswer {
  bool succeed = false;
  DWORD error = 0;             // when failing
  bool withProcess = false;   // when succeeding
};

ShellCall g_call;
ShellAnswer g_answer;

std::wstring Text(const wchar_t* text) { return text != nullptr ? text : L"<null>"; }

BOOL WINAPI FakeShellExecute(SHELLEXECUTEINFOW* info) {
  ++g_call.calls;
  g_call.info = *info;
  g_call.verb = Text(info->lpVerb);
  g_call.file = Text(info->lpFile);
  g_call.parameters = Text(info->lpParameters);
  g_call.directory = Text(info->lpDirectory);
  g_call.parametersNull = info->lpParameters == nullptr;
  g_call.directoryNull = info->lpDirectory == nullptr;
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (SUCCEEDED(::CoGetApartmentType(&type, &qualifier))) g_call.apartment = type;
  if (!g_answer.succeed) {
    ::SetLastError(g_answer.error);
    return FALSE;
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
  if (g_answer.withProcess) {
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &info->hProcess,
                      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
    g_call.handedOut = info->hProcess;
  }
  ::SetLastError(ERROR_SUCCESS);
  return TRUE;
}

bool g_elevated = true;
bool FakeElevated() { return g_elevated; }

class ShellCallThroughPlatform : public testing::Test {
 protected:
  ShellCallThroughPlatform() : platform_(Fake()) {
    g_call = {};
    g_answer = {};
    g_elevated = true;
  }

  static LaunchPlatform Fake() {
    LaunchPlatform fake;
    fake.ShellExecuteExW = &FakeShellExecute;
    fake.IsElevated = &FakeElevated;
    return fake;
  }

 private:
  LaunchPlatformOverride platform_;
};

TEST_F(ShellCallThroughPlatform, TheVerbFollowsElevation) {
  for (const NamedExport& launch : kExports) {
    for (const bool elevated : {true, false}) {
      SCOPED_TRACE(std::string(launch.name) + (elevated ? " elevated" : " not elevated"));
      g_call = {};
      g_elevated = elevated;
      int processId = 0;
      launch.call(L"C:\\apps\\tool.exe", nullptr, nullptr, &processId);
      ASSERT_EQ(g_call.calls, 1);
      EXPECT_EQ(g_call.verb, elevated ? L"open" : L"runas");
    }
  }
}

TEST_F(ShellCallThroughPlatform, TheRequestIsFilledAsTheShellExpectsIt) {
  int processId = 0;
  OrvLaunchElevated(L"C:\\apps\\tool.exe", L"--quiet \"a b\"", L"C:\\apps", &processId);
  ASSERT_EQ(g_call.calls, 1);
  EXPECT_EQ(g_call.info.cbSize, 112u);
  EXPECT_EQ(g_call.info.fMask, 0x540u);
  EXPECT_EQ(g_call.info.nShow, SW_SHOWNORMAL);
  EXPECT_EQ(g_call.info.hwnd, nullptr);
  EXPECT_EQ(g_call.file, L"C:\\apps\\tool.exe");
  EXPECT_EQ(g_call.parameters, L"--quiet \"a b\"");
  EXPECT_EQ(g_call.directory, L"C:\\apps");

  g_call = {};
  OrvLaunchInstalledApp(L"C:\\apps\\tool.exe", nullptr, nullptr, &processId);
  ASSERT_EQ(g_call.calls, 1);
  EXPECT_TRUE(g_call.parametersNull);
  EXPECT_TRUE(g_call.directoryNull);
}

TEST_F(ShellCallThroughPlatform, TheShellsFailuresComeBackWithNoProcessId) {
  struct Case {
    const char* what;
    ShellAnswer answer;
    DWORD expected;
  };
  const Case cases[] = {
      {"elevation declined", {false, ERROR_CANCELLED, false}, ERROR_CANCELLED},
      {"no association", {false, ERROR_NO_ASSOCIATION, false}, ERROR_NO_ASSOCIATION},
      // A failure that leaves no error behind must still read as a failure.
      {"failure without an error", {false, ERROR_SUCCESS, false}, ERROR_INTERNAL_ERROR},
      {"no process handle", {true, 0, false}, 759},
  };
  for (const NamedExport& launch : kExports) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(launch.name) + ": " + c.what);
      g_answer = c.answer;
      int processId = 77;
      EXPECT_EQ(launch.call(L"C:\\apps\\tool.exe", nullptr, nullptr, &processId), c.expected);
      EXPECT_EQ(processId, 0);
    }
  }
}

TEST_F(ShellCallThroughPlatform, ASuccessReportsTheProcessIdAndClosesItsHandle) {
  g_answer = {true, 0, true};
  int processId = 0;
  ASSERT_EQ(OrvLaunchElevated(L"C:\\apps\\tool.exe", nullptr, nullptr, &processId), 0u);
  EXPECT_EQ(static_cast<DWORD>(processId), ::GetCurrentProcessId());
  ASSERT_NE(g_call.handedOut, nullptr);
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(g_call.handedOut, &flags));
}

// ---- COM on the calling thread -------------------------------------------

TEST_F(ShellCallThroughPlatform, AThreadWithoutComIsApartmentThreadedDuringTheCallOnly) {
  for (const NamedExport& launch : kExports) {
    SCOPED_TRACE(launch.name);
    g_call = {};
    HRESULT afterwards = E_FAIL;
    std::thread([&] {
      int processId = 0;
      launch.call(L"C:\\apps\\tool.exe", nullptr, nullptr, &processId);
      // S_OK, not S_FALSE: the call left no apartment behind.
      afterwards = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (SUCCEEDED(afterwards)) ::CoUninitialize();
    }).join();
    // The first single-threaded apartment of a process is its main one.
    ASSERT_TRUE(g_call.apartment.has_value());
    EXPECT_TRUE(*g_call.apartment == APTTYPE_STA || *g_call.apartment == APTTYPE_MAINSTA) << *g_call.apartment;
    EXPECT_EQ(afterwards, S_OK);
  }
}

TEST_F(ShellCallThroughPlatform, AThreadInTheMultithreadedApartmentStaysThere) {
  for (const NamedExport& launch : kExports) {
    SCOPED_TRACE(launch.name);
    g_call = {};
    std::optional<APTTYPE> afterwards;
    HRESULT joined = E_FAIL;
    std::thread([&] {
      joined = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      int processId = 0;
      launch.call(L"C:\\apps\\tool.exe", nullptr, nullptr, &processId);
      APTTYPE type;
      APTTYPEQUALIFIER qualifier;
      if (SUCCEEDED(::CoGetApartmentType(&type, &qualifier))) afterwards = type;
      if (SUCCEEDED(joined)) ::CoUninitialize();
    }).join();
    ASSERT_EQ(joined, S_OK);
    EXPECT_EQ(g_call.apartment, std::optional<APTTYPE>(APTTYPE_MTA));
    EXPECT_EQ(afterwards, std::optional<APTTYPE>(APTTYPE_MTA));
  }
}

}  // namespace
}  // namespace orv::test
