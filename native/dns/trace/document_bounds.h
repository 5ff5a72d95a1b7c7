#pragma once
// The longest document each diagnostic export can write, worked out member by
// member from the writers' own limits: every list full, every text at its cap
// after escaping as its writer escapes, every number and address at the
// widest text it can have. The buffer sizes of the public header are checked
// against these below, and a test builds the documents they describe with the
// writers themselves.

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "kilna/kilna_exports.h"
#include "native/dns/capture/capture_record.h"
#include "native/dns/trace/canonical_address.h"
#include "native/dns/trace/client_event.h"
#include "native/dns/wfp/wfp_drop_state.h"
#include "native/dns/wfp/wfp_filter_description.h"
#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns::bounds {

// ---- The widest text of each kind of value -----------------------------------

inline constexpr std::size_t kUint64Digits = 20;  // 18446744073709551615
inline constexpr std::size_t kUint32Digits = 10;  // 4294967295
inline constexpr std::size_t kUint16Digits = 5;
inline constexpr std::size_t kInt32Digits = 11;  // -2147483648
inline constexpr std::size_t kInt64Digits = 20;  // -9223372036854775808
inline constexpr std::size_t kGuidText = 38;     // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
// A client event's time comes from a signed FILETIME: (2^63 - 1 - 1970) / 10.
inline constexpr std::size_t kEventTimeDigits = 18;  // 910692730085477580
// The widest IPv6 text the platform writes is an IPv4-embedded form:
// ffff:ffff:ffff:ffff:200:5efe:255.255.255.255.
inline constexpr std::size_t kWidestIpv6Text = 44;
inline constexpr std::size_t kWidestIpv4Text = 15;
// Bytes one UTF-16 unit can become in a written string: 3 for a character
// above U+07FF (an escaped quote or backslash takes 2, a control byte 1, a
// surrogate pair 4 for its two units).
inline constexpr std::size_t kBytesPerUnit = 3;

// ---- Fragments -------------------------------------------------------------------

constexpr std::size_t Longest(std::initializer_list<std::size_t> lengths) { return std::max(lengths); }
// ,"key":value
constexpr std::size_t Member(std::string_view key, std::size_t value) { return key.size() + 4 + value; }
// ,"key":"value"
constexpr std::size_t StringMember(std::string_view key, std::size_t value) { return Member(key, value + 2); }
// `count` items and the commas between them.
constexpr std::size_t List(std::size_t count, std::size_t item) { return count == 0 ? 0 : count * (item + 1) - 1; }
constexpr std::size_t Text(std::string_view fragment) { return fragment.size(); }

// ---- DNS client events -------------------------------------------------------------

inline constexpr std::size_t kEventText = kMaxTextFieldUnits * kBytesPerUnit;
inline constexpr std::size_t kEventAddress = kWidestIpv6Text + 1 + kMaxZoneDigits;  // with its %zone
inline constexpr std::size_t kClientEvent =
    Text("{\"id\":") + 4 + Member("timeUs", kEventTimeDigits) + Member("clientPid", kUint32Digits) +
    Member("processId", kUint32Digits) + StringMember("activity", kGuidText) +
    Longest({
        // 3009
        Member("interfaceCount", kUint32Digits) + Member("networkIndex", kUint32Digits) +
            StringMember("adapter", kEventText) + StringMember("localAddress", kEventAddress) +
            StringMember("server", kEventAddress),
        // 3010, 3011
        Member("queryType", kUint32Digits) + StringMember("server", kEventAddress) +
            Member("responseStatus", kUint32Digits),
        // 3019, 3020
        Member("queryType", kUint32Digits) + Member("interfaceIndex", kUint32Digits) +
            Member("networkIndex", kUint32Digits) + Member("responseStatus", kUint32Digits),
    }) +
    Text("}");

// ---- The adapter capture ("orvPackets") ----------------------------------------------

inline constexpr std::size_t kCaptureWindow = Text("{\"interfaceIndex\":") + kUint32Digits +
                                              Member("startedUs", kUint64Digits) + Member("endedUs", kUint64Digits) +
                                              Text("}");
inline constexpr std::size_t kCaptureEvent =
    Text("{\"timeUs\":") + kUint64Digits + StringMember("stage", Text("orvInterfaceQuery")) +
    StringMember("transport", Text("udp")) + Member("interfaceIndex", kUint32Digits) + Member("queryType", 2) +
    Member("transactionId", kUint16Digits) + Member("clientPort", kUint16Digits) + Member("responseCode", 2) +
    Text("}");
inline constexpr std::size_t kCapture =
    Text("{\"status\":\"interfaceNotReady\",\"captureLayer\":\"windowsIpLayerAtOrvNet\","
         "\"serverAddress\":\"172.19.0.2\",\"serverPort\":53,\"coverage\":\"ipv4UdpAndCompleteTcpMessages\"") +
    Member("errorCode", kUint32Digits) + Member("expired", Text("false")) + Member("dropped", kUint64Digits) +
    Member("unparsedTcpSegments", kUint64Digits) + Member("fragmentedEndpointPackets", kUint64Digits) +
    Text(",\"windows\":[") + List(CaptureRecord::kMaxWindows, kCaptureWindow) + Text("],\"events\":[") +
    List(CaptureRecord::kMaxEvents, kCaptureEvent) + Text("]}");

// ---- A filter's description ---------------------------------------------------------------

inline constexpr std::size_t kDisplayText = kMaxDisplayUnits * kBytesPerUnit;  // "[redacted]" is shorter
inline constexpr std::size_t kLookupFailed = StringMember("status", Text("unavailable")) +
                                             Member("nativeErrorCode", kUint32Digits);
inline constexpr std::size_t kProviderObject =
    Text(",\"provider\":{\"key\":\"") + kGuidText + Text("\"") +
    Longest({StringMember("status", Text("resolved")) + StringMember("name", kDisplayText) +
                 StringMember("serviceName", kDisplayText),
             kLookupFailed}) +
    Text("}");
inline constexpr std::size_t kNoProvider = Text(",\"provider\":{\"status\":\"notSpecified\"}");
// The sublayer carries the provider object when the filter names none itself.
constexpr std::size_t SublayerObject(bool nestsProvider) {
  return Text(",\"sublayer\":{\"key\":\"") + kGuidText + Text("\"") +
         Longest({StringMember("status", Text("resolved")) + StringMember("name", kDisplayText) +
                      StringMember("providerKey", kGuidText) + (nestsProvider ? kProviderObject : 0),
                  kLookupFailed}) +
         Text("}");
}
// The widest value: a range of two IPv6 addresses on an address field (a
// mask adds at most "/255", a range of 64-bit numbers is 20 + 2 + 20).
inline constexpr std::size_t kConditionValue =
    Longest({kWidestIpv6Text + 2 + kWidestIpv6Text, kWidestIpv6Text + 4, kWidestIpv4Text * 2 + 1,
             kInt64Digits + 2 + kInt64Digits});
inline constexpr std::size_t kCondition =
    Text("{\"fieldKey\":\"") + kGuidText + Text("\"") +
    StringMember("field", Text("FWPM_CONDITION_IP_DESTINATION_ADDRESS")) +  // the longest known name
    Member("matchType", kInt32Digits) +
    Longest({Member("valueType", 3) + StringMember("value", kConditionValue),  // a range or mask is 256 to 258
             Member("valueType", kInt32Digits) + StringMember("valueStatus", Text("unavailable"))}) +
    Text("}");
inline constexpr std::size_t kFilterDescription =
    StringMember("status", Text("resolved")) + StringMember("filterKey", kGuidText) +
    StringMember("name", kDisplayText) + StringMember("layerKey", kGuidText) + Text(",\"action\":{\"type\":") +
    kUint32Digits + StringMember("calloutKey", kGuidText) + Text("}") +
    Longest({kProviderObject + SublayerObject(false), kNoProvider + SublayerObject(true)}) +
    Member("conditionCount", kUint32Digits) + Member("conditionsTruncated", Text("false")) +
    Text(",\"conditions\":[") + List(kShownConditions, kCondition) + Text("]");

// ---- The drop-event collector ("wfp") -------------------------------------------------------

inline constexpr std::size_t kDropEvent =
    Text("{\"timeUs\":") + kUint64Digits + StringMember("direction", Text("outbound")) +
    StringMember("protocol", Text("tcp")) + StringMember("resolverEndpoint", Text("remote")) +
    Member("localPort", kUint16Digits) + Member("remotePort", 2) +  // one end is the server's port 53
    StringMember("filterId", kUint64Digits) + Member("layerId", kUint16Digits) + Text("}");
inline constexpr std::size_t kRule =
    Text("{\"filterId\":\"") + kUint64Digits + Text("\"") + Member("firstDropUs", kUint64Digits) +
    Member("lookupTimeUs", kUint64Digits) + Longest({kFilterDescription, StringMember("status", Text("unavailable"))}) +
    Text("}");
inline constexpr std::size_t kCollector =
    Text("{\"status\":\"collectionDisabled\"") + Member("localEndpoint", Text("false")) +
    Member("remoteEndpoint", Text("false")) + Member("startedUs", kUint64Digits) + Member("endedUs", kUint64Digits) +
    Member("nativeErrorCode", kUint32Digits) + Member("dropped", kUint64Digits) + Text(",\"events\":[") +
    List(kMaxDropEvents, kDropEvent) + Text("],\"rulesTruncated\":false,\"rules\":[") +
    List(kMaxDropRules, kRule) + Text("]}");

// ---- Whole documents ------------------------------------------------------------------------------

inline constexpr std::size_t kTraceDocument =
    Text("{\"events\":[") + List(kMaxClientEvents, kClientEvent) + Text("]") + Member("dropped", kUint64Digits) +
    Member("expired", Text("false")) + Member("dnsClientErrorCode", kUint32Digits) + Text(",\"orvPackets\":") +
    kCapture + Text(",\"wfp\":") + kCollector + Text("}");

inline constexpr std::size_t kPreflightFilter =
    Text("{\"filterId\":\"") + kUint64Digits + Text("\"") + StringMember("filterKey", kGuidText) + Text("}");
// Filters are listed only under "blocked".
inline constexpr std::size_t kPreflightDocument =
    Text("{\"status\":\"blocked\"") + Member("nativeErrorCode", kUint32Digits) + Text(",\"filters\":[") +
    List(kMaxReported, kPreflightFilter) + Text("]}");

// "present" with the filter's id, or "removed" or "unavailable" with a code.
inline constexpr std::size_t kCompareDocument =
    StringMember("identity", Text("filterKey")) + Text("}") +
    Longest({Text("{\"status\":\"present\"") + StringMember("filterId", kUint64Digits),
             Text("{\"status\":\"unavailable\"") + Member("nativeErrorCode", kUint32Digits)});

// The published sizes hold these, and are no more than 4 % above them.
constexpr bool Publishes(std::size_t published, std::size_t longest) {
  return published >= longest && published * 100 <= longest * 104;
}
static_assert(Publishes(KILNA_DNS_TRACE_BUFFER_SIZE, kTraceDocument));
static_assert(Publishes(KILNA_DNS_WFP_PREFLIGHT_BUFFER_SIZE, kPreflightDocument));
static_assert(Publishes(KILNA_DNS_WFP_COMPARE_BUFFER_SIZE, kCompareDocument));

}  // namespace orv::dns::bounds
