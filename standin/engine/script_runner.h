#pragma once
// The interface script (FLUTTER_STANDIN_SCRIPT, else a built-in demo) runs on
// an interface thread of its own, one step after the other: calls are
// delivered on the platform thread and waited for, exports are called on the
// interface thread.

#include <windows.h>

#include <string>
#include <thread>

#include "native/common/unique_resource.h"
#include "standin/codec/script_steps.h"

struct FlutterDesktopEngine;

namespace standin {

// The channel and method the multi-window stand-in opens windows on.
inline constexpr char kMultiWindowChannel[] = "mixin.one/flutter_multi_window";
inline constexpr char kCreateWindowMethod[] = "createWindow";

class ScriptRunner {
 public:
  explicit ScriptRunner(FlutterDesktopEngine* engine);
  // Stops the script at its next step (or wait) and joins its thread.
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  void Start();

 private:
  void Run() noexcept;
  void RunLines(const std::string& script);
  // False when the script must end (quit, or the engine is going).
  bool RunStep(const ScriptStep& step, size_t line);
  // The answer's transcript line; empty when the engine went away first.
  std::string Exchange(const std::string& channel, const std::string& method, const flutter::EncodableValue& arguments,
                       uint32_t timeoutMs, bool secondary);

  FlutterDesktopEngine* engine_;
  orv::UniqueHandle stop_;
  std::thread thread_;
};

}  // namespace standin
