#include "standin/engine/script_runner.h"

#include <memory>
#include <mutex>
#include <vector>

#include "flutter/standard_method_codec.h"
#include "native/common/environment.h"
#include "standin/codec/transcript_lines.h"
#include "standin/engine/engine.h"
#include "standin/engine/ffi_calls.h"
#include "standin/engine/transcript.h"

namespace standin {
namespace {

constexpr char kDemoScript[] =
    "{\"op\":\"call\",\"channel\":\"window_manager\",\"method\":\"show\",\"args\":null}\n"
    // A light shadow and a bright border: the demo's X server shows layered
    // pixels unblended over a black root, where a dark shadow would vanish.
    "{\"op\":\"call\",\"channel\":\"orv.net/window_corner\",\"method\":\"configure\","
    "\"args\":{\"enabled\":true,\"borderRgb\":16764992,\"fillRgb\":15790320,\"shadowRgb\":8429823}}\n"
    "{\"op\":\"call\",\"channel\":\"orv.net/windows_session\",\"method\":\"isRemoteSession\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"orv.net/windows_session\",\"method\":\"usesSoftwareRendering\",\"args\":null}\n"
    "{\"op\":\"call\",\"channel\":\"orv.net/windows_session\",\"method\":\"systemUsesLightTheme\",\"args\":null}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvGetUserContext\",\"args\":[]}\n"
    "{\"op\":\"ffi\",\"name\":\"OrvReadUserProxy\",\"args\":[]}\n"
    "{\"op\":\"call\",\"channel\":\"orv.runtime_log_policy\",\"method\":\"setPolicy\","
    "\"args\":{\"enabled\":true,\"expiresAt\":0}}\n"
    "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_enable\",\"args\":[1]}\n"
    "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_callback\",\"args\":[\"INFO\",\"demo: native log line one\"]}\n"
    "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_callback\",\"args\":[\"WARN\",\"demo: native log line two\"]}\n"
    "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_pop\",\"args\":[{\"$buffer\":32},32,{\"$buffer\":256},256]}\n"
    "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_pop\",\"args\":[{\"$buffer\":32},32,{\"$buffer\":256},256]}\n"
    "{\"op\":\"wait\",\"ms\":4000}\n"
    "{\"op\":\"quit\"}\n";

// One call in flight: filled in once by whichever answer comes first.
struct PendingCall {
  std::mutex mutex;
  bool done = false;
  FlutterStandinOutcome outcome = kFlutterStandinNoEngine;
  std::vector<uint8_t> answer;
  orv::UniqueHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

void OnAnswer(FlutterStandinOutcome outcome, const uint8_t* data, size_t size, void* userData) {
  std::unique_ptr<std::shared_ptr<PendingCall>> holder(static_cast<std::shared_ptr<PendingCall>*>(userData));
  PendingCall& exchange = **holder;
  std::lock_guard<std::mutex> lock(exchange.mutex);
  if (exchange.done) return;
  exchange.done = true;
  exchange.outcome = outcome;
  if (data != nullptr && size != 0) exchange.answer.assign(data, data + size);
  ::SetEvent(exchange.ready.get());
}

bool ReadScript(std::string& script, std::string& error) {
  const std::wstring path = orv::ReadEnvironmentText(L"FLUTTER_STANDIN_SCRIPT");
  if (path.empty()) {
    script = kDemoScript;
    return true;
  }
  orv::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > (64 << 20)) {
    error = "cannot read the script (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  script.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!script.empty() && (!::ReadFile(file.get(), script.data(), static_cast<DWORD>(script.size()), &read, nullptr) ||
                          read != script.size())) {
    error = "cannot read the script (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  return true;
}

}  // namespace

ScriptRunner::ScriptRunner(FlutterDesktopEngine* engine)
    : engine_(engine), stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ScriptRunner::~ScriptRunner() {
  if (stop_) ::SetEvent(stop_.get());
  if (thread_.joinable()) thread_.join();
}

void ScriptRunner::Start() {
  if (!stop_) return;
  thread_ = std::thread([this] { Run(); });
}

void ScriptRunner::Run() noexcept {
  try {
    std::string script;
    std::string error;
    if (!ReadScript(script, error)) {
      WriteTranscriptLine(ErrorLine(0, error));
      return;
    }
    RunLines(script);
  } catch (...) {
    // The script ends; the engine goes on.
  }
}

void ScriptRunner::RunLines(const std::string& script) {
  size_t start = 0;
  for (size_t number = 1; start < script.size(); ++number) {
    size_t end = script.find('\n', start);
    if (end == std::string::npos) end = script.size();
    const std::string_view line(script.data() + start, end - start);
    start = end + 1;
    ScriptStep step;
    std::string error;
    if (!ParseScriptLine(line, step, error)) {
      WriteTranscriptLine(ErrorLine(number, error));
      continue;
    }
    if (!RunStep(step, number)) return;
  }
}

bool ScriptRunner::RunStep(const ScriptStep& step, size_t line) {
  switch (step.op) {
    case ScriptStep::Op::kNone:
      return true;
    case ScriptStep::Op::kCall: {
      const std::string reply = Exchange(step.channel, step.method, step.arguments, step.timeoutMs, false);
      if (reply.empty()) return false;
      WriteTranscriptLine(reply);
      return true;
    }
    case ScriptStep::Op::kFfi:
      WriteTranscriptLine(RunFfiStep(step, line));
      return true;
    case ScriptStep::Op::kWait:
      return ::WaitForSingleObject(stop_.get(), step.ms) == WAIT_TIMEOUT;
    case ScriptStep::Op::kSecondary: {
      const std::string reply = Exchange(kMultiWindowChannel, kCreateWindowMethod, flutter::EncodableValue(),
                                         kDefaultCallTimeoutMs, true);
      if (reply.empty()) return false;
      WriteTranscriptLine(reply);
      return true;
    }
    case ScriptStep::Op::kQuit: {
      WriteTranscriptLine(OpLine("quit"));
      FlutterDesktopEngine* engine = engine_;
      engine_->tasks().Post([engine] {
        HWND view = engine->view() != nullptr ? engine->view()->window : nullptr;
        HWND root = view != nullptr ? ::GetAncestor(view, GA_ROOT) : nullptr;
        if (root != nullptr && root != view) {
          ::PostMessageW(root, WM_CLOSE, 0, 0);
        } else {
          ::PostQuitMessage(0);  // no host window: end the loop directly
        }
      });
      return false;
    }
  }
  return true;
}

std::string ScriptRunner::Exchange(const std::string& channel, const std::string& method,
                                   const flutter::EncodableValue& arguments, uint32_t timeoutMs, bool secondary) {
  flutter::MethodCall<flutter::EncodableValue> call(method, std::make_unique<flutter::EncodableValue>(arguments));
  std::shared_ptr<const std::vector<uint8_t>> message =
      flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
  auto exchange = std::make_shared<PendingCall>();
  if (!exchange->ready) return {};

  FlutterDesktopEngine* engine = engine_;
  const bool posted = engine_->tasks().Post([engine, channel, message, exchange] {
    auto holder = std::make_unique<std::shared_ptr<PendingCall>>(exchange);
    engine->Deliver(channel.c_str(), message->data(), message->size(), &OnAnswer, holder.release());
  });
  if (!posted) return {};

  const HANDLE waits[] = {exchange->ready.get(), stop_.get()};
  const DWORD waited = ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  if (waited == WAIT_OBJECT_0 + 1 || waited == WAIT_FAILED) return {};
  if (waited == WAIT_TIMEOUT) {
    return secondary ? SecondaryMissingLine("timeout") : CallMissingLine(channel, method, "timeout");
  }
  std::lock_guard<std::mutex> lock(exchange->mutex);
  if (exchange->outcome == kFlutterStandinNoEngine) return {};
  if (exchange->outcome == kFlutterStandinUnanswered) {
    return secondary ? SecondaryMissingLine("unanswered") : CallMissingLine(channel, method, "unanswered");
  }
  const uint8_t* data = exchange->answer.empty() ? nullptr : exchange->answer.data();
  return secondary ? SecondaryReplyLine(data, exchange->answer.size())
                   : CallReplyLine(channel, method, data, exchange->answer.size());
}

}  // namespace standin
