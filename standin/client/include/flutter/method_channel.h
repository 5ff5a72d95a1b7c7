#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "flutter/binary_messenger.h"
#include "flutter/engine_method_result.h"
#include "flutter/method_call.h"
#include "flutter/method_codec.h"
#include "flutter/method_result.h"

namespace flutter {

template <typename T>
using MethodCallHandler = std::function<void(const MethodCall<T>& call, std::unique_ptr<MethodResult<T>> result)>;

// Method calls on one named channel of a messenger, in both directions.
template <typename T>
class MethodChannel {
 public:
  MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec<T>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}
  ~MethodChannel() = default;
  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  void InvokeMethod(const std::string& method, std::unique_ptr<T> arguments,
                    std::unique_ptr<MethodResult<T>> result = nullptr) {
    MethodCall<T> call(method, std::move(arguments));
    auto message = codec_->EncodeMethodCall(call);
    if (!result) {
      messenger_->Send(name_, message->data(), message->size(), nullptr);
      return;
    }
    std::shared_ptr<MethodResult<T>> shared(std::move(result));
    const MethodCodec<T>* codec = codec_;
    messenger_->Send(name_, message->data(), message->size(),
                     [shared, codec](const uint8_t* reply, size_t reply_size) {
                       codec->DecodeAndProcessResponseEnvelope(reply, reply_size, shared.get());
                     });
  }

  // A null handler removes the channel's handler.
  void SetMethodCallHandler(MethodCallHandler<T> handler) const {
    if (!handler) {
      messenger_->SetMessageHandler(name_, nullptr);
      return;
    }
    const MethodCodec<T>* codec = codec_;
    messenger_->SetMessageHandler(
        name_, [handler, codec](const uint8_t* message, size_t message_size, BinaryReply reply) {
          auto result = std::make_unique<EngineMethodResult<T>>(std::move(reply), codec);
          auto call = codec->DecodeMethodCall(message, message_size);
          if (!call) {
            // Not a method call: nothing to hand to the handler.
            result->NotImplemented();
            return;
          }
          handler(*call, std::move(result));
        });
  }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter
