// Taking over a tracing session of the same name: only one of ours whose
// owner is gone, checked against real processes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "native/dns/trace/trace_identity.h"
#include "native/dns/trace/trace_session.h"
#include "tests/native/dns/trace/trace_fixture.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

constexpr TRACEHANDLE kLeftLogger = 0x77;

struct ProcessFacts {
  DWORD id = 0;
  std::uint64_t creation = 0;
};

ProcessFacts Own() {
  FILETIME creation = {}, exit = {}, kernel = {}, user = {};
  ::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user);
  return {::GetCurrentProcessId(), dns::FileTimeValue(creation)};
}

// A child that has run and ended, with every handle to it closed.
ProcessFacts Exited() {
  std::wstring command = L"\"" + BinaryFolder() + L"\\native_dns_trace_tests.exe\" --gtest_list_tests";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
    return {};
  }
  ::WaitForSingleObject(info.hProcess, 30000);
  FILETIME creation = {}, exit = {}, kernel = {}, user = {};
  ::GetProcessTimes(info.hProcess, &creation, &exit, &kernel, &user);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return {info.dwProcessId, dns::FileTimeValue(creation)};
}

class TraceReclaim : public DnsTraceFixture {
 protected:
  void SetUp() override {
    DnsTraceFixture::SetUp();
    ASSERT_EQ(dns::OwnSessionIdentity(identity_), 0u);
    Registry();
  }

  // The session found under our name, as the query describes it.
  void LeftBy(const ProcessFacts& owner) {
    dns::SessionProperties& block = tracing().queryBlock;
    block = dns::ControlProperties();
    block.properties.Wnode.HistoricalContext = kLeftLogger;
    block.properties.LogFileMode = EVENT_TRACE_REAL_TIME_MODE;
    block.properties.Wnode.Guid = dns::SessionGuid(owner.id, identity_.hash, owner.creation);
  }

  DWORD StartAfterNameInUse() {
    tracing().startResults = {ERROR_ALREADY_EXISTS};
    tracing().scribbleOnStart = true;
    std::uint64_t id = 0;
    const DWORD result = Start(L"example.org", id);
    if (result == 0) Finish(id);
    return result;
  }

  bool StoppedTheLeftSession() const {
    for (const auto& call : tracing().Controls()) {
      if (call.code == EVENT_TRACE_CONTROL_STOP && call.handle == kLeftLogger && call.name.empty()) return true;
    }
    return false;
  }

  dns::SessionIdentity identity_;
};

TEST_F(TraceReclaim, LiveOwnerKeepsItsSession) {
  LeftBy(Own());
  EXPECT_EQ(StartAfterNameInUse(), 183u);
  EXPECT_FALSE(StoppedTheLeftSession());
  EXPECT_EQ(tracing().Starts().size(), 1u);
  const auto controls = tracing().Controls();
  ASSERT_FALSE(controls.empty());
  EXPECT_EQ(controls[0].code, static_cast<ULONG>(EVENT_TRACE_CONTROL_QUERY));
  EXPECT_EQ(controls[0].handle, 0u);
  EXPECT_EQ(controls[0].name, identity_.sessionName);
}

// An id that names no process: Windows refuses to open it with 87.
ProcessFacts NeverRan() {
  ProcessFacts owner = Own();
  owner.id = 0x7FFFFFF0;
  return owner;
}

TEST_F(TraceReclaim, GoneOwnerIsStoppedAndTheStartRepeatedWithTheSavedBlock) {
  const ProcessFacts exited = Exited();
  ASSERT_NE(exited.id, 0u);
  ProcessFacts reused = Own();
  reused.creation -= 10000000;  // our id, but an earlier process
  const ProcessFacts neverRan = NeverRan();
  ASSERT_EQ(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, neverRan.id), nullptr);
  ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  for (const ProcessFacts& owner : {exited, reused, neverRan}) {
    SCOPED_TRACE(owner.id);
    tracing().Reset();
    LeftBy(owner);
    EXPECT_EQ(StartAfterNameInUse(), 0u);
    EXPECT_TRUE(StoppedTheLeftSession());
    const auto starts = tracing().Starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].block, starts[0].block);
  }
}

TEST_F(TraceReclaim, WhatStoppingTheLeftSessionAnswers) {
  // Stopped while flushing (234) or already gone (4201) still frees the name;
  // any other refusal is the start's result.
  const struct {
    ULONG stopAnswer;
    DWORD expected;
  } rows[] = {{ERROR_MORE_DATA, 0}, {ERROR_WMI_INSTANCE_NOT_FOUND, 0}, {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stopAnswer);
    tracing().Reset();
    LeftBy(NeverRan());
    tracing().leftStopResult = row.stopAnswer;
    EXPECT_EQ(StartAfterNameInUse(), row.expected);
    EXPECT_TRUE(StoppedTheLeftSession());
    const auto starts = tracing().Starts();
    ASSERT_EQ(starts.size(), row.expected == 0 ? 2u : 1u);
    if (starts.size() == 2) {
      EXPECT_EQ(starts[1].block, starts[0].block);
    }
  }
}

TEST_F(TraceReclaim, NotOursIsLeftAlone) {
  const struct {
    const char* what;
    void (*change)(dns::SessionProperties&);
  } cases[] = {
      {"no logger handle", [](dns::SessionProperties& b) { b.properties.Wnode.HistoricalContext = 0; }},
      {"another mode", [](dns::SessionProperties& b) { b.properties.LogFileMode = 0x101; }},
      {"a system process id", [](dns::SessionProperties& b) { b.properties.Wnode.Guid.Data1 = 3; }},
      {"no creation time",
       [](dns::SessionProperties& b) { std::memset(b.properties.Wnode.Guid.Data4 + 4, 0, 4); }},
      {"another executable (Data2)", [](dns::SessionProperties& b) { b.properties.Wnode.Guid.Data2 ^= 1; }},
      {"another executable (Data3)", [](dns::SessionProperties& b) { b.properties.Wnode.Guid.Data3 ^= 1; }},
  };
  ProcessFacts gone = Own();
  gone.creation -= 10000000;  // would be reclaimed if it were ours
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tracing().Reset();
    LeftBy(gone);
    c.change(tracing().queryBlock);
    EXPECT_EQ(StartAfterNameInUse(), 183u);
    EXPECT_FALSE(StoppedTheLeftSession());
  }
}

TEST_F(TraceReclaim, QueryErrorIsTheResult) {
  tracing().queryResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(StartAfterNameInUse(), 5u);
  EXPECT_EQ(tracing().Starts().size(), 1u);
}

}  // namespace
}  // namespace orv::test
