#include "native/dns/wfp/wfp_filter_description.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/dns/wfp/fake_wfp_engine.h"

namespace {

using orv::test::FakeFilter;
using orv::test::FakeProvider;
using orv::test::FakeSublayer;
using orv::test::FakeWfpEngine;

const GUID kFilterKey = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID kProviderKey = {0xaaaaaaaa, 0xbbbb, 0xcccc, {0xdd, 0xdd, 0xee, 0xee, 0xee, 0xee, 0xee, 0xee}};
const GUID kSublayerKey = {0x01234567, 0x89ab, 0xcdef, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};
const GUID kCalloutKey = {0x0fedcba9, 0x8765, 0x4321, {0x0f, 0xed, 0xcb, 0xa9, 0x87, 0x65, 0x43, 0x21}};
const GUID kUnknownField = {0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34}};

constexpr char kFilterKeyText[] = "{11111111-2222-3333-4444-555555555555}";
constexpr char kProviderKeyText[] = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
constexpr char kSublayerKeyText[] = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
constexpr char kConnectLayerText[] = "{C38D57D1-05A7-4C33-904F-7FBCEEE60E82}";

class WfpFilterDescription : public ::testing::Test {
 protected:
  void SetUp() override { engine().Reset(); }
  void TearDown() override { EXPECT_EQ(engine().allocations.load(), engine().frees.load()); }

  static FakeWfpEngine& engine() { return FakeWfpEngine::Instance(); }

  static std::string Describe(std::uint64_t id) {
    const orv::dns::WfpEngineApi api = engine().Api();
    return orv::dns::DescribeWfpFilter(api, reinterpret_cast<HANDLE>(1), id);
  }

  // A block filter on the connect layer in our sublayer, with our provider.
  static FakeFilter PlainFilter() {
    FakeFilter filter;
    filter.key = kFilterKey;
    filter.name = L"Block DNS";
    filter.hasProvider = true;
    filter.providerKey = kProviderKey;
    filter.layerKey = FWPM_LAYER_ALE_AUTH_CONNECT_V4;
    filter.subLayerKey = kSublayerKey;
    return filter;
  }

  static void AddProviderAndSublayer() {
    engine().AddProvider({kProviderKey, L"Example Firewall", L"exfw"});
    engine().AddSublayer({kSublayerKey, L"Example sublayer", false, {}});
  }

  // The description of one condition alone, cut out of the whole text.
  static std::string DescribeCondition(const FWPM_FILTER_CONDITION0& condition) {
    FakeFilter filter = PlainFilter();
    filter.conditions = {condition};
    engine().AddFilter(7, filter);
    const std::string text = Describe(7);
    const size_t begin = text.find(",\"conditions\":[");
    if (begin == std::string::npos) return text;
    return text.substr(begin + 15, text.size() - begin - 16);
  }

  static FWPM_FILTER_CONDITION0 Condition(const GUID& field, FWP_DATA_TYPE type) {
    FWPM_FILTER_CONDITION0 condition = {};
    condition.fieldKey = field;
    condition.matchType = FWP_MATCH_EQUAL;
    condition.conditionValue.type = type;
    return condition;
  }
};

TEST_F(WfpFilterDescription, FailedFilterLookupsAreOnlyTheirStatus) {
  EXPECT_EQ(Describe(99), ",\"status\":\"notFound\",\"nativeErrorCode\":2150760451");
  engine().FailFilterLookup(5, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Describe(5), ",\"status\":\"unavailable\",\"nativeErrorCode\":5");
  engine().FailFilterLookup(6, ERROR_SUCCESS);  // success without a filter
  EXPECT_EQ(Describe(6), ",\"status\":\"unavailable\",\"nativeErrorCode\":13");
}

TEST_F(WfpFilterDescription, DescribesAResolvedFilterWholly) {
  AddProviderAndSublayer();
  engine().AddFilter(7, PlainFilter());
  EXPECT_EQ(Describe(7), std::string(",\"status\":\"resolved\",\"filterKey\":\"") + kFilterKeyText +
                             "\",\"name\":\"Block DNS\",\"layerKey\":\"" + kConnectLayerText +
                             "\",\"action\":{\"type\":4097},\"provider\":{\"key\":\"" + kProviderKeyText +
                             "\",\"status\":\"resolved\",\"name\":\"Example Firewall\",\"serviceName\":\"exfw\"}"
                             ",\"sublayer\":{\"key\":\"" + kSublayerKeyText +
                             "\",\"status\":\"resolved\",\"name\":\"Example sublayer\"}"
                             ",\"conditionCount\":0,\"conditionsTruncated\":false,\"conditions\":[]");
}

TEST_F(WfpFilterDescription, ProviderAndSublayerFailuresStayInsideTheirObjects) {
  engine().AddFilter(7, PlainFilter());
  engine().FailSublayerLookup(kSublayerKey, ERROR_NO_DATA);
  const std::string text = Describe(7);
  EXPECT_NE(text.find(std::string(",\"provider\":{\"key\":\"") + kProviderKeyText +
                      "\",\"status\":\"notFound\",\"nativeErrorCode\":2150760453}"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(std::string(",\"sublayer\":{\"key\":\"") + kSublayerKeyText +
                      "\",\"status\":\"unavailable\",\"nativeErrorCode\":232}"),
            std::string::npos)
      << text;

  engine().Reset();
  engine().AddFilter(7, PlainFilter());
  engine().FailProviderLookup(kProviderKey, ERROR_SUCCESS);
  engine().AddSublayer({kSublayerKey, L"", false, {}});
  const std::string nothing = Describe(7);
  EXPECT_NE(nothing.find("\",\"status\":\"unavailable\",\"nativeErrorCode\":13}"), std::string::npos) << nothing;
  EXPECT_NE(nothing.find(std::string(",\"sublayer\":{\"key\":\"") + kSublayerKeyText + "\",\"status\":\"resolved\"}"),
            std::string::npos)
      << nothing;
}

TEST_F(WfpFilterDescription, AFilterWithoutProviderNestsTheSublayersProvider) {
  FakeFilter filter = PlainFilter();
  filter.hasProvider = false;
  engine().AddFilter(7, filter);
  engine().AddSublayer({kSublayerKey, L"Theirs", true, kProviderKey});
  engine().AddProvider({kProviderKey, L"Their Firewall", L""});
  const std::string text = Describe(7);
  EXPECT_NE(text.find(std::string(",\"provider\":{\"status\":\"notSpecified\"},\"sublayer\":{\"key\":\"") +
                      kSublayerKeyText + "\",\"status\":\"resolved\",\"name\":\"Theirs\",\"providerKey\":\"" +
                      kProviderKeyText + "\",\"provider\":{\"key\":\"" + kProviderKeyText +
                      "\",\"status\":\"resolved\",\"name\":\"Their Firewall\"}}"),
            std::string::npos)
      << text;

  // With a provider of its own, the sublayer only names its provider's key.
  engine().AddFilter(8, PlainFilter());
  const std::string own = Describe(8);
  EXPECT_NE(own.find(std::string("\"name\":\"Theirs\",\"providerKey\":\"") + kProviderKeyText + "\"}"),
            std::string::npos)
      << own;
}

TEST_F(WfpFilterDescription, CalloutActionsCarryTheirCalloutKey) {
  AddProviderAndSublayer();
  FakeFilter filter = PlainFilter();
  filter.actionType = FWP_ACTION_CALLOUT_TERMINATING;
  filter.calloutKey = kCalloutKey;
  engine().AddFilter(7, filter);
  EXPECT_NE(Describe(7).find(",\"action\":{\"type\":20483,\"calloutKey\":\"{0FEDCBA9-8765-4321-0FED-CBA987654321}\"}"),
            std::string::npos);
}

TEST_F(WfpFilterDescription, DisplayNames) {
  AddProviderAndSublayer();
  const struct {
    std::wstring name;
    std::string member;
  } rows[] = {
      {L"C:\\Program Files\\fw.exe", ",\"name\":\"[redacted]\""},
      {L"usr/bin", ",\"name\":\"[redacted]\""},
      {std::wstring(129, L'a'), ",\"name\":\"" + std::string(128, 'a') + "\""},
      {L"tab\there \"q\" \\", ",\"name\":\"[redacted]\""},
      {L"tab\there \"q\"", ",\"name\":\"tab?here \\\"q\\\"\""},
      {L"\u4e2d\u6587", ",\"name\":\"\xe4\xb8\xad\xe6\x96\x87\""},
  };
  for (const auto& row : rows) {
    FakeFilter filter = PlainFilter();
    filter.name = row.name;
    engine().AddFilter(7, filter);
    const std::string text = Describe(7);
    EXPECT_NE(text.find(row.member + ",\"layerKey\""), std::string::npos) << text;
  }

  // A cut inside a surrogate pair leaves the member out; so does no name.
  FakeFilter split = PlainFilter();
  split.name = std::wstring(127, L'a') + L"\xD83D\xDE00";
  engine().AddFilter(7, split);
  EXPECT_NE(Describe(7).find(std::string(kFilterKeyText) + "\",\"layerKey\""), std::string::npos);
  FakeFilter unnamed = PlainFilter();
  unnamed.hasName = false;
  engine().AddFilter(7, unnamed);
  EXPECT_NE(Describe(7).find(std::string(kFilterKeyText) + "\",\"layerKey\""), std::string::npos);
}

TEST_F(WfpFilterDescription, ConditionCountsAndTruncation) {
  AddProviderAndSublayer();
  FakeFilter many = PlainFilter();
  for (int i = 0; i < 20; ++i) {
    FWPM_FILTER_CONDITION0 condition = Condition(FWPM_CONDITION_IP_PROTOCOL, FWP_UINT8);
    condition.conditionValue.uint8 = static_cast<UINT8>(i);
    many.conditions.push_back(condition);
  }
  engine().AddFilter(7, many);
  const std::string text = Describe(7);
  EXPECT_NE(text.find(",\"conditionCount\":20,\"conditionsTruncated\":true,\"conditions\":[{"), std::string::npos);
  size_t objects = 0;
  for (size_t at = text.find("{\"fieldKey\""); at != std::string::npos; at = text.find("{\"fieldKey\"", at + 1)) {
    ++objects;
  }
  EXPECT_EQ(objects, 16u);
  EXPECT_NE(text.find("\"value\":\"15\"}]"), std::string::npos);

  FakeFilter missing = PlainFilter();
  missing.conditionCount = 3;
  missing.nullConditions = true;
  engine().AddFilter(8, missing);
  EXPECT_NE(Describe(8).find(",\"conditionCount\":3,\"conditionsTruncated\":true,\"conditions\":[]"),
            std::string::npos);
}

TEST_F(WfpFilterDescription, EveryKnownFieldIsNamed) {
  AddProviderAndSublayer();
  const struct {
    const char* key;
    const char* name;
  } rows[] = {
      {"{D9EE00DE-C1EF-4617-BFE3-FFD8F5A08957}", "FWPM_CONDITION_IP_LOCAL_ADDRESS"},
      {"{B235AE9A-1D64-49B8-A44C-5FF3D9095045}", "FWPM_CONDITION_IP_REMOTE_ADDRESS"},
      {"{AE96897E-2E94-4BC9-B313-B27EE80E574D}", "FWPM_CONDITION_IP_SOURCE_ADDRESS"},
      {"{2D79133B-B390-45C6-8699-ACACEAAFED33}", "FWPM_CONDITION_IP_DESTINATION_ADDRESS"},
      {"{0C1BA1AF-5765-453F-AF22-A8F791AC775B}", "FWPM_CONDITION_IP_LOCAL_PORT"},
      {"{C35A604D-D22B-4E1A-91B4-68F674EE674B}", "FWPM_CONDITION_IP_REMOTE_PORT"},
      {"{3971EF2B-623E-4F9A-8CB1-6E79B806B9A7}", "FWPM_CONDITION_IP_PROTOCOL"},
      {"{4CD62A49-59C3-4969-B7F3-BDA5D32890A4}", "FWPM_CONDITION_IP_LOCAL_INTERFACE"},
      {"{618A9B6D-386B-4136-AD6E-B51587CFB1CD}", "FWPM_CONDITION_IP_ARRIVAL_INTERFACE"},
      {"{93AE8F5B-7F6F-4719-98C8-14E97429EF04}", "FWPM_CONDITION_IP_NEXTHOP_INTERFACE"},
      {"{667FD755-D695-434A-8AF5-D3835A1259BC}", "FWPM_CONDITION_INTERFACE_INDEX"},
      {"{0CD42473-D621-4BE3-AE8C-72A348D283E1}", "FWPM_CONDITION_SUB_INTERFACE_INDEX"},
      {"{DAF8CD14-E09E-4C93-A5AE-C5C13B73FFCA}", "FWPM_CONDITION_INTERFACE_TYPE"},
      {"{35A791AB-04AC-4FF2-A6BB-DA6CFAC71806}", "FWPM_CONDITION_COMPARTMENT_ID"},
      {"{8784C146-CA97-44D6-9FD1-19FB1840CBF7}", "FWPM_CONDITION_DIRECTION"},
      {"{632CE23B-5167-435C-86D7-E903684AA80C}", "FWPM_CONDITION_FLAGS"},
      {"{D78E1E87-8644-4EA5-9437-D809ECEFC971}", "FWPM_CONDITION_ALE_APP_ID"},
      {"{0E6CD086-E1FB-4212-842F-8A9F993FB3F6}", "FWPM_CONDITION_ALE_ORIGINAL_APP_ID"},
      {"{AF043A0A-B34D-4F86-979C-C90371AF6E66}", "FWPM_CONDITION_ALE_USER_ID"},
      {"{71BC78FA-F17C-4997-A602-6ABB261F351C}", "FWPM_CONDITION_ALE_PACKAGE_ID"},
  };
  for (const auto& row : rows) {
    GUID field;
    std::wstring text(row.key, row.key + 38);
    ASSERT_EQ(::CLSIDFromString(text.c_str(), &field), S_OK) << row.key;
    EXPECT_EQ(DescribeCondition(Condition(field, FWP_EMPTY)),
              std::string("{\"fieldKey\":\"") + row.key + "\",\"field\":\"" + row.name +
                  "\",\"matchType\":0,\"valueType\":0}");
  }
  EXPECT_EQ(DescribeCondition(Condition(kUnknownField, FWP_EMPTY)),
            "{\"fieldKey\":\"{12345678-1234-1234-1234-123412341234}\",\"matchType\":0,\"valueType\":0}");
}

TEST_F(WfpFilterDescription, ConditionValues) {
  AddProviderAndSublayer();
  static UINT64 big = 18446744073709551615ULL;
  static INT64 negative = -5;
  static FWP_V4_ADDR_AND_MASK v4Mask = {0xAC130000, 0xFFFF0000};
  static FWP_V6_ADDR_AND_MASK v6Mask = {{0x20, 0x01, 0x0d, 0xb8}, 32};
  static FWP_BYTE_ARRAY16 v6 = {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  static FWP_BYTE_BLOB blob = {3, nullptr};
  static wchar_t path[] = L"c:\\x.exe";
  static FWP_RANGE0 ports = {};
  ports.valueLow.type = FWP_UINT16;
  ports.valueLow.uint16 = 53;
  ports.valueHigh.type = FWP_UINT16;
  ports.valueHigh.uint16 = 53;
  static FWP_RANGE0 blobEnd = {};
  blobEnd.valueLow.type = FWP_UINT16;
  blobEnd.valueHigh.type = FWP_BYTE_BLOB_TYPE;
  blobEnd.valueHigh.byteBlob = &blob;

  struct Row {
    const char* what;
    FWPM_FILTER_CONDITION0 condition;
    const char* tail;  // what follows "valueType":N
  };
  auto make = [](const GUID& field, FWP_DATA_TYPE type, auto set) {
    FWPM_FILTER_CONDITION0 c = Condition(field, type);
    set(c.conditionValue);
    return c;
  };
  const Row rows[] = {
      {"remote address UINT32 in host order",
       make(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWP_UINT32, [](auto& v) { v.uint32 = 0xAC130002; }),
       ",\"value\":\"172.19.0.2\"}"},
      {"the same value on the protocol field",
       make(FWPM_CONDITION_IP_PROTOCOL, FWP_UINT32, [](auto& v) { v.uint32 = 0xAC130002; }),
       ",\"value\":\"2886926338\"}"},
      {"v4 address and mask",
       make(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWP_V4_ADDR_MASK, [](auto& v) { v.v4AddrMask = &v4Mask; }),
       ",\"value\":\"172.19.0.0/255.255.0.0\"}"},
      {"v6 address and prefix",
       make(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWP_V6_ADDR_MASK, [](auto& v) { v.v6AddrMask = &v6Mask; }),
       ",\"value\":\"2001:db8::/32\"}"},
      {"16 bytes on an address field",
       make(FWPM_CONDITION_IP_LOCAL_ADDRESS, FWP_BYTE_ARRAY16_TYPE, [](auto& v) { v.byteArray16 = &v6; }),
       ",\"value\":\"2001:db8::1\"}"},
      {"16 bytes elsewhere",
       make(FWPM_CONDITION_IP_LOCAL_INTERFACE, FWP_BYTE_ARRAY16_TYPE, [](auto& v) { v.byteArray16 = &v6; }),
       ",\"valueStatus\":\"redacted\"}"},
      {"a blob", make(FWPM_CONDITION_ALE_APP_ID, FWP_BYTE_BLOB_TYPE, [](auto& v) { v.byteBlob = &blob; }),
       ",\"valueStatus\":\"redacted\"}"},
      {"a SID", make(FWPM_CONDITION_ALE_USER_ID, FWP_SID, [](auto& v) { v.sid = nullptr; }),
       ",\"valueStatus\":\"redacted\"}"},
      {"a string", make(kUnknownField, FWP_UNICODE_STRING_TYPE, [](auto& v) { v.unicodeString = path; }),
       ",\"valueStatus\":\"redacted\"}"},
      {"a null UINT64", make(FWPM_CONDITION_FLAGS, FWP_UINT64, [](auto& v) { v.uint64 = nullptr; }),
       ",\"valueStatus\":\"unavailable\"}"},
      {"a UINT64", make(FWPM_CONDITION_FLAGS, FWP_UINT64, [](auto& v) { v.uint64 = &big; }),
       ",\"value\":\"18446744073709551615\"}"},
      {"an INT64", make(kUnknownField, FWP_INT64, [](auto& v) { v.int64 = &negative; }), ",\"value\":\"-5\"}"},
      {"an INT8", make(kUnknownField, FWP_INT8, [](auto& v) { v.int8 = -128; }), ",\"value\":\"-128\"}"},
      {"a UINT16 port", make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_UINT16, [](auto& v) { v.uint16 = 53; }),
       ",\"value\":\"53\"}"},
      {"a range of two ports", make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_RANGE_TYPE, [](auto& v) { v.rangeValue = &ports; }),
       ",\"value\":\"53..53\"}"},
      {"a range with a blob end",
       make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_RANGE_TYPE, [](auto& v) { v.rangeValue = &blobEnd; }),
       ",\"valueStatus\":\"redacted\"}"},
      {"a null range", make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_RANGE_TYPE, [](auto& v) { v.rangeValue = nullptr; }),
       ",\"valueStatus\":\"unavailable\"}"},
      {"empty", make(FWPM_CONDITION_IP_REMOTE_PORT, FWP_EMPTY, [](auto&) {}), "}"},
  };
  for (const auto& row : rows) {
    const std::string text = DescribeCondition(row.condition);
    const std::string typeMember = ",\"valueType\":" + std::to_string(static_cast<int>(row.condition.conditionValue.type));
    EXPECT_NE(text.find(typeMember + row.tail), std::string::npos) << row.what << ": " << text;
  }
}

}  // namespace
