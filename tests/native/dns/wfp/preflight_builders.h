#pragma once
// Small builders for preflight records in tests and benchmarks.

#include <cstdint>
#include <utility>
#include <vector>

#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns::test {

// A key whose bytes spell `n` (0 gives the all-zero key).
inline Key KeyOf(std::uint64_t n, std::uint8_t tag = 0) {
  Key key;
  for (int i = 0; i < 8; ++i) key.bytes[i] = static_cast<std::uint8_t>(n >> (8 * i));
  key.bytes[15] = tag;
  return key;
}

inline Key FieldKey(Field field) { return KeyOf(static_cast<std::uint64_t>(field) + 1, 0xF1); }

inline Condition Make(Field field, std::uint32_t matchType, std::uint32_t valueType, std::uint64_t number) {
  Condition c;
  c.fieldKey = FieldKey(field);
  c.field = field;
  c.matchType = matchType;
  c.valueType = valueType;
  c.number = number;
  return c;
}

inline Condition Port(std::uint64_t port, std::uint32_t match = kMatchEqual) {
  return Make(Field::kRemotePort, match, kValueUInt16, port);
}
inline Condition Protocol(std::uint64_t protocol, std::uint32_t match = kMatchEqual) {
  return Make(Field::kProtocol, match, kValueUInt8, protocol);
}
inline Condition IfIndex(std::uint32_t index, std::uint32_t match = kMatchEqual) {
  return Make(Field::kInterfaceIndex, match, kValueUInt32, index);
}
inline Condition IfLuid(std::uint64_t luid, std::uint32_t match = kMatchEqual) {
  return Make(Field::kInterfaceLuid, match, kValueUInt64, luid);
}
inline Condition AddressMask(std::uint32_t address, std::uint32_t mask, std::uint32_t match = kMatchEqual) {
  Condition c = Make(Field::kRemoteAddress, match, kValueV4AddrMask, 0);
  c.address = address;
  c.mask = mask;
  return c;
}
inline Condition AppId(std::vector<std::uint8_t> blob, std::uint32_t match = kMatchEqual) {
  Condition c = Make(Field::kAppId, match, kValueByteBlob, 0);
  c.blob = std::move(blob);
  return c;
}

inline Filter MakeFilter(std::uint64_t id, std::uint32_t action, std::uint64_t weight, std::vector<Condition> conditions,
                         Key sublayer = KeyOf(1, 0x5B)) {
  Filter f;
  f.id = id;
  f.key = KeyOf(id, 0xFE);
  f.layer = kLayerAleAuthConnectV4;
  f.sublayer = sublayer;
  f.action = action;
  f.weight = weight;
  f.conditionCount = static_cast<std::uint32_t>(conditions.size());
  f.conditions = std::move(conditions);
  return f;
}

}  // namespace orv::dns::test
