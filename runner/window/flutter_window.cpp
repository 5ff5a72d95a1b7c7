#include "runner/window/flutter_window.h"

#include <flutter_windows.h>

#include "native/common/com_ptr.h"
#include "runner/diagnostics/startup_diagnostics.h"
#include "runner/registration/plugin_registration.h"
#include "runner/renderer/renderer_policy.h"
#include "runner/window/session_channel.h"

namespace orv {
namespace {

// The engine's adapter, checked for the named window.
[[nodiscard]] bool VerifyEngineAdapter(flutter::FlutterViewController& controller, const char* window) {
  const auto adapter = ComPtr<IDXGIAdapter>::Attach(controller.engine()->GetGraphicsAdapter());
  return VerifyGraphicsAdapter(adapter.get(), window);
}

}  // namespace

FlutterWindow::FlutterWindow(const flutter::DartProject& project, const WatchdogTimerCalls& timers)
    : project_(project), timers_(timers) {}

FlutterWindow::~FlutterWindow() { TearDown(); }

bool FlutterWindow::OnCreated() {
  RecordStartupStage("main.window.onCreate.begin");
  if (!Win32Window::OnCreated()) {
    RecordStartupStage("main.window.onCreate.failed");
    return false;
  }
  (void)UpdateWindowIcons();  // a window without its icon still works

  const RECT area = GetClientArea();
  RecordStartupStage("main.engine.construct.begin");
  controller_ = std::make_unique<flutter::FlutterViewController>(area.right - area.left, area.bottom - area.top,
                                                                 project_);
  RecordStartupStage("main.engine.construct.done");
  if (!controller_->engine() || !controller_->view()) {
    RecordStartupStage("main.engine.invalid");
    return false;
  }
  if (DiagnosticsEnabled()) ArmFirstFrameWatchdog();

  RecordStartupStage("main.adapter.verify.begin");
  if (!VerifyEngineAdapter(*controller_, "main")) {
    RecordStartupStage("main.adapter.verify.failed");
    return false;
  }
  RecordStartupStage("main.adapter.verify.done");

  flutter::FlutterEngine* engine = controller_->engine();
  RecordStartupStage("main.plugins.register.begin");
  RegisterMainPlugins(engine);
  RecordStartupStage("main.plugins.register.done");
  sessionChannel_ = CreateSessionChannel(engine->messenger(), *this);
  HookSecondaryWindows(&FlutterWindow::OnSecondaryWindowCreated);

  RecordStartupStage("main.child.attach.begin");
  AttachContent(controller_->view()->GetNativeWindow());
  RecordStartupStage("main.child.attach.done");

  RecordStartupStage("main.corner.register.begin");
  RegisterMainCornerPlugin(engine);
  RecordStartupStage("main.corner.register.done");
  RecordStartupStage("main.window.onCreate.done");
  return true;
}

void FlutterWindow::ArmFirstFrameWatchdog() {
  frameState_ = std::make_shared<StartupFrameState>();
  HWND window = GetHandle();
  controller_->engine()->SetNextFrameCallback([state = frameState_, window, killTimer = timers_.killTimer] {
    if (!state->active) return;
    state->firstFrameDrawn = true;
    killTimer(window, kFirstFrameWatchdogId);
    RecordStartupStage("main.engine.firstFrame.drawn");
  });
  watchdogTimer_ = timers_.setTimer(window, kFirstFrameWatchdogId, kFirstFrameWatchdogMs, nullptr);
  RecordStartupStage(watchdogTimer_ != 0 ? "main.engine.firstFrame.watchdogArmed"
                                         : "main.engine.firstFrame.watchdogUnavailable");
}

void FlutterWindow::OnDestroying() { TearDown(); }

void FlutterWindow::TearDown() {
  if (frameState_) {
    frameState_->active = false;
    if (watchdogTimer_ != 0) {
      if (HWND window = GetHandle()) timers_.killTimer(window, watchdogTimer_);
      watchdogTimer_ = 0;
    }
    frameState_.reset();
    RecordStartupStage("main.window.destroy");
  }
  sessionChannel_.reset();
  controller_.reset();
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  try {
    if (message == WM_TIMER && watchdogTimer_ != 0 && wparam == watchdogTimer_) {
      timers_.killTimer(window, watchdogTimer_);
      watchdogTimer_ = 0;
      if (frameState_ && frameState_->active && !frameState_->firstFrameDrawn) {
        RecordStartupStage("main.engine.firstFrame.pendingAfter5s");
      }
      return 0;
    }
    if (message == WM_SHOWWINDOW && wparam != 0 && !shownRecorded_) {
      shownRecorded_ = true;
      RecordStartupStage("main.window.shown");
    }
    if (controller_) {
      if (const std::optional<LRESULT> handled = controller_->HandleTopLevelWindowProc(window, message, wparam, lparam)) {
        return *handled;
      }
    }
    if (message == WM_FONTCHANGE && controller_) controller_->engine()->ReloadSystemFonts();
  } catch (...) {
    // Nothing may leave a window procedure; the base handling still runs.
  }
  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

void FlutterWindow::OnSecondaryWindowCreated(void* viewController) {
  auto* controller = static_cast<flutter::FlutterViewController*>(viewController);
  if (controller == nullptr || controller->engine() == nullptr || controller->view() == nullptr) return;
  RecordStartupStage("secondary.window.created");
  // The multi-window plug-in made this window, not us, so there is nothing to
  // refuse: the check only logs the adapter it got.
  (void)VerifyEngineAdapter(*controller, "secondary");
  RecordStartupStage("secondary.plugins.register.begin");
  RegisterSecondaryPlugins(controller->engine());
  RecordStartupStage("secondary.plugins.register.done");
}

}  // namespace orv
