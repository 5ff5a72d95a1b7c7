// The engine library's exported C functions: thin, each with its own
// exception barrier, over the engine object.

#include <shellscalingapi.h>

#include "flutter_standin.h"
#include "native/common/export_barrier.h"
#include "standin/engine/engine.h"
#include "standin/engine/transcript.h"
#include "standin/engine/view_window.h"

namespace {

template <typename Body>
void Guard(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

FlutterDesktopEngine* EngineOf(FlutterDesktopMessengerRef messenger) {
  return messenger != nullptr ? messenger->engine : nullptr;
}

}  // namespace

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties) {
  return orv::GuardExportValue<FlutterDesktopEngineRef>(
      [&]() -> FlutterDesktopEngineRef {
        if (engine_properties == nullptr) return nullptr;
        auto engine = std::make_unique<FlutterDesktopEngine>(*engine_properties);
        if (!engine->tasks().valid()) return nullptr;
        return engine.release();
      },
      nullptr);
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  Guard([&] { delete engine; });
  return true;
}

bool FlutterDesktopEngineRun(FlutterDesktopEngineRef engine, const char* /*entry_point*/) {
  return orv::GuardExportValue<bool>([&] { return engine != nullptr && engine->Run(); }, false);
}

uint64_t FlutterDesktopEngineProcessMessages(FlutterDesktopEngineRef /*engine*/) { return 0; }

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  Guard([&] {
    if (engine != nullptr) engine->ReloadSystemFonts();
  });
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine,
                                                                       const char* plugin_name) {
  return orv::GuardExportValue<FlutterDesktopPluginRegistrarRef>(
      [&]() -> FlutterDesktopPluginRegistrarRef { return engine != nullptr ? engine->Registrar(plugin_name) : nullptr; },
      nullptr);
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine != nullptr ? engine->messenger() : nullptr;
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine, VoidCallback callback, void* user_data) {
  Guard([&] {
    if (engine != nullptr) engine->SetNextFrameCallback(callback, user_data);
  });
}

bool FlutterDesktopEngineGetGraphicsAdapter(FlutterDesktopEngineRef engine, IDXGIAdapter** adapter) {
  return orv::GuardExportValue<bool>(
      [&] {
        if (engine == nullptr) {
          if (adapter != nullptr) *adapter = nullptr;
          return false;
        }
        return engine->GraphicsAdapter(adapter);
      },
      false);
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  return orv::GuardExportValue<FlutterDesktopViewControllerRef>(
      [&]() -> FlutterDesktopViewControllerRef {
        if (engine == nullptr) return nullptr;
        // The controller owns the engine from here on, also when it fails.
        std::unique_ptr<FlutterDesktopEngine> owned(engine);
        if (!owned->Run()) return nullptr;
        auto view = std::make_unique<FlutterDesktopView>();
        view->engine = owned.get();
        view->window = standin::CreateViewWindow(owned.get(), width, height);
        if (view->window == nullptr) return nullptr;
        auto controller = std::make_unique<FlutterDesktopViewController>();
        controller->engine = owned.release();
        controller->view = std::move(view);
        controller->engine->AttachView(controller->view.get());
        return controller.release();
      },
      nullptr);
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  Guard([&] {
    if (controller == nullptr) return;
    // Plug-ins go while the view still exists; then the view.
    HWND window = controller->view ? controller->view->window : nullptr;
    delete controller->engine;
    standin::DestroyViewWindow(window);
    delete controller;
  });
}

FlutterDesktopEngineRef FlutterDesktopViewControllerGetEngine(FlutterDesktopViewControllerRef controller) {
  return controller != nullptr ? controller->engine : nullptr;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller) {
  return controller != nullptr ? controller->view.get() : nullptr;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr && controller->view) ::InvalidateRect(controller->view->window, nullptr, FALSE);
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(FlutterDesktopViewControllerRef controller, HWND hwnd,
                                                          UINT message, WPARAM wparam, LPARAM lparam,
                                                          LRESULT* result) {
  return orv::GuardExportValue<bool>(
      [&] {
        return controller != nullptr && controller->engine != nullptr &&
               controller->engine->OfferWindowMessage(hwnd, message, wparam, lparam, result);
      },
      false);
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) { return view != nullptr ? view->window : nullptr; }

IDXGIAdapter* FlutterDesktopViewGetGraphicsAdapter(FlutterDesktopViewRef view) {
  IDXGIAdapter* adapter = nullptr;
  if (view != nullptr && view->engine != nullptr) FlutterDesktopEngineGetGraphicsAdapter(view->engine, &adapter);
  return adapter;
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef registrar) {
  return registrar != nullptr && registrar->engine != nullptr ? registrar->engine->view() : nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(FlutterDesktopPluginRegistrarRef registrar) {
  return registrar != nullptr && registrar->engine != nullptr ? registrar->engine->messenger() : nullptr;
}

void FlutterDesktopPluginRegistrarSetDestructionHandler(FlutterDesktopPluginRegistrarRef registrar,
                                                        FlutterDesktopOnPluginRegistrarDestroyed callback) {
  if (registrar != nullptr) registrar->onDestroyed = callback;
}

void FlutterDesktopPluginRegistrarRegisterTopLevelWindowProcDelegate(FlutterDesktopPluginRegistrarRef registrar,
                                                                     FlutterDesktopWindowProcCallback delegate,
                                                                     void* user_data) {
  Guard([&] {
    if (registrar != nullptr && registrar->engine != nullptr && delegate != nullptr)
      registrar->engine->AddWindowProcDelegate(registrar, delegate, user_data);
  });
}

void FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(FlutterDesktopPluginRegistrarRef registrar,
                                                                       FlutterDesktopWindowProcCallback delegate) {
  Guard([&] {
    if (registrar != nullptr && registrar->engine != nullptr) registrar->engine->RemoveWindowProcDelegate(registrar, delegate);
  });
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
                                 const size_t message_size) {
  return FlutterDesktopMessengerSendWithReply(messenger, channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* /*message*/, const size_t /*message_size*/,
                                          const FlutterDesktopBinaryReply reply, void* user_data) {
  return orv::GuardExportValue<bool>(
      [&] {
        if (messenger == nullptr || channel == nullptr) return false;
        std::lock_guard<std::recursive_mutex> lock(messenger->lock);
        FlutterDesktopEngine* engine = EngineOf(messenger);
        return engine != nullptr && engine->SendToInterface(reply, user_data);
      },
      false);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                                         size_t data_length) {
  Guard([&] {
    if (messenger == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(messenger->lock);
    if (FlutterDesktopEngine* engine = EngineOf(messenger)) engine->Respond(handle, data, data_length);
  });
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  Guard([&] {
    if (messenger == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(messenger->lock);
    if (FlutterDesktopEngine* engine = EngineOf(messenger)) engine->SetHandler(channel, callback, user_data);
  });
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->references.fetch_add(1);
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr && messenger->references.fetch_sub(1) == 1) delete messenger;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return false;
  std::lock_guard<std::recursive_mutex> lock(messenger->lock);
  return messenger->engine != nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->lock.lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->lock.unlock();
}

UINT FlutterDesktopGetDpiForHWND(HWND hwnd) {
  const UINT dpi = hwnd != nullptr ? ::GetDpiForWindow(hwnd) : 0;
  return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT x = 0;
  UINT y = 0;
  if (monitor != nullptr && SUCCEEDED(::GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y)) && x != 0) return x;
  return USER_DEFAULT_SCREEN_DPI;
}

void FlutterDesktopResyncOutputStreams() { standin::ResyncTranscriptOutput(); }

void FlutterStandinRecordPluginRegistration(FlutterDesktopPluginRegistrarRef registrar, const char* plugin_name) {
  Guard([&] {
    if (registrar != nullptr && registrar->engine != nullptr) registrar->engine->RecordPluginRegistration(plugin_name);
  });
}

int FlutterStandinMessengerReferenceCount(FlutterDesktopMessengerRef messenger) {
  return messenger != nullptr ? messenger->references.load() : 0;
}

void FlutterStandinEngineDeliverMessage(FlutterDesktopEngineRef engine, const char* channel, const uint8_t* message,
                                        size_t message_size, FlutterStandinReply reply, void* user_data) {
  Guard([&] {
    if (engine == nullptr) {
      if (reply != nullptr) reply(kFlutterStandinNoEngine, nullptr, 0, user_data);
      return;
    }
    engine->Deliver(channel, message, message_size, reply, user_data);
  });
}

}  // extern "C"
