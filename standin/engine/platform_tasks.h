#pragma once
// Work handed to the platform thread: a message-only window on that thread
// runs queued tasks in order. Tasks still queued when it goes are dropped.

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace standin {

class PlatformTasks {
 public:
  // Create on the platform thread.
  PlatformTasks();
  ~PlatformTasks();
  PlatformTasks(const PlatformTasks&) = delete;
  PlatformTasks& operator=(const PlatformTasks&) = delete;

  bool valid() const { return window_ != nullptr; }
  DWORD thread() const { return thread_; }
  bool OnPlatformThread() const { return ::GetCurrentThreadId() == thread_; }

  // From any thread. False when the task could not be queued.
  bool Post(std::function<void()> task);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void RunQueued();

  DWORD thread_;
  HWND window_ = nullptr;
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace standin
