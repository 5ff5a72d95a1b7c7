#include "standin/client/binary_messenger_impl.h"

#include <flutter_messenger.h>

#include <memory>

namespace flutter {
namespace {

// The answer to one incoming message. It holds its own messenger reference,
// so an answer given after the engine is gone finds the messenger
// unavailable and is dropped. Dropped unanswered, it still ends the call with
// a response that carries no data at all, so the interface does not wait for
// ever; a real answer always carries a buffer, even an empty one.
class PendingReply {
 public:
  PendingReply(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle)
      : messenger_(FlutterDesktopMessengerAddRef(messenger)), handle_(handle) {}
  ~PendingReply() {
    if (!answered_) Respond(nullptr, 0);
    FlutterDesktopMessengerRelease(messenger_);
  }
  PendingReply(const PendingReply&) = delete;
  PendingReply& operator=(const PendingReply&) = delete;

  void Answer(const uint8_t* data, size_t size) {
    if (answered_) return;
    answered_ = true;
    static const uint8_t kNoBytes = 0;
    Respond(data != nullptr ? data : &kNoBytes, data != nullptr ? size : 0);
  }

 private:
  void Respond(const uint8_t* data, size_t size) {
    FlutterDesktopMessengerLock(messenger_);
    if (FlutterDesktopMessengerIsAvailable(messenger_)) FlutterDesktopMessengerSendResponse(messenger_, handle_, data, size);
    FlutterDesktopMessengerUnlock(messenger_);
  }

  FlutterDesktopMessengerRef messenger_;
  const FlutterDesktopMessageResponseHandle* handle_;
  bool answered_ = false;
};

void OnMessage(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message, void* user_data) {
  // Nothing thrown by a handler goes back into the engine; its call then goes unanswered.
  try {
    auto* handler = static_cast<BinaryMessageHandler*>(user_data);
    auto reply = std::make_shared<PendingReply>(messenger, message->response_handle);
    (*handler)(message->message, message->message_size,
               [reply](const uint8_t* data, size_t size) { reply->Answer(data, size); });
  } catch (...) {
  }
}

struct SentReply {
  BinaryReply reply;
};

void OnSentReply(const uint8_t* data, size_t size, void* user_data) {
  std::unique_ptr<SentReply> sent(static_cast<SentReply*>(user_data));
  try {
    if (sent->reply) sent->reply(data, size);
  } catch (...) {
  }
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(FlutterDesktopMessengerAddRef(messenger)) {}

BinaryMessengerImpl::~BinaryMessengerImpl() {
  if (messenger_ == nullptr) return;
  FlutterDesktopMessengerLock(messenger_);
  if (FlutterDesktopMessengerIsAvailable(messenger_)) {
    for (const auto& [channel, handler] : handlers_) {
      FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    }
  }
  FlutterDesktopMessengerUnlock(messenger_);
  FlutterDesktopMessengerRelease(messenger_);
}

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message, size_t message_size,
                               BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto sent = std::make_unique<SentReply>(SentReply{std::move(reply)});
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size, &OnSentReply,
                                           sent.get())) {
    sent.release();
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) {
  if (!handler) {
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    handlers_.erase(channel);
    return;
  }
  BinaryMessageHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), &OnMessage, &stored);
}

}  // namespace flutter
