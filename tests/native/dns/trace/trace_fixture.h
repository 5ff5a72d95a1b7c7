#pragma once
// A DNS client trace on fake event tracing, fake event properties, a fake
// capture and the fake filtering-platform engine, with helpers to finish it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "native/dns/capture/capture_json.h"
#include "native/dns/capture/capture_record.h"
#include "native/dns/trace/trace_registry.h"
#include "tests/native/dns/trace/fake_event_tracing.h"
#include "tests/native/dns/trace/fake_tdh.h"
#include "tests/support/document_archive.h"

namespace orv::test {

// What the fake captures saw.
struct CaptureLog {
  std::atomic<int> made{0};
  std::atomic<int> stops{0};
  std::atomic<int> destroyed{0};
  std::atomic<bool> refuse{false};  // the factory throws
  std::wstring lastName;
};

class FakeCapture : public dns::TraceCapture {
 public:
  explicit FakeCapture(CaptureLog& log) : log_(log) {}
  ~FakeCapture() override { ++log_.destroyed; }
  void Stop() noexcept override {
    ++log_.stops;
    FakeEventTracing::Instance().Note("capture stop");
  }
  // What the adapter capture writes when no adapter appeared.
  std::string Json() const override {
    std::string json;
    dns::AppendCaptureJson(json, dns::CaptureRecord("fake.test"));
    return json;
  }

 private:
  CaptureLog& log_;
};

// The collector's engine refuses to open, as on a machine without the
// filtering platform, so every "wfp" value reads the same once its worker has
// run. Never reset: workers may outlive the test that started them.
inline std::atomic<int> collectorWorkersRun{0};
inline std::atomic<int> collectorsStarted{0};  // counted as each trace makes its capture

inline DWORD WINAPI RefusedEngineOpen(const wchar_t*, UINT32, SEC_WINNT_AUTH_IDENTITY_W*, const FWPM_SESSION0*,
                                      HANDLE*) {
  ++collectorWorkersRun;
  return 1764;
}

struct Finished {
  DWORD result = 0;
  std::uint32_t written = 0;
  std::string json;
};

class DnsTraceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    tracing().Reset();
    WaitCollectorsSettled();
  }
  void TearDown() override {
    registry_.reset();
    EXPECT_EQ(tracing().ConsumersRunning(), 0);
    EXPECT_FALSE(tracing().StopOverlapSeen());
    EXPECT_TRUE(WaitCollectorsSettled());
  }

  static FakeEventTracing& tracing() { return FakeEventTracing::Instance(); }

  dns::TracePlatform Platform(std::chrono::milliseconds expiry = std::chrono::seconds(45)) {
    dns::TracePlatform platform;
    platform.tracing = tracing().Api(expiry);
    platform.tdh = FakeTdh();
    platform.wfp.FwpmEngineOpen0 = &RefusedEngineOpen;
    CaptureLog* log = &captures_;
    platform.capture = [log](std::wstring_view name) -> std::unique_ptr<dns::TraceCapture> {
      ++collectorsStarted;
      if (log->refuse) throw std::bad_alloc();
      ++log->made;
      log->lastName = name;
      return std::make_unique<FakeCapture>(*log);
    };
    return platform;
  }

  dns::TraceRegistry& Registry(std::chrono::milliseconds expiry = std::chrono::seconds(45)) {
    registry_ = std::make_unique<dns::TraceRegistry>(Platform(expiry));
    return *registry_;
  }

  DWORD Start(const wchar_t* name, std::uint64_t& id) { return registry_->Start(name, &id); }

  Finished Finish(std::uint64_t id, std::uint32_t size = 65536) {
    Finished finished;
    std::string buffer(size, '\0');
    finished.written = 0xDEADBEEF;
    finished.result =
        registry_->Finish(id, reinterpret_cast<std::uint8_t*>(buffer.data()), size, &finished.written);
    if (finished.result == 0) {
      finished.json = buffer.substr(0, finished.written);
      ArchiveDocument("dns-trace", finished.json);  // checked against the published schema
    }
    return finished;
  }

  // Waits until every collector's worker has met the refused engine.
  static bool WaitCollectorsSettled() {
    const bool settled = WaitFor([] { return collectorWorkersRun.load() == collectorsStarted.load(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the worker records the refusal
    return settled;
  }

  template <typename Predicate>
  static bool WaitFor(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  CaptureLog captures_;
  std::unique_ptr<dns::TraceRegistry> registry_;
};

}  // namespace orv::test
