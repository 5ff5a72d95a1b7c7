#pragma once
// The user's proxy settings in the two forms the store handles: the
// per-connection options applications see, and the raw registry values under
// the user's Internet Settings key. Portable: no Windows header.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orv::proxy {

// Per-connection option text is UTF-16 and compared code unit for code unit.
using ProxyText = std::u16string;

inline constexpr std::uint32_t kProxyTypeDirect = 1;
inline constexpr std::uint32_t kProxyTypeProxy = 2;
inline constexpr std::uint32_t kProxyTypeAutoProxyUrl = 4;
inline constexpr std::uint32_t kProxyTypeAutoDetect = 8;

struct ProxyOptions {
  std::uint32_t flags = kProxyTypeDirect;
  ProxyText proxyServer{};
  ProxyText proxyBypass{};
  ProxyText autoConfigUrl{};

  bool operator==(const ProxyOptions&) const = default;
};

// Registry value types the rules look at.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// One registry value exactly as stored.
struct RawValue {
  bool present = false;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// Two absent values are equal whatever else they hold.
bool operator==(const RawValue& a, const RawValue& b);

RawValue DwordValue(std::uint32_t value);
RawValue TextValue(std::uint32_t type, const ProxyText& text);  // with its terminating NUL

enum RawSlot : std::size_t {
  kSlotProxyEnable = 0,
  kSlotProxyServer = 1,
  kSlotProxyOverride = 2,
  kSlotAutoConfigUrl = 3,
};
inline constexpr std::size_t kRawSlotCount = 4;
using RawSlots = std::array<RawValue, kRawSlotCount>;

struct ProxySnapshot {
  ProxyOptions options;
  RawSlots raw;

  bool operator==(const ProxySnapshot&) const = default;
};

// "ProxyEnable" as the system reads it: absent, zero and all-zero text are
// off; anything it cannot read as zero counts as on.
bool RawValueIsOn(const RawValue& value);

// "ProxyServer" / "AutoConfigURL": true unless absent, or text that holds
// only spaces, tabs, CRs and LFs before its first NUL.
bool RawValueIsNonBlank(const RawValue& value);

// The text of a string value up to its first NUL; false for values that are
// not REG_SZ / REG_EXPAND_SZ with an even byte count.
bool RawValueText(const RawValue& value, ProxyText& text);

}  // namespace orv::proxy
