#pragma once
// The messenger of the client library over the engine's C messenger.

#include <flutter_messenger.h>

#include <map>
#include <string>

#include "flutter/binary_messenger.h"

namespace flutter {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // Holds a messenger reference of its own, so it can tidy up safely whenever it goes.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  ~BinaryMessengerImpl() override;
  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace flutter
