#include "standin/engine/platform_tasks.h"

namespace standin {
namespace {

constexpr wchar_t kClassName[] = L"FlutterStandinPlatformTasks";
constexpr UINT kRunTasks = WM_APP + 1;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

PlatformTasks::PlatformTasks() : thread_(::GetCurrentThreadId()) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &PlatformTasks::WindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kClassName;
  ::RegisterClassW(&windowClass);  // already registered by an earlier engine is fine
  window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (window_ != nullptr) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

PlatformTasks::~PlatformTasks() {
  if (window_ != nullptr) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(queue_);
  }
}

bool PlatformTasks::Post(std::function<void()> task) {
  if (window_ == nullptr) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  return ::PostMessageW(window_, kRunTasks, 0, 0) != FALSE;
}

void PlatformTasks::RunQueued() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      task();
    } catch (...) {
      // A task that fails loses only itself.
    }
  }
}

LRESULT CALLBACK PlatformTasks::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunTasks) {
    auto* self = reinterpret_cast<PlatformTasks*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) self->RunQueued();
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace standin
