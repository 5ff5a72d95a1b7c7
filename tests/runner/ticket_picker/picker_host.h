#pragma once
// The picker channel in this process: a top-level host window that forwards
// its messages to the engine's view controller (as the runner's window does),
// the engine's view inside it, and the picker registered with its
// registration function. The test drives the file dialogs like a user.

#include <flutter_windows.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/channel_answer.h"

namespace orv::test {

class PickerHost {
 public:
  PickerHost();
  ~PickerHost();
  PickerHost(const PickerHost&) = delete;
  PickerHost& operator=(const PickerHost&) = delete;

  bool ready() const { return host_ != nullptr && controller_ != nullptr; }
  HWND host() const { return host_; }

  // Delivers a picker call; the answer fills in as the platform thread runs.
  const ChannelAnswer& Call(const std::string& method,
                            const flutter::EncodableValue& arguments = flutter::EncodableValue());
  // Runs this thread's messages until `done` or `ms` have passed; true if done.
  bool Pump(DWORD ms, const std::function<bool()>& done = nullptr);
  bool WaitForAnswer(const ChannelAnswer& answer, DWORD ms = 15000) {
    return Pump(ms, [&] { return answer.count > 0; });
  }
  // A visible file dialog owned by the host window, or null after `ms`.
  HWND WaitForDialog(DWORD ms = 15000);
  void DestroyEngine();
  // Completion messages that reached the host window, handled or not.
  int completions() const { return completions_; }

 private:
  static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND host_ = nullptr;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::deque<std::unique_ptr<ChannelAnswer>> answers_;
  int completions_ = 0;
};

// Types `text` into the dialog's file-name box and presses OK.
void ChooseInDialog(HWND dialog, const std::wstring& text);
void CancelDialog(HWND dialog);

}  // namespace orv::test
