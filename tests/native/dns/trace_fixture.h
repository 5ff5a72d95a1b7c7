#pragma once
// A DNS client trace on fake event tracing, fake event properties, a fake
// capture and the fake filtering-platform engine, with helpers to finish it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "native/dns/trace_registry.h"
#include "tests/native/dns/fake_event_tracing.h"
#include "tests/native/dns/fake_tdh.h"
#include "tests/native/dns/fake_wfp_engine.h"

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
  std::string Json() const override { return "{\"status\":\"fake\"}"; }

 private:
  CaptureLog& log_;
};

struct Finished {
  DWORD result = 0;
  std::uint32_t written = 0;
  std::string json;
};

class DnsTraceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    tracing().Reset();
    wfp().Reset();
    // The collector's worker finds collection switched off and ends by itself,
    // which gives every result the same "wfp" value.
    wfp().optionValue = 0;
  }
  void TearDown() override {
    registry_.reset();
    EXPECT_EQ(tracing().ConsumersRunning(), 0);
    EXPECT_FALSE(tracing().StopOverlapSeen());
    EXPECT_TRUE(wfp().WaitUntilAllClosed(std::chrono::seconds(5)));
  }

  static FakeEventTracing& tracing() { return FakeEventTracing::Instance(); }
  static FakeWfpEngine& wfp() { return FakeWfpEngine::Instance(); }

  dns::TracePlatform Platform(std::chrono::milliseconds expiry = std::chrono::seconds(45)) {
    dns::TracePlatform platform;
    platform.tracing = tracing().Api(expiry);
    platform.tdh = FakeTdh();
    platform.wfp = wfp().Api();
    CaptureLog* log = &captures_;
    platform.capture = [log](std::wstring_view name) -> std::unique_ptr<dns::TraceCapture> {
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
    if (finished.result == 0) finished.json = buffer.substr(0, finished.written);
    return finished;
  }

  // Waits until the collector's worker has met the disabled collection.
  static void WaitCollectorSettled(int collectors = 1) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((wfp().opens.load() < collectors || wfp().closes.load() < collectors) &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
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
