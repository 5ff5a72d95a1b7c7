// The filter preflight through the fake engine: the caller's interfaces, the
// enumeration pages, the conversion of the platform's structures, the
// application ids, sublayer weights and the JSON.

#include "native/dns/wfp/wfp_preflight.h"

#include <gtest/gtest.h>

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/common/guid_text.h"
#include "native/dns/wfp/wfp_filter_exports.h"
#include "native/dns/wfp/wfp_preflight_interfaces.h"
#include "tests/native/dns/wfp/fake_wfp_engine.h"
#include "tests/support/document_archive.h"

namespace {

using orv::test::FakeFilter;
using orv::test::FakeSublayer;
using orv::test::FakeWfpEngine;
using orv::test::PageAnomaly;

const GUID kSublayerA = {0xA0A0A0A0, 0x0001, 0x0001, {1, 1, 1, 1, 1, 1, 1, 1}};
const GUID kSublayerB = {0xB0B0B0B0, 0x0002, 0x0002, {2, 2, 2, 2, 2, 2, 2, 2}};
const GUID kProvider = {0x77777777, 0x0003, 0x0003, {3, 3, 3, 3, 3, 3, 3, 3}};
constexpr wchar_t kUnknownInterface[] = L"{01234567-89AB-CDEF-0123-456789ABCDEF}";

GUID KeyOfId(std::uint64_t id) {
  GUID key = {0x5EED0000, 0x0004, 0x0004, {}};
  for (int i = 0; i < 8; ++i) key.Data4[i] = static_cast<BYTE>(id >> (8 * i));
  return key;
}

struct Loopback {
  std::wstring braced;
  std::wstring bare;
  NET_IFINDEX index = 0;
  UINT64 luid = 0;
};

Loopback FindLoopback() {
  Loopback loopback;
  MIB_IF_TABLE2* table = nullptr;
  if (::GetIfTable2(&table) != NO_ERROR) return loopback;
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table->Table[i];
    if (row.Type != IF_TYPE_SOFTWARE_LOOPBACK) continue;
    GUID guid;
    if (::ConvertInterfaceLuidToGuid(&row.InterfaceLuid, &guid) != NO_ERROR) continue;
    const std::string text = orv::GuidText(guid);
    loopback.braced.assign(text.begin(), text.end());
    loopback.bare = loopback.braced.substr(1, 36);
    loopback.index = row.InterfaceIndex;
    loopback.luid = row.InterfaceLuid.Value;
    break;
  }
  ::FreeMibTable(table);
  return loopback;
}

// Keeps alive what conditions point to.
class ConditionValues {
 public:
  FWPM_FILTER_CONDITION0 Make(const GUID& field, FWP_MATCH_TYPE match, FWP_DATA_TYPE type, UINT32 value) {
    FWPM_FILTER_CONDITION0 c = {};
    c.fieldKey = field;
    c.matchType = match;
    c.conditionValue.type = type;
    if (type == FWP_UINT8) c.conditionValue.uint8 = static_cast<UINT8>(value);
    if (type == FWP_UINT16) c.conditionValue.uint16 = static_cast<UINT16>(value);
    if (type == FWP_UINT32) c.conditionValue.uint32 = value;
    return c;
  }
  FWPM_FILTER_CONDITION0 Luid(const GUID& field, FWP_MATCH_TYPE match, UINT64 luid, bool present = true) {
    FWPM_FILTER_CONDITION0 c = Make(field, match, FWP_UINT64, 0);
    c.conditionValue.uint64 = present ? &numbers_.emplace_back(luid) : nullptr;
    return c;
  }
  FWPM_FILTER_CONDITION0 Mask(UINT32 address, UINT32 mask, bool present = true) {
    FWPM_FILTER_CONDITION0 c = Make(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWP_MATCH_EQUAL, FWP_V4_ADDR_MASK, 0);
    c.conditionValue.v4AddrMask = present ? &masks_.emplace_back(FWP_V4_ADDR_AND_MASK{address, mask}) : nullptr;
    return c;
  }
  FWPM_FILTER_CONDITION0 AppId(std::vector<std::uint8_t> bytes) {
    FWPM_FILTER_CONDITION0 c = Make(FWPM_CONDITION_ALE_APP_ID, FWP_MATCH_EQUAL, FWP_BYTE_BLOB_TYPE, 0);
    std::vector<std::uint8_t>& kept = bytes_.emplace_back(std::move(bytes));
    c.conditionValue.byteBlob = &blobs_.emplace_back(FWP_BYTE_BLOB{static_cast<UINT32>(kept.size()), kept.data()});
    return c;
  }

 private:
  std::deque<UINT64> numbers_;
  std::deque<FWP_V4_ADDR_AND_MASK> masks_;
  std::deque<std::vector<std::uint8_t>> bytes_;
  std::deque<FWP_BYTE_BLOB> blobs_;
};

struct Answer {
  std::uint32_t result = 0;
  std::uint32_t written = 0;
  std::string json;
};

class WfpPreflight : public ::testing::Test {
 protected:
  void SetUp() override {
    engine().Reset();
    loopback = FindLoopback();
    ASSERT_FALSE(loopback.braced.empty()) << "no loopback interface";
    engine().AddSublayer(Sublayer(kSublayerA, 100));
    engine().AddSublayer(Sublayer(kSublayerB, 50));
  }
  void TearDown() override {
    EXPECT_EQ(engine().allocations.load(), engine().frees.load());
    EXPECT_EQ(engine().opens.load(), engine().closes.load());
    EXPECT_EQ(engine().enumHandles.load(), engine().enumHandlesDestroyed.load());
    // The local engine, as the calling administrator, without a session.
    EXPECT_EQ(engine().OpensNotLocalWinnt(), 0);
    for (const auto& open : engine().RecordedOpens()) EXPECT_FALSE(open.session);
  }

  static FakeWfpEngine& engine() { return FakeWfpEngine::Instance(); }

  static FakeSublayer Sublayer(const GUID& key, UINT16 weight) {
    FakeSublayer sublayer;
    sublayer.key = key;
    sublayer.weight = weight;
    return sublayer;
  }

  static FakeFilter Filter(std::uint64_t id, UINT32 action, UINT64 weight,
                           std::vector<FWPM_FILTER_CONDITION0> conditions, const GUID& sublayer = kSublayerA) {
    FakeFilter f;
    f.key = KeyOfId(id);
    f.hasProvider = true;
    f.providerKey = kProvider;
    f.layerKey = FWPM_LAYER_ALE_AUTH_CONNECT_V4;
    f.subLayerKey = sublayer;
    f.actionType = action;
    f.weight = weight;
    f.conditions = std::move(conditions);
    return f;
  }

  // A block of port 53 on every interface but loopback.
  FakeFilter Candidate(std::uint64_t id, UINT64 weight = 10) {
    return Filter(id, FWP_ACTION_BLOCK, weight,
                  {values.Make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_MATCH_EQUAL, FWP_UINT16, 53),
                   values.Make(FWPM_CONDITION_INTERFACE_INDEX, FWP_MATCH_NOT_EQUAL, FWP_UINT32, loopback.index)});
  }
  // A permit for loopback above the candidate, by LUID.
  FakeFilter Companion(std::uint64_t id, UINT64 weight = 20) {
    return Filter(id, FWP_ACTION_PERMIT, weight,
                  {values.Luid(FWPM_CONDITION_IP_LOCAL_INTERFACE, FWP_MATCH_EQUAL, loopback.luid)});
  }

  static std::string Blocked(std::vector<std::uint64_t> ids) {
    std::string json = R"({"status":"blocked","filters":[)";
    for (size_t i = 0; i < ids.size(); ++i) {
      if (i != 0) json += ",";
      json += R"({"filterId":")" + std::to_string(ids[i]) + R"(","filterKey":")" + orv::GuidText(KeyOfId(ids[i])) +
              R"("})";
    }
    return json + "]}";
  }

  Answer Run(std::vector<const wchar_t*> entries, std::uint32_t size = 4096) {
    const orv::dns::WfpEngineApi api = engine().Api();
    std::vector<std::uint8_t> buffer(size + 1, 0xCC);
    Answer answer;
    answer.written = 0xFFFF;
    answer.result = orv::dns::WfpPreflight(api, entries.data(), static_cast<std::uint32_t>(entries.size()), buffer.data(),
                                      size, &answer.written);
    answer.json.assign(buffer.begin(), buffer.begin() + (answer.result == 0 ? answer.written : 0));
    orv::test::ArchiveDocument("wfp-preflight", answer.json);  // checked against the published schema
    EXPECT_EQ(buffer[size], 0xCC) << "written past the buffer";
    return answer;
  }
  std::string Json(std::vector<const wchar_t*> entries) { return Run(std::move(entries)).json; }
  std::string OnLoopback() { return Json({loopback.braced.c_str()}); }

  Loopback loopback;
  ConditionValues values;
};

constexpr char kClear[] = R"({"status":"clear","filters":[]})";

std::string Unavailable(std::uint32_t code) {
  return R"({"status":"unavailable","nativeErrorCode":)" + std::to_string(code) + R"(,"filters":[]})";
}

TEST_F(WfpPreflight, ArgumentsThatAreRefused) {
  const orv::dns::WfpEngineApi api = engine().Api();
  const wchar_t* entries[] = {loopback.braced.c_str()};
  std::uint8_t buffer[256];
  EXPECT_EQ(orv::dns::WfpPreflight(api, entries, 1, buffer, sizeof buffer, nullptr), 87u);
  struct Row {
    const char* name;
    const wchar_t* const* entries;
    std::uint32_t count;
    std::uint8_t* buffer;
  };
  const Row rows[] = {
      {"null buffer", entries, 1, nullptr},
      {"null array", nullptr, 1, buffer},
      {"count 0", entries, 0, buffer},
      {"count 65", entries, 65, buffer},
  };
  for (const Row& row : rows) {
    std::uint32_t written = 99;
    EXPECT_EQ(orv::dns::WfpPreflight(api, row.entries, row.count, row.buffer, sizeof buffer, &written), 87u) << row.name;
    EXPECT_EQ(written, 0u) << row.name;
  }
  EXPECT_EQ(engine().opens.load(), 0);
}

TEST_F(WfpPreflight, BufferOfExactlyTheLength) {
  const auto size = static_cast<std::uint32_t>(std::string(kClear).size());
  const Answer exact = Run({loopback.braced.c_str()}, size);
  EXPECT_EQ(exact.result, 0u);
  EXPECT_EQ(exact.json, kClear);
  const Answer shorter = Run({loopback.braced.c_str()}, size - 1);
  EXPECT_EQ(shorter.result, 122u);
  EXPECT_EQ(shorter.written, 0u);
}

TEST_F(WfpPreflight, InterfaceEntries) {
  std::wstring misplacedDash = loopback.bare;
  std::swap(misplacedDash[8], misplacedDash[9]);
  const std::wstring thirtySeven = loopback.braced.substr(0, 37);
  const std::wstring openBraceOnly = thirtySeven + L"0";
  struct Row {
    const char* name;
    std::vector<const wchar_t*> entries;
    std::string json;
    int opens;
  };
  const Row rows[] = {
      {"braces", {loopback.braced.c_str()}, kClear, 1},
      {"no braces", {loopback.bare.c_str()}, kClear, 1},
      {"37 characters", {thirtySeven.c_str()}, Unavailable(87), 0},
      {"38 characters, no closing brace", {openBraceOnly.c_str()}, Unavailable(87), 0},
      {"misplaced dash", {misplacedDash.c_str()}, Unavailable(87), 0},
      {"G", {L"G"}, Unavailable(87), 0},
      {"null", {nullptr}, Unavailable(87), 0},
      {"no such interface", {kUnknownInterface}, Unavailable(87), 0},
      {"all fail", {nullptr, L"G", kUnknownInterface}, Unavailable(87), 0},
      {"the error stays when others convert", {L"G", loopback.braced.c_str()}, Unavailable(87), 1},
      {"whatever the order", {loopback.bare.c_str(), kUnknownInterface}, Unavailable(87), 1},
  };
  for (const Row& row : rows) {
    engine().opens = 0;
    engine().closes = 0;
    EXPECT_EQ(Json(row.entries), row.json) << row.name;
    EXPECT_EQ(engine().opens.load(), row.opens) << row.name;
  }
}

TEST_F(WfpPreflight, EngineErrorsWinOverInterfaceErrors) {
  engine().openResult = 1764;
  EXPECT_EQ(Json({L"G", loopback.braced.c_str()}), Unavailable(1764));
  EXPECT_TRUE(engine().appIdRequests.empty());
  engine().openResult = ERROR_SUCCESS;
  engine().createEnumResult = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Json({L"G", loopback.braced.c_str()}), Unavailable(5));
  EXPECT_EQ(engine().enumHandles.load(), 0);
  EXPECT_TRUE(engine().appIdRequests.empty());
}

TEST_F(WfpPreflight, ThreePagesStayUntilTheEnd) {
  // The candidate comes on the first page, its companion on the third.
  engine().AddFilter(1, Candidate(1));
  for (std::uint64_t id = 2; id < 300; ++id) {
    engine().AddFilter(id, Filter(id, FWP_ACTION_BLOCK, 1, {}, kSublayerB));
  }
  engine().AddFilter(300, Companion(300));
  EXPECT_EQ(OnLoopback(), Blocked({1}));
  EXPECT_EQ(engine().pageRequests, (std::vector<UINT32>{128, 128, 128}));
  EXPECT_TRUE(IsEqualGUID(engine().enumLayer, FWPM_LAYER_ALE_AUTH_CONNECT_V4));
  EXPECT_EQ(engine().enumActionMask, 0xFFFFFFFFu);
  EXPECT_EQ(engine().frees.load(), engine().allocations.load());
  EXPECT_EQ(engine().enumHandlesDestroyed.load(), 1);
  EXPECT_EQ(engine().closes.load(), 1);
}

TEST_F(WfpPreflight, EnumerationFailures) {
  for (std::uint64_t id = 1; id <= 300; ++id) engine().AddFilter(id, Filter(id, FWP_ACTION_BLOCK, 1, {}));
  struct Row {
    const char* name;
    PageAnomaly anomaly;
    DWORD result;
    std::uint32_t code;
  };
  const Row rows[] = {
      {"entries without an array", PageAnomaly::kCountWithoutArray, 0, 13},
      {"more than asked for", PageAnomaly::kOverfull, 0, 13},
      {"a null entry", PageAnomaly::kNullEntry, 0, 13},
      {"a failed page", PageAnomaly::kNone, ERROR_ACCESS_DENIED, 5},
  };
  for (const Row& row : rows) {
    engine().anomaly = row.anomaly;
    engine().enumResult = row.result;
    engine().anomalyPage = 1;
    EXPECT_EQ(OnLoopback(), Unavailable(row.code)) << row.name;
    EXPECT_EQ(engine().frees.load(), engine().allocations.load()) << row.name;
    EXPECT_EQ(engine().enumHandlesDestroyed.load(), engine().enumHandles.load()) << row.name;
    EXPECT_EQ(engine().closes.load(), engine().opens.load()) << row.name;
  }
}

TEST_F(WfpPreflight, MoreThan8192Filters) {
  for (std::uint64_t id = 1; id <= 8192; ++id) engine().AddFilter(id, Filter(id, FWP_ACTION_PERMIT, 1, {}));
  EXPECT_EQ(OnLoopback(), kClear);
  engine().AddFilter(8193, Filter(8193, FWP_ACTION_PERMIT, 1, {}));
  EXPECT_EQ(OnLoopback(), Unavailable(234));
}

TEST_F(WfpPreflight, PlatformConditionsAndWeights) {
  struct Row {
    const char* name;
    FWPM_FILTER_CONDITION0 extra;
    bool reported;
  };
  const Row rows[] = {
      {"server address", values.Make(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWP_MATCH_EQUAL, FWP_UINT32, 0xAC130002), true},
      {"other address", values.Make(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWP_MATCH_EQUAL, FWP_UINT32, 0x08080808), false},
      {"server subnet", values.Mask(0xAC130000, 0xFFFF0000), true},
      {"other subnet", values.Mask(0x0A000000, 0xFF000000), false},
      {"subnet without value", values.Mask(0, 0, false), false},
      {"udp", values.Make(FWPM_CONDITION_IP_PROTOCOL, FWP_MATCH_EQUAL, FWP_UINT8, 17), true},
      {"tcp", values.Make(FWPM_CONDITION_IP_PROTOCOL, FWP_MATCH_EQUAL, FWP_UINT8, 6), false},
      {"not loopback", values.Make(FWPM_CONDITION_FLAGS, FWP_MATCH_FLAGS_NONE_SET, FWP_UINT32, 1), true},
      {"loopback only", values.Make(FWPM_CONDITION_FLAGS, FWP_MATCH_FLAGS_ALL_SET, FWP_UINT32, 1), false},
      {"next hop index", values.Make(FWPM_CONDITION_NEXTHOP_INTERFACE_INDEX, FWP_MATCH_NOT_EQUAL, FWP_UINT32,
                                     loopback.index), true},
      {"local interface", values.Luid(FWPM_CONDITION_IP_LOCAL_INTERFACE, FWP_MATCH_NOT_EQUAL, loopback.luid), true},
      {"next hop interface", values.Luid(FWPM_CONDITION_IP_NEXTHOP_INTERFACE, FWP_MATCH_NOT_EQUAL, loopback.luid),
       true},
      {"interface without value", values.Luid(FWPM_CONDITION_IP_LOCAL_INTERFACE, FWP_MATCH_NOT_EQUAL, 0, false),
       false},
      {"second port", values.Make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_MATCH_EQUAL, FWP_UINT16, 53), false},
      {"unknown field", values.Make(kProvider, FWP_MATCH_EQUAL, FWP_UINT32, 1), false},
  };
  std::uint64_t id = 1;
  for (const Row& row : rows) {
    engine().Reset();
    FakeFilter candidate = Candidate(id);
    candidate.conditions.push_back(row.extra);
    engine().AddFilter(id, candidate);
    engine().AddFilter(1000 + id, Companion(1000 + id));
    EXPECT_EQ(OnLoopback(), row.reported ? Blocked({id}) : kClear) << row.name;
    ++id;
  }
  const auto variants = std::vector<std::pair<const char*, void (*)(FakeFilter&)>>{
      {"no effective weight", [](FakeFilter& f) { f.weightType = FWP_EMPTY; }},
      {"a null weight", [](FakeFilter& f) { f.nullWeight = true; }},
      {"a 32-bit weight", [](FakeFilter& f) { f.weightType = FWP_UINT32; }},
      {"boot-time", [](FakeFilter& f) { f.flags = FWPM_FILTER_FLAG_BOOTTIME; }},
      {"disabled", [](FakeFilter& f) { f.flags = FWPM_FILTER_FLAG_DISABLED; }},
      {"null conditions", [](FakeFilter& f) { f.nullConditions = true; }},
      {"other provider", [](FakeFilter& f) { f.providerKey = kSublayerB; }},
  };
  for (const auto& [name, change] : variants) {
    engine().Reset();
    FakeFilter candidate = Candidate(1);
    change(candidate);
    engine().AddFilter(1, candidate);
    engine().AddFilter(2, Companion(2));
    EXPECT_EQ(OnLoopback(), kClear) << name;
  }
}

TEST_F(WfpPreflight, ApplicationIds) {
  // A permit above the candidate shadows it unless its application id is
  // known to be neither of the two programs.
  const auto run = [&](std::vector<std::uint8_t> appId, DWORD selfResult) {
    engine().Reset();
    engine().selfAppIdResult = selfResult;
    engine().AddFilter(1, Candidate(1));
    engine().AddFilter(2, Companion(2));
    engine().AddFilter(3, Filter(3, FWP_ACTION_PERMIT, 30, {values.AppId(std::move(appId))}));
    return OnLoopback();
  };
  EXPECT_EQ(run({1, 2, 3}, ERROR_SUCCESS), Blocked({1})) << "different";
  wchar_t module[MAX_PATH];
  ASSERT_NE(::GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
  EXPECT_EQ(run(FakeWfpEngine::AppIdOf(module), ERROR_SUCCESS), kClear) << "this program";
  wchar_t system[MAX_PATH];
  ASSERT_NE(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(run(FakeWfpEngine::AppIdOf(std::wstring(system) + L"\\svchost.exe"), ERROR_SUCCESS), kClear)
      << "the service host";
  EXPECT_EQ(run({1, 2, 3}, ERROR_ACCESS_DENIED), kClear) << "missing";
  ASSERT_EQ(engine().appIdRequests.size(), 2u);
  EXPECT_EQ(engine().appIdRequests[0], module);
}

TEST_F(WfpPreflight, SublayerWeightsFromTheEngine) {
  const auto run = [&](UINT16 weightB, bool failB) {
    engine().Reset();
    engine().AddSublayer(Sublayer(kSublayerA, 100));
    if (failB) {
      engine().FailSublayerLookup(kSublayerB, ERROR_ACCESS_DENIED);
    } else {
      engine().AddSublayer(Sublayer(kSublayerB, weightB));
    }
    engine().AddFilter(1, Candidate(1));
    engine().AddFilter(2, Companion(2));
    FakeFilter hard = Filter(3, FWP_ACTION_PERMIT, 1, {}, kSublayerB);
    hard.flags = FWPM_FILTER_FLAG_CLEAR_ACTION_RIGHT;
    engine().AddFilter(3, hard);
    return OnLoopback();
  };
  EXPECT_EQ(run(99, false), Blocked({1}));
  EXPECT_EQ(run(100, false), kClear);
  EXPECT_EQ(run(0, true), kClear);
  EXPECT_EQ(engine().sublayerLookups.load(), 2);
}

TEST_F(WfpPreflight, SeventeenReportableListSixteen) {
  std::vector<std::uint64_t> ids;
  for (std::uint64_t id = 1; id <= 17; ++id) {
    GUID sublayer = kSublayerA;
    sublayer.Data1 = static_cast<unsigned long>(id);
    FakeFilter candidate = Candidate(id);
    candidate.subLayerKey = sublayer;
    FakeFilter companion = Companion(100 + id);
    companion.subLayerKey = sublayer;
    engine().AddFilter(id, candidate);
    engine().AddFilter(100 + id, companion);
    if (id <= 16) ids.push_back(id);
  }
  std::string expected = Blocked(ids);
  expected.insert(std::string(R"({"status":"blocked")").size(), R"(,"nativeErrorCode":234)");
  EXPECT_EQ(OnLoopback(), expected);
}

// Conversions that refuse a GUID with the code its first group spells (0: converted).
DWORD WINAPI RefuseWithFirstGroup(const GUID* guid, NET_LUID* luid) {
  if (guid->Data1 != 0) return guid->Data1;
  luid->Value = 0x1234;
  return ERROR_SUCCESS;
}
DWORD WINAPI IndexSeven(const NET_LUID*, NET_IFINDEX* index) {
  *index = 7;
  return ERROR_SUCCESS;
}

TEST(WfpPreflightInterfaces, TheFirstErrorIsKeptWhateverFollows) {
  const orv::dns::InterfaceConversions conversions = {&RefuseWithFirstGroup, &IndexSeven};
  const wchar_t* const notFound = L"00000490-0000-0000-0000-000000000000";  // 1168
  const wchar_t* const fileNotFound = L"{00000002-0000-0000-0000-000000000000}";
  const wchar_t* const converts = L"00000000-0000-0000-0000-000000000000";
  const struct {
    std::vector<const wchar_t*> entries;
    DWORD firstError;
  } rows[] = {
      {{notFound, converts, fileNotFound, nullptr}, 1168},
      {{converts, fileNotFound, notFound}, ERROR_FILE_NOT_FOUND},
      {{nullptr, notFound}, ERROR_INVALID_PARAMETER},
  };
  for (const auto& row : rows) {
    const orv::dns::ListedInterfaces listed =
        orv::dns::ListInterfaces(row.entries.data(), static_cast<std::uint32_t>(row.entries.size()), conversions);
    EXPECT_EQ(listed.firstError, row.firstError);
    const size_t converted = std::count(row.entries.begin(), row.entries.end(), converts);
    ASSERT_EQ(listed.interfaces.size(), converted);
    for (const auto& one : listed.interfaces) EXPECT_EQ(one.index, 7u);
  }
}

// A failure other than exhausted memory inside either filter export reaches
// its barrier, which answers 8 for it too.
TEST_F(WfpPreflight, AFailureCaughtAtTheExportsBarrierAnswers8) {
  orv::dns::WfpEngineApi api = engine().Api();
  api.FwpmEngineOpen0 = [](const wchar_t*, UINT32, SEC_WINNT_AUTH_IDENTITY_W*, const FWPM_SESSION0*,
                           HANDLE*) -> DWORD { throw std::runtime_error("inside the engine"); };
  std::uint8_t buffer[256];
  std::uint32_t written = 7;
  const wchar_t* entries[] = {loopback.braced.c_str()};
  EXPECT_EQ(orv::dns::GuardedWfpPreflight(api, entries, 1, buffer, sizeof buffer, &written), 8u);
  EXPECT_EQ(written, 0u);
  written = 7;
  EXPECT_EQ(orv::dns::GuardedWfpPresenceCheck(api, nullptr, 4242, buffer, sizeof buffer, &written), 8u);
  EXPECT_EQ(written, 0u);
}

}  // namespace
