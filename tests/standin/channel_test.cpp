// Method channels over the stand-in engine's real messenger, in this process:
// answers, double answers, dropped calls and answers after the engine is gone.

#include <gtest/gtest.h>

#include <flutter_standin.h>

#include <memory>
#include <optional>

#include "flutter/method_channel.h"
#include "flutter/method_result_functions.h"
#include "flutter/plugin_registrar_windows.h"
#include "flutter/standard_method_codec.h"
#include "standin/client/binary_messenger_impl.h"
#include "tests/support/engine_registry.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

using flutter::EncodableValue;

struct Reply {
  int count = 0;
  FlutterStandinOutcome outcome = kFlutterStandinNoEngine;
  std::vector<uint8_t> bytes;
};

void OnReply(FlutterStandinOutcome outcome, const uint8_t* data, size_t size, void* userData) {
  auto* reply = static_cast<Reply*>(userData);
  ++reply->count;
  reply->outcome = outcome;
  reply->bytes.assign(data, data + size);
}

void Pump(DWORD ms, const std::function<bool()>& done = nullptr) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  while (::GetTickCount64() < end && !(done && done())) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(5);
  }
}

class Channels : public ::testing::Test {
 protected:
  void SetUp() override {
    // No script steps and a private transcript: this process is the host.
    ASSERT_TRUE(WriteWholeFile(folder_ / L"empty.jsonl", ""));
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_SCRIPT", (folder_ / L"empty.jsonl").c_str());
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_TRANSCRIPT", (folder_ / L"transcript.jsonl").c_str());
    controller_ = FlutterDesktopViewControllerCreate(64, 64, test::CreateStandinEngine());
    ASSERT_NE(controller_, nullptr);
    engine_ = FlutterDesktopViewControllerGetEngine(controller_);
    messenger_ = std::make_unique<flutter::BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
    channel_ = std::make_unique<flutter::MethodChannel<EncodableValue>>(messenger_.get(), "test/channel",
                                                                       &flutter::StandardMethodCodec::GetInstance());
  }

  void TearDown() override {
    channel_.reset();
    DestroyEngine();
    messenger_.reset();
  }

  void DestroyEngine() {
    if (controller_ != nullptr) FlutterDesktopViewControllerDestroy(controller_);
    controller_ = nullptr;
    engine_ = nullptr;
  }

  Reply Call(const std::string& method, const EncodableValue& arguments = EncodableValue()) {
    flutter::MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>(arguments));
    auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
    Reply reply;
    FlutterStandinEngineDeliverMessage(engine_, "test/channel", bytes->data(), bytes->size(), &OnReply, &reply);
    return reply;
  }

  // Decodes a success envelope's value; nullopt for anything else.
  static std::optional<EncodableValue> SuccessValue(const Reply& reply) {
    std::optional<EncodableValue> value;
    flutter::MethodResultFunctions<EncodableValue> result(
        [&](const EncodableValue* v) { value = v ? *v : EncodableValue(); }, nullptr, nullptr);
    flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(reply.bytes.data(), reply.bytes.size(),
                                                                                 &result);
    return value;
  }

  TempFolder folder_;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger_;
  std::unique_ptr<flutter::MethodChannel<EncodableValue>> channel_;
};

TEST_F(Channels, HandlerAnswersOnceAndLaterAnswersAreIgnored) {
  channel_->SetMethodCallHandler([](const auto& call, auto result) {
    result->Success(*call.arguments());
    result->Success(EncodableValue("second"));
    result->Error("third", "ignored");
    result->NotImplemented();
  });
  const Reply reply = Call("echo", EncodableValue(int64_t{77}));
  EXPECT_EQ(reply.count, 1);
  EXPECT_EQ(reply.outcome, kFlutterStandinAnswered);
  EXPECT_EQ(SuccessValue(reply), EncodableValue(int64_t{77}));
}

TEST_F(Channels, UnansweredCallIsReported) {
  channel_->SetMethodCallHandler([](const auto&, auto result) { result.reset(); });
  const Reply reply = Call("drop");
  EXPECT_EQ(reply.count, 1);
  EXPECT_EQ(reply.outcome, kFlutterStandinUnanswered);
}

TEST_F(Channels, ChannelWithoutHandlerAnswersEmpty) {
  Reply reply = Call("anything");
  EXPECT_EQ(reply.count, 1);
  EXPECT_EQ(reply.outcome, kFlutterStandinAnswered);
  EXPECT_TRUE(reply.bytes.empty());

  channel_->SetMethodCallHandler([](const auto&, auto result) { result->Success(); });
  channel_->SetMethodCallHandler(nullptr);
  reply = Call("anything");
  EXPECT_TRUE(reply.bytes.empty());
}

TEST_F(Channels, AnswerAfterTheEngineIsGoneIsDropped) {
  std::unique_ptr<flutter::MethodResult<EncodableValue>> kept;
  channel_->SetMethodCallHandler([&](const auto&, auto result) { kept = std::move(result); });
  const Reply reply = Call("later");
  EXPECT_EQ(reply.count, 0);
  FlutterDesktopMessengerRef messenger = FlutterDesktopMessengerAddRef(FlutterDesktopEngineGetMessenger(engine_));
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(messenger));

  DestroyEngine();
  EXPECT_EQ(reply.count, 1);
  EXPECT_EQ(reply.outcome, kFlutterStandinNoEngine);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(messenger));

  ASSERT_NE(kept, nullptr);
  kept->Success(EncodableValue(true));  // must neither crash nor reach the gone engine
  kept.reset();
  EXPECT_EQ(reply.count, 1);
  FlutterDesktopMessengerSendResponse(messenger, nullptr, nullptr, 0);
  FlutterDesktopMessengerRelease(messenger);
}

TEST_F(Channels, CallsToTheInterfaceGetNotImplementedLater) {
  int notImplemented = 0;
  int other = 0;
  channel_->InvokeMethod(
      "onWindowEvent", std::make_unique<EncodableValue>("focus"),
      std::make_unique<flutter::MethodResultFunctions<EncodableValue>>(
          [&](const EncodableValue*) { ++other; },
          [&](const std::string&, const std::string&, const EncodableValue*) { ++other; }, [&] { ++notImplemented; }));
  EXPECT_EQ(notImplemented, 0);  // answered from the message loop, not inside the call
  Pump(2000, [&] { return notImplemented > 0; });
  EXPECT_EQ(notImplemented, 1);
  EXPECT_EQ(other, 0);
}

class TrackedPlugin : public flutter::Plugin {
 public:
  TrackedPlugin(FlutterDesktopMessengerRef messenger, bool* destroyed, bool* sawAvailable)
      : messenger_(FlutterDesktopMessengerAddRef(messenger)), destroyed_(destroyed), sawAvailable_(sawAvailable) {}
  ~TrackedPlugin() override {
    *sawAvailable_ = FlutterDesktopMessengerIsAvailable(messenger_);
    *destroyed_ = true;
    FlutterDesktopMessengerRelease(messenger_);
  }

 private:
  FlutterDesktopMessengerRef messenger_;
  bool* destroyed_;
  bool* sawAvailable_;
};

TEST_F(Channels, RegistrarOwnsItsPluginsUntilTheEngineGoes) {
  FlutterDesktopPluginRegistrarRef core = FlutterDesktopEngineGetPluginRegistrar(engine_, "Tracked");
  ASSERT_NE(core, nullptr);
  EXPECT_EQ(FlutterDesktopEngineGetPluginRegistrar(engine_, "Tracked"), core);
  auto* registrar = flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(core);
  ASSERT_NE(registrar->GetView(), nullptr);
  EXPECT_NE(registrar->GetView()->GetNativeWindow(), nullptr);

  bool destroyed = false;
  bool sawAvailable = true;
  registrar->AddPlugin(
      std::make_unique<TrackedPlugin>(FlutterDesktopPluginRegistrarGetMessenger(core), &destroyed, &sawAvailable));
  EXPECT_FALSE(destroyed);
  DestroyEngine();
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(sawAvailable);  // the engine is shutting down: no more channel work
}

// Unregisters its window-proc delegate and asks for the view as it goes, as
// the ticket picker does.
class DelegatingPlugin : public flutter::Plugin {
 public:
  DelegatingPlugin(flutter::PluginRegistrarWindows* registrar, bool* sawView)
      : registrar_(registrar),
        sawView_(sawView),
        id_(registrar->RegisterTopLevelWindowProcDelegate(
            [](HWND, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> { return std::nullopt; })) {}
  ~DelegatingPlugin() override {
    registrar_->UnregisterTopLevelWindowProcDelegate(id_);
    *sawView_ = registrar_->GetView() != nullptr;
  }

 private:
  flutter::PluginRegistrarWindows* registrar_;
  bool* sawView_;
  int id_;
};

// With Wine's heap checking a registrar whose own members went first makes
// the plug-in's unregistration read freed tree nodes and fault.
TEST_F(Channels, PluginsGoWhileTheirRegistrarIsWhole) {
  auto* registrar = flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(
      FlutterDesktopEngineGetPluginRegistrar(engine_, "GoingLast"));
  ASSERT_NE(registrar->GetView(), nullptr);
  bool sawView = false;
  registrar->AddPlugin(std::make_unique<DelegatingPlugin>(registrar, &sawView));
  registrar->AddPlugin(std::make_unique<DelegatingPlugin>(registrar, &sawView));
  DestroyEngine();
  EXPECT_TRUE(sawView);
}

TEST_F(Channels, TopLevelWindowProcDelegatesSeeMessagesFirst) {
  auto* registrar = flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(
      FlutterDesktopEngineGetPluginRegistrar(engine_, "Delegating"));
  const UINT consumed = WM_APP + 7;
  const int id = registrar->RegisterTopLevelWindowProcDelegate(
      [consumed](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == consumed) return 42;
        return std::nullopt;
      });
  LRESULT result = 0;
  EXPECT_TRUE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, consumed, 0, 0, &result));
  EXPECT_EQ(result, 42);
  EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, WM_APP + 8, 0, 0, &result));
  registrar->UnregisterTopLevelWindowProcDelegate(id);
  EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, consumed, 0, 0, &result));
}

TEST_F(Channels, NextFrameCallbackRunsOnceOnThisThread) {
  struct Seen {
    int calls = 0;
    DWORD thread = 0;
  } seen;
  FlutterDesktopEngineSetNextFrameCallback(
      engine_,
      [](void* userData) {
        auto* s = static_cast<Seen*>(userData);
        ++s->calls;
        s->thread = ::GetCurrentThreadId();
      },
      &seen);
  Pump(5000, [&] { return seen.calls > 0; });
  Pump(200);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.thread, ::GetCurrentThreadId());

  IDXGIAdapter* adapter = nullptr;
  EXPECT_TRUE(FlutterDesktopEngineGetGraphicsAdapter(engine_, &adapter));
  ASSERT_NE(adapter, nullptr);
  adapter->Release();
}

}  // namespace
}  // namespace orv::test
