#pragma once
// A byte buffer that the caller of a DNS diagnostics export supplies with its
// capacity and an out length. The JSON is copied in without a NUL, and only
// when it fits whole: a partial document would parse as garbage. Portable.

#include <cstdint>
#include <string_view>

namespace orv {

struct CallerBuffer {
  std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t* written = nullptr;

  // Stores 0 into `written` when the caller gave one, so that any later
  // failure leaves 0 there.
  void ClearWritten() const;

  // 87 when `written` is null (nothing stored). Otherwise stores 0, then
  // answers 87 for a null buffer and 0 when both pointers are usable.
  [[nodiscard]] std::uint32_t Open() const;

  // 87 for a null pointer, 122 when `text` is longer than the buffer
  // (`written` left 0), otherwise copies the bytes, stores their count and
  // answers 0.
  [[nodiscard]] std::uint32_t Deliver(std::string_view text) const;
};

}  // namespace orv
