// The buffer sizes the public header promises: each diagnostic document is
// built by the product's own writers from the widest values its members can
// have (every list full, every text at its cap in its widest encoding, every
// number at its widest, every address in the widest text the platform writes,
// the longest condition kind). It must fit the bound worked out member by
// member, and the published size must not be more than a few per cent above it.

#include <gtest/gtest.h>

#include <iostream>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "kilna/kilna_exports.h"
#include "native/dns/capture/capture_json.h"
#include "native/dns/trace/client_event.h"
#include "native/dns/trace/dns_trace.h"
#include "native/dns/trace/document_bounds.h"
#include "native/dns/wfp/wfp_drop_state.h"
#include "native/dns/wfp/wfp_filter_description.h"
#include "native/dns/wfp/wfp_preflight.h"
#include "native/dns/wfp/wfp_presence_check.h"
#include "tests/native/dns/trace/fake_tdh.h"
#include "tests/native/dns/wfp/fake_wfp_engine.h"
#include "tests/support/document_archive.h"

namespace orv::test {
namespace {

constexpr std::uint64_t kWidest64 = UINT64_MAX;
constexpr std::uint32_t kWidest32 = UINT32_MAX;
// 128 units, each three bytes in UTF-8: the widest text a display or text
// field keeps (a quote would take two, a surrogate pair two per unit).
const std::wstring kWidestText(128, L'\x4E2D');
// Display names are cut to 128 units: longer ones must not make the
// document longer.
const std::wstring kOverlongName(300, L'\x4E2D');
// The widest IPv6 text the platform writes is the IPv4-embedded form, here
// with the longest zone a client event keeps.
constexpr wchar_t kWidestAddress[] = L"FFFF:FFFF:FFFF:FFFF:0200:5EFE:255.255.255.255%4294967295";
constexpr BYTE kWidestIpv6[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0x02, 0x00, 0x5E, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
const GUID kKey = {0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
const GUID kProviderKey = {0xAAAAAAAA, 0xAAAA, 0xAAAA, {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}};
const GUID kSublayerKey = {0xBBBBBBBB, 0xBBBB, 0xBBBB, {0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB}};
// The known field with the longest name, an address field.
const GUID kDestinationAddress = {0x2D79133B, 0xB390, 0x45C6, {0x86, 0x99, 0xAC, 0xAC, 0xEA, 0xAF, 0xED, 0x33}};
const GUID kRemotePort = {0xC35A604D, 0xD22B, 0x4E1A, {0x91, 0xB4, 0x68, 0xF6, 0x74, 0xEE, 0x67, 0x4B}};
const GUID kUnknownField = {0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34}};

std::size_t Longest(const std::vector<std::string>& texts) {
  std::size_t longest = 0;
  for (const auto& text : texts) longest = std::max(longest, text.size());
  return longest;
}

// ---- Client events ---------------------------------------------------------

std::string WidestClientEvent() {
  std::vector<std::string> candidates;
  for (const USHORT id : dns::kClientEventIds) {
    FakeClientEvent event(id, L"example.org");
    EVENT_HEADER& header = event.record().EventHeader;
    header.TimeStamp.QuadPart = LLONG_MAX;
    header.ProcessId = kWidest32;
    header.ActivityId = kKey;
    for (const wchar_t* number : {L"ClientPID", L"QueryType", L"InterfaceCount", L"NetworkIndex",
                                  L"InterfaceIndex", L"ResponseStatus", L"Status"}) {
      event.Number(number, kWidest32);
    }
    event.Text(L"AdapterName", kWidestText)
        .Text(L"LocalAddress", kWidestAddress)
        .Text(L"DNSServerAddress", kWidestAddress)
        .Text(L"DnsServerIpAddress", kWidestAddress);
    dns::ClientEventLog log{"example.org", {}, 0};
    dns::RecordClientEvent(FakeTdh(), event.record(), kWidest32, log);
    if (log.events.size() == 1) candidates.push_back(log.events[0]);
  }
  EXPECT_EQ(candidates.size(), std::size(dns::kClientEventIds)) << "every kept event id";
  std::string widest;
  for (const auto& candidate : candidates) {
    if (candidate.size() > widest.size()) widest = candidate;
  }
  return widest;
}

// ---- Packet capture ----------------------------------------------------------

std::string WidestCapture() {
  dns::CaptureRecord record(std::string(253, 'a'));
  for (std::size_t i = 0; i < dns::CaptureRecord::kMaxWindows; ++i) {
    EXPECT_TRUE(record.OpenWindow(kWidest32, kWidest64));
    record.EndOpenWindow(kWidest64);
  }
  dns::CaptureEvent event;
  event.timeUs = kWidest64;
  event.clientAddress = 0xFFFFFFFF;
  event.interfaceIndex = kWidest32;
  event.transactionId = 0xFFFF;
  event.clientPort = 0xFFFF;
  event.queryType = 28;
  event.responseCode = 15;  // four bits in the header
  event.transport = dns::DnsTransport::kTcp;
  event.stage = dns::DnsStage::kReply;
  while (record.RecordEvent(event)) {
  }
  for (int i = 0; i < 3; ++i) {
    record.CountUnparsedTcpSegment();
    record.CountFragmentedEndpointPacket();
  }
  record.RecordError(kWidest32);
  record.SetExpired(true);
  EXPECT_EQ(record.events().size(), dns::CaptureRecord::kMaxEvents);
  std::string json;
  dns::AppendCaptureJson(json, record);
  return json;
}

// ---- Filter descriptions ---------------------------------------------------------

class Conditions {
 public:
  // Every value kind the description can show, on the longest address field,
  // with the widest match and value of each.
  std::vector<FWPM_FILTER_CONDITION0> EveryKind() {
    ranges_.reserve(Singles().size());  // the conditions point into it
    std::vector<FWP_CONDITION_VALUE0> values;
    for (FWP_VALUE0 single : Singles()) values.push_back(Value(single));
    values.push_back(V4Mask());
    values.push_back(V6Mask());
    for (const FWP_VALUE0& low : Singles()) {
      FWP_CONDITION_VALUE0 range = {};
      range.type = FWP_RANGE_TYPE;
      range.rangeValue = &ranges_.emplace_back(FWP_RANGE0{low, low});
      values.push_back(range);
    }
    FWP_CONDITION_VALUE0 blob = {};
    blob.type = FWP_BYTE_BLOB_TYPE;
    values.push_back(blob);
    FWP_CONDITION_VALUE0 strange = {};
    strange.type = static_cast<FWP_DATA_TYPE>(INT_MIN);
    values.push_back(strange);

    std::vector<FWPM_FILTER_CONDITION0> conditions;
    for (const GUID& field : {kDestinationAddress, kRemotePort, kUnknownField}) {
      for (const FWP_CONDITION_VALUE0& value : values) {
        FWPM_FILTER_CONDITION0 condition = {};
        condition.fieldKey = field;
        condition.matchType = static_cast<FWP_MATCH_TYPE>(INT_MIN);
        condition.conditionValue = value;
        conditions.push_back(condition);
      }
    }
    return conditions;
  }

 private:
  std::vector<FWP_VALUE0> Singles() {
    std::vector<FWP_VALUE0> singles(9);
    singles[0].type = FWP_UINT8, singles[0].uint8 = 0xFF;
    singles[1].type = FWP_UINT16, singles[1].uint16 = 0xFFFF;
    singles[2].type = FWP_UINT32, singles[2].uint32 = 0xFFFFFFFF;
    singles[3].type = FWP_UINT64, singles[3].uint64 = &wide64_;
    singles[4].type = FWP_INT8, singles[4].int8 = INT8_MIN;
    singles[5].type = FWP_INT16, singles[5].int16 = INT16_MIN;
    singles[6].type = FWP_INT32, singles[6].int32 = INT32_MIN;
    singles[7].type = FWP_INT64, singles[7].int64 = &narrow64_;
    singles[8].type = FWP_BYTE_ARRAY16_TYPE, singles[8].byteArray16 = &address_;
    return singles;
  }
  static FWP_CONDITION_VALUE0 Value(const FWP_VALUE0& single) {
    static_assert(sizeof(FWP_VALUE0) == sizeof(FWP_CONDITION_VALUE0), "the same type and union");
    FWP_CONDITION_VALUE0 value;
    std::memcpy(&value, &single, sizeof value);
    return value;
  }
  FWP_CONDITION_VALUE0 V4Mask() {
    FWP_CONDITION_VALUE0 value = {};
    value.type = FWP_V4_ADDR_MASK;
    value.v4AddrMask = &v4Mask_;
    return value;
  }
  FWP_CONDITION_VALUE0 V6Mask() {
    FWP_CONDITION_VALUE0 value = {};
    value.type = FWP_V6_ADDR_MASK;
    value.v6AddrMask = &v6Mask_;
    return value;
  }

  UINT64 wide64_ = UINT64_MAX;
  INT64 narrow64_ = INT64_MIN;
  FWP_BYTE_ARRAY16 address_ = Widest<FWP_BYTE_ARRAY16>();
  FWP_V4_ADDR_AND_MASK v4Mask_ = {0xFFFFFFFF, 0xFFFFFFFF};
  FWP_V6_ADDR_AND_MASK v6Mask_ = WidestMask();
  template <typename Bytes>
  static Bytes Widest() {
    Bytes bytes = {};
    std::memcpy(&bytes, kWidestIpv6, sizeof kWidestIpv6);
    return bytes;
  }
  static FWP_V6_ADDR_AND_MASK WidestMask() {
    FWP_V6_ADDR_AND_MASK mask = {};
    std::memcpy(mask.addr, kWidestIpv6, sizeof kWidestIpv6);
    mask.prefixLength = 255;
    return mask;
  }
  std::vector<FWP_RANGE0> ranges_;
};

class DocumentBounds : public ::testing::Test {
 protected:
  void SetUp() override { engine().Reset(); }
  static FakeWfpEngine& engine() { return FakeWfpEngine::Instance(); }

  static std::string Describe(std::uint64_t id) {
    const dns::WfpEngineApi api = engine().Api();
    return dns::DescribeWfpFilter(api, reinterpret_cast<HANDLE>(1), id);
  }

  // The widest description: every name at its cap, a callout action, and
  // sixteen copies of the widest condition kind among many more conditions;
  // with and without the filter's own provider (without it, the sublayer
  // carries the provider object).
  static std::string WidestDescription() {
    engine().AddProvider({kProviderKey, kOverlongName, kOverlongName});
    engine().AddSublayer({kSublayerKey, kOverlongName, true, kProviderKey, 0xFFFF});

    Conditions kinds;
    const std::vector<FWPM_FILTER_CONDITION0> every = kinds.EveryKind();
    std::uint64_t id = 1;
    std::vector<std::string> one;
    for (const FWPM_FILTER_CONDITION0& condition : every) {
      FakeFilter filter = Filter(true);
      filter.conditions = {condition};
      engine().AddFilter(id, filter);
      one.push_back(Describe(id++));
    }
    std::size_t widest = 0;
    for (std::size_t i = 0; i < one.size(); ++i) {
      if (one[i].size() > one[widest].size()) widest = i;
    }
    EXPECT_NE(one[widest].find("\"value\":\"ffff:ffff:ffff:ffff:200:5efe:255.255.255.255.."), std::string::npos)
        << one[widest];

    std::vector<std::string> whole;
    for (const bool ownProvider : {true, false}) {
      FakeFilter filter = Filter(ownProvider);
      filter.conditions.assign(16, every[widest]);
      filter.conditionCount = kWidest32;
      engine().AddFilter(id, filter);
      whole.push_back(Describe(id++));
    }
    return whole[0].size() >= whole[1].size() ? whole[0] : whole[1];
  }

  static FakeFilter Filter(bool ownProvider) {
    FakeFilter filter;
    filter.key = kKey;
    filter.name = kOverlongName;
    filter.hasProvider = ownProvider;
    filter.providerKey = kProviderKey;
    filter.layerKey = kKey;
    filter.subLayerKey = kSublayerKey;
    filter.actionType = kWidest32;  // carries the callout bit
    filter.calloutKey = kKey;
    return filter;
  }

  static std::string WidestDropCollection() {
    dns::State state(engine().Api());
    const std::string description = WidestDescription();
    state.status = dns::Status::kSubscribed;
    state.localSubscribed = true;
    state.remoteSubscribed = true;
    state.startedUs = kWidest64;
    state.endedUs = kWidest64;
    state.nativeErrorCode = kWidest32;
    state.dropped = kWidest64;
    state.rulesTruncated = true;
    // Seventeen filters dropped: sixteen rules, and the drops of the last.
    std::uint64_t filter = kWidest64;
    for (auto& event : state.events) {
      event = {kWidest64, filter, 0x3901, 0xFFFF, 0xFFFF, 53, 6, false};  // the server's end is port 53
      if (filter > kWidest64 - dns::kMaxDropRules) --filter;
    }
    state.eventCount = state.events.size();
    filter = kWidest64;
    for (auto& rule : state.rules) rule = {filter--, kWidest64, kWidest64, description};
    state.ruleCount = state.rules.size();
    std::lock_guard lock(state.mutex);
    return dns::DropStateJson(state);
  }
};

TEST_F(DocumentBounds, TheWidestTraceFitsItsBoundAndThePublishedSizeIsCloseAbove) {
  const std::string event = WidestClientEvent();
  ASSERT_FALSE(event.empty());
  EXPECT_NE(event.find("\"adapter\":\"\xE4\xB8\xAD"), std::string::npos) << event;
  const std::vector<std::string> events(dns::kMaxClientEvents, event);

  dns::TraceDocumentParts parts(events);
  parts.dropped = kWidest64;
  parts.expired = false;
  parts.clientError = kWidest32;
  parts.packets = WidestCapture();
  parts.wfp = WidestDropCollection();
  const std::string document = dns::TraceDocument(parts);
  ArchiveDocument("dns-trace", document);  // the schema takes the fullest document too

  std::cout << "widest trace " << document.size() << " bytes (bound " << dns::bounds::kTraceDocument
            << ", published " << KILNA_DNS_TRACE_BUFFER_SIZE << "): events " << event.size() << " x "
            << events.size() << ", orvPackets " << parts.packets.size() << ", wfp " << parts.wfp.size() << "\n";
  EXPECT_EQ(event.size(), dns::bounds::kClientEvent) << event;
  EXPECT_LE(parts.packets.size(), dns::bounds::kCapture);
  EXPECT_LE(parts.wfp.size(), dns::bounds::kCollector);
  EXPECT_LE(document.size(), dns::bounds::kTraceDocument);
  EXPECT_LE(dns::bounds::kTraceDocument, std::size_t{KILNA_DNS_TRACE_BUFFER_SIZE});
  // The published size is the widest document's, not a guess far above it.
  EXPECT_LE(std::size_t{KILNA_DNS_TRACE_BUFFER_SIZE} * 100, document.size() * 104) << document.size();
}

TEST_F(DocumentBounds, TheWidestPreflightIsItsBoundAndThePublishedSizeIsCloseAbove) {
  dns::Evaluation evaluation;
  evaluation.code = kWidest32;  // an interface error outlives the report
  for (std::size_t i = 0; i < dns::kMaxReported; ++i) {
    dns::Key key;
    key.bytes.fill(0xFF);
    key.bytes[0] = static_cast<std::uint8_t>(i);  // sixteen different filters
    evaluation.reported.push_back({kWidest64 - i, key});
  }
  const std::string document = dns::WfpPreflightDocument(evaluation);
  ArchiveDocument("wfp-preflight", document);
  EXPECT_EQ(document.size(), dns::bounds::kPreflightDocument) << document;
  EXPECT_LE(document.size(), std::size_t{KILNA_DNS_WFP_PREFLIGHT_BUFFER_SIZE});
  EXPECT_LE(std::size_t{KILNA_DNS_WFP_PREFLIGHT_BUFFER_SIZE} * 100, document.size() * 104) << document;
}

TEST_F(DocumentBounds, TheWidestPresenceCheckIsItsBoundAndThePublishedSizeIsCloseAbove) {
  const std::vector<std::string> widest = {
      dns::WfpPresenceDocument(ERROR_SUCCESS, kWidest64, true),
      dns::WfpPresenceDocument(0x80320003, 0, true),
      dns::WfpPresenceDocument(kWidest32, 0, true),
  };
  for (const auto& document : widest) {
    ArchiveDocument("wfp-compare", document);
    EXPECT_LE(document.size(), std::size_t{KILNA_DNS_WFP_COMPARE_BUFFER_SIZE}) << document;
  }
  EXPECT_EQ(Longest(widest), dns::bounds::kCompareDocument);
  EXPECT_LE(std::size_t{KILNA_DNS_WFP_COMPARE_BUFFER_SIZE} * 100, Longest(widest) * 104);
}

}  // namespace
}  // namespace orv::test
