#pragma once

#include "flutter/encodable_value.h"
#include "flutter/message_codec.h"
#include "flutter/standard_codec_serializer.h"

namespace flutter {

class StandardMessageCodec : public MessageCodec<EncodableValue> {
 public:
  static const StandardMessageCodec& GetInstance(const StandardCodecSerializer* serializer = nullptr);

  explicit StandardMessageCodec(const StandardCodecSerializer* serializer) : serializer_(serializer) {}

 protected:
  std::unique_ptr<EncodableValue> DecodeMessageInternal(const uint8_t* binary_message,
                                                        size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(const EncodableValue& message) const override;

 private:
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter
