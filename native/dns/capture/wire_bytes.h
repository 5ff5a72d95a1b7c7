#pragma once
// Big-endian fields of packets as they arrive. Portable: no Windows header.

#include <cstdint>

namespace orv::dns {

inline std::uint16_t ReadBig16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

inline std::uint32_t ReadBig32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace orv::dns
