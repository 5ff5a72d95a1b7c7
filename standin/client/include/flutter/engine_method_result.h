#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "flutter/binary_messenger.h"
#include "flutter/method_codec.h"
#include "flutter/method_result.h"

namespace flutter {

// The result of a call from the interface: encodes the one answer and sends
// it back. Later answers are ignored. Dropping it unanswered lets the reply go
// without an answer, which the messenger reports.
template <typename T>
class EngineMethodResult : public MethodResult<T> {
 public:
  EngineMethodResult(BinaryReply reply, const MethodCodec<T>* codec) : reply_(std::move(reply)), codec_(codec) {}

 protected:
  void SuccessInternal(const T* result) override { Send(codec_->EncodeSuccessEnvelope(result)); }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const T* error_details) override {
    Send(codec_->EncodeErrorEnvelope(error_code, error_message, error_details));
  }
  void NotImplementedInternal() override { Send(std::make_unique<std::vector<uint8_t>>()); }

 private:
  void Send(std::unique_ptr<std::vector<uint8_t>> data) {
    if (!reply_) return;  // answered already
    BinaryReply reply = std::move(reply_);
    reply_ = nullptr;
    reply(data->data(), data->size());
  }

  BinaryReply reply_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter
