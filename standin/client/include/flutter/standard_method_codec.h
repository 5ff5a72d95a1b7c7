#pragma once

#include "flutter/encodable_value.h"
#include "flutter/method_codec.h"
#include "flutter/standard_codec_serializer.h"

namespace flutter {

// Method calls as the method name (a string value) followed by the arguments;
// answers as an envelope: 0 and the value, or 1, code, message and details.
class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  static const StandardMethodCodec& GetInstance(const StandardCodecSerializer* serializer = nullptr);

  explicit StandardMethodCodec(const StandardCodecSerializer* serializer) : serializer_(serializer) {}

 protected:
  std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCallInternal(const uint8_t* message,
                                                                       size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall<EncodableValue>& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(const std::string& error_code,
                                                                    const std::string& error_message,
                                                                    const EncodableValue* error_details) const override;
  bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                MethodResult<EncodableValue>* result) const override;

 private:
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter
