#pragma once
// The standard binary encoding of codec values: a type tag, then the value;
// sizes in 1, 3 or 5 bytes; typed lists and doubles aligned to their element
// size from the start of the message; all numbers little-endian.

#include <cstddef>
#include <cstdint>

#include "flutter/byte_streams.h"
#include "flutter/encodable_value.h"

namespace flutter {

class StandardCodecSerializer {
 public:
  virtual ~StandardCodecSerializer() = default;

  static const StandardCodecSerializer& GetInstance();

  // A value of any type. On malformed input the stream is marked failed and
  // the result is null.
  EncodableValue ReadValue(ByteStreamReader* stream) const;
  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

 protected:
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;
  size_t ReadSize(ByteStreamReader* stream) const;
  void WriteSize(size_t size, ByteStreamWriter* stream) const;

 private:
  EncodableValue ReadNested(ByteStreamReader* stream, int depth) const;
  EncodableValue ReadTyped(uint8_t type, ByteStreamReader* stream, int depth) const;
};

}  // namespace flutter
