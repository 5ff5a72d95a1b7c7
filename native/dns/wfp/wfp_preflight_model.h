#pragma once
// The preflight's view of the filtering platform: plain records converted from
// the platform's filter structures, so the evaluation is portable and can be
// checked on the host. Numbers (match types, value types, actions, flags) are
// the platform's own values.

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace orv::dns {

// A GUID as the 16 bytes of its in-memory form.
struct Key {
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const Key&) const = default;
  bool IsZero() const noexcept { return *this == Key{}; }
};

struct KeyHash {
  std::size_t operator()(const Key& key) const noexcept {
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, key.bytes.data(), 8);
    std::memcpy(&b, key.bytes.data() + 8, 8);
    return static_cast<std::size_t>(a * 0x9E3779B97F4A7C15ull ^ b);
  }
};

// {C38D57D1-05A7-4C33-904F-7FBCEEE60E82}: the IPv4 connect-authorisation layer.
inline constexpr Key kLayerAleAuthConnectV4 = {
    {0xD1, 0x57, 0x8D, 0xC3, 0xA7, 0x05, 0x33, 0x4C, 0x90, 0x4F, 0x7F, 0xBC, 0xEE, 0xE6, 0x0E, 0x82}};

inline constexpr std::uint32_t kMatchEqual = 0;
inline constexpr std::uint32_t kMatchFlagsAllSet = 6;
inline constexpr std::uint32_t kMatchFlagsAnySet = 7;
inline constexpr std::uint32_t kMatchFlagsNoneSet = 8;
inline constexpr std::uint32_t kMatchNotEqual = 10;

inline constexpr std::uint32_t kValueUInt8 = 1;
inline constexpr std::uint32_t kValueUInt16 = 2;
inline constexpr std::uint32_t kValueUInt32 = 3;
inline constexpr std::uint32_t kValueUInt64 = 4;
inline constexpr std::uint32_t kValueByteBlob = 12;
inline constexpr std::uint32_t kValueV4AddrMask = 0x100;

inline constexpr std::uint32_t kActionBlock = 0x1001;
inline constexpr std::uint32_t kActionPermit = 0x1002;
inline constexpr std::uint32_t kActionContinue = 0x2006;

inline constexpr std::uint32_t kFilterFlagBootTime = 0x2;
inline constexpr std::uint32_t kFilterFlagClearActionRight = 0x8;
inline constexpr std::uint32_t kFilterFlagDisabled = 0x20;

// The accelerator's DNS server, host order.
inline constexpr std::uint32_t kDnsServerAddress = 0xAC130002;
inline constexpr std::uint16_t kDnsPort = 53;
inline constexpr std::uint8_t kUdpProtocol = 17;
inline constexpr std::uint32_t kConditionFlagIsLoopback = 0x1;

// The condition fields the model knows; everything else is kOther.
enum class Field : std::uint8_t {
  kOther,
  kRemotePort,
  kProtocol,
  kFlags,
  kRemoteAddress,
  kInterfaceIndex,  // interface index or next-hop interface index
  kInterfaceLuid,   // local interface or next-hop interface
  kAppId,
};

struct Condition {
  Key fieldKey;
  Field field = Field::kOther;
  std::uint32_t matchType = kMatchEqual;
  std::uint32_t valueType = 0;
  // False when the value is held behind a pointer that is null.
  bool valuePresent = true;
  std::uint64_t number = 0;  // 8-, 16-, 32- and 64-bit values
  std::uint32_t address = 0;
  std::uint32_t mask = 0;
  std::vector<std::uint8_t> blob;
};

struct Filter {
  std::uint64_t id = 0;
  Key key;
  std::uint32_t flags = 0;
  std::optional<Key> provider;
  Key layer;
  Key sublayer;
  std::uint32_t action = 0;
  std::optional<std::uint64_t> weight;  // only a 64-bit effective weight counts
  std::uint32_t conditionCount = 0;
  bool conditionsMissing = false;  // a count without an array
  std::vector<Condition> conditions;  // left empty when missing or above 64
};

struct ListedInterface {
  std::uint32_t index = 0;
  std::uint64_t luid = 0;
};

struct Context {
  std::vector<ListedInterface> interfaces;
  std::optional<std::vector<std::uint8_t>> selfAppId;
  std::optional<std::vector<std::uint8_t>> serviceHostAppId;
};

struct ReportedFilter {
  std::uint64_t id = 0;
  Key key;
  bool operator==(const ReportedFilter&) const = default;
};

struct Evaluation {
  std::vector<ReportedFilter> reported;
  std::uint32_t code = 0;
};

// A sublayer's weight, or nothing when it cannot be read.
using SublayerWeightLookup = std::function<std::optional<std::uint16_t>(const Key& sublayer)>;

inline constexpr std::size_t kMaxConditions = 64;
inline constexpr std::size_t kMaxReported = 16;
inline constexpr std::uint32_t kMoreData = 234;

}  // namespace orv::dns
