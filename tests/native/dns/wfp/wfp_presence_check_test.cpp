// The presence check of one filter, against the fake engine.

#include "native/dns/wfp/wfp_presence_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/dns/wfp/fake_wfp_engine.h"
#include "tests/support/document_archive.h"

namespace {

using orv::test::FakeFilter;
using orv::test::FakeWfpEngine;

const GUID kFilterKey = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr wchar_t kFilterKeyText[] = L"{11111111-2222-3333-4444-555555555555}";

struct Answer {
  std::uint32_t result = 0;
  std::uint32_t written = 0;
  std::string json;
};

class WfpPresenceCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    engine().Reset();
    FakeFilter filter;
    filter.key = kFilterKey;
    engine().AddFilter(4242, filter);
  }
  void TearDown() override {
    EXPECT_EQ(engine().allocations.load(), engine().frees.load());
    EXPECT_EQ(engine().opens.load(), engine().closes.load());
    // The local engine, as the calling administrator, without a session.
    EXPECT_EQ(engine().OpensNotLocalWinnt(), 0);
    for (const auto& open : engine().RecordedOpens()) EXPECT_FALSE(open.session);
  }

  static FakeWfpEngine& engine() { return FakeWfpEngine::Instance(); }

  static Answer Check(const wchar_t* key, std::uint64_t id, std::uint32_t size = 256) {
    const orv::dns::WfpEngineApi api = engine().Api();
    std::vector<std::uint8_t> buffer(size + 1, 0xCC);
    Answer answer;
    answer.written = 0xFFFF;
    answer.result = orv::dns::WfpPresenceCheck(api, key, id, buffer.data(), size, &answer.written);
    answer.json.assign(buffer.begin(), buffer.begin() + (answer.result == 0 ? answer.written : 0));
    orv::test::ArchiveDocument("wfp-compare", answer.json);  // checked against the published schema
    EXPECT_EQ(buffer[size], 0xCC) << "written past the buffer";
    return answer;
  }
};

TEST_F(WfpPresenceCheck, ArgumentsThatAreRefused) {
  std::uint8_t buffer[64];
  const orv::dns::WfpEngineApi api = engine().Api();
  EXPECT_EQ(orv::dns::WfpPresenceCheck(api, kFilterKeyText, 0, buffer, sizeof buffer, nullptr), 87u);
  std::uint32_t written = 77;
  EXPECT_EQ(orv::dns::WfpPresenceCheck(api, kFilterKeyText, 0, nullptr, 64, &written), 87u);
  EXPECT_EQ(written, 0u);

  struct Row {
    const char* name;
    const wchar_t* key;
    std::uint64_t id;
  };
  const Row rows[] = {
      {"null key, id 0", nullptr, 0},
      {"empty key, id 0", L"", 0},
      {"36 characters", L"11111111-2222-3333-4444-555555555555", 0},
      {"37 characters", L"{11111111-2222-3333-4444-555555555555", 0},
      {"39 characters", L"{11111111-2222-3333-4444-555555555555}}", 0},
      {"no closing brace", L"{11111111-2222-3333-4444-5555555555555", 5},
      {"no opening brace", L"(11111111-2222-3333-4444-555555555555}", 5},
      {"a bad digit", L"{1111111G-2222-3333-4444-555555555555}", 5},
      {"a long text", L"{11111111-2222-3333-4444-555555555555}-and-much-more-text-after-it", 5},
  };
  for (const Row& row : rows) {
    const Answer answer = Check(row.key, row.id);
    EXPECT_EQ(answer.result, 87u) << row.name;
    EXPECT_EQ(answer.written, 0u) << row.name;
  }
  EXPECT_EQ(engine().opens.load(), 0) << "no engine for refused arguments";
}

TEST_F(WfpPresenceCheck, PresentByKeyReportsThePlatformsId) {
  const Answer answer = Check(kFilterKeyText, 99);
  EXPECT_EQ(answer.result, 0u);
  EXPECT_EQ(answer.json, R"({"status":"present","identity":"filterKey","filterId":"4242"})");
  EXPECT_EQ(answer.written, answer.json.size());
  EXPECT_EQ(engine().keyLookups.load(), 1);
  EXPECT_EQ(engine().filterLookups.load(), 0);
  EXPECT_EQ(engine().frees.load(), 1);
  EXPECT_EQ(engine().closes.load(), 1);
}

TEST_F(WfpPresenceCheck, LowerCaseKeyAndLookupById) {
  EXPECT_EQ(Check(L"{11111111-2222-3333-4444-555555555555}", 0).json,
            R"({"status":"present","identity":"filterKey","filterId":"4242"})");
  const Answer byId = Check(L"", 4242);
  EXPECT_EQ(byId.json, R"({"status":"present","identity":"filterId","filterId":"4242"})");
  EXPECT_EQ(Check(nullptr, 4242).json, byId.json);
  EXPECT_EQ(engine().filterLookups.load(), 2);
}

TEST_F(WfpPresenceCheck, LookupOutcomes) {
  EXPECT_EQ(Check(nullptr, 7).json, R"({"status":"removed","identity":"filterId","nativeErrorCode":2150760451})");
  engine().FailFilterKeyLookup(kFilterKey, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Check(kFilterKeyText, 0).json,
            R"({"status":"unavailable","identity":"filterKey","nativeErrorCode":5})");
  engine().FailFilterLookup(4242, ERROR_SUCCESS);
  const Answer empty = Check(nullptr, 4242);
  EXPECT_EQ(empty.result, 0u);
  EXPECT_EQ(empty.json, R"({"status":"unavailable","identity":"filterId","nativeErrorCode":13})");
  engine().openResult = 1764;
  EXPECT_EQ(Check(nullptr, 4242).json, R"({"status":"unavailable","identity":"filterId","nativeErrorCode":1764})");
}

TEST_F(WfpPresenceCheck, BufferOfExactlyTheLength) {
  const std::string expected = R"({"status":"present","identity":"filterId","filterId":"4242"})";
  const auto size = static_cast<std::uint32_t>(expected.size());
  const Answer exact = Check(nullptr, 4242, size);
  EXPECT_EQ(exact.result, 0u);
  EXPECT_EQ(exact.json, expected);
  const Answer short1 = Check(nullptr, 4242, size - 1);
  EXPECT_EQ(short1.result, 122u);
  EXPECT_EQ(short1.written, 0u);
}

}  // namespace
