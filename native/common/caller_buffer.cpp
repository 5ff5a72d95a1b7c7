#include "native/common/caller_buffer.h"

#include <cstring>

namespace orv {

namespace {
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kInsufficientBuffer = 122;
}  // namespace

void CallerBuffer::ClearWritten() const {
  if (written != nullptr) *written = 0;
}

std::uint32_t CallerBuffer::Open() const {
  if (written == nullptr) return kInvalidParameter;
  *written = 0;
  return data == nullptr ? kInvalidParameter : 0;
}

std::uint32_t CallerBuffer::Deliver(std::string_view text) const {
  if (written == nullptr) return kInvalidParameter;
  *written = 0;
  if (data == nullptr) return kInvalidParameter;
  if (text.size() > size) return kInsufficientBuffer;
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  *written = static_cast<std::uint32_t>(text.size());
  return 0;
}

}  // namespace orv
