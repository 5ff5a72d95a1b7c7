#include "tests/runner/ticket_picker/picker_host.h"

#include "runner/ticket_picker/ticket_image_picker.h"
#include "tests/support/engine_registry.h"

namespace orv::test {
namespace {

constexpr wchar_t kHostClass[] = L"KilnaPickerTestHost";
constexpr char kChannel[] = "orv.net/ticket_image_picker";
constexpr int kFileNameEdit = 1152;

}  // namespace

LRESULT CALLBACK PickerHost::HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<PickerHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  LRESULT result = 0;
  if (self != nullptr) {
    static const UINT completed = ::RegisterWindowMessageW(L"ORV.TicketImagePicker.Completed");
    if (message == completed) ++self->completions_;
    if (self->controller_ != nullptr &&
        FlutterDesktopViewControllerHandleTopLevelWindowProc(self->controller_, window, message, wparam, lparam,
                                                             &result)) {
      return result;
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

namespace {

struct DialogSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<DialogSearch*>(parameter);
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window) &&
      ::GetWindow(window, GW_OWNER) == search->owner) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

void PressButton(HWND dialog, int id) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

}  // namespace

PickerHost::PickerHost() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &HostProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kHostClass;
  ::RegisterClassW(&windowClass);
  host_ = ::CreateWindowExW(0, kHostClass, L"Kilna", WS_OVERLAPPEDWINDOW, 30, 30, 800, 600, nullptr, nullptr,
                            windowClass.hInstance, nullptr);
  if (host_ == nullptr) return;
  controller_ = FlutterDesktopViewControllerCreate(64, 64, CreateStandinEngine());
  if (controller_ == nullptr) return;
  EngineRegistry registry(FlutterDesktopViewControllerGetEngine(controller_));
  RegisterTicketImagePicker(&registry);
  ::SetWindowLongPtrW(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetParent(FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller_)), host_);
  ::ShowWindow(host_, SW_SHOWNOACTIVATE);
}

PickerHost::~PickerHost() {
  DestroyEngine();
  if (host_ != nullptr) {
    ::SetWindowLongPtrW(host_, GWLP_USERDATA, 0);
    ::DestroyWindow(host_);
  }
}

void PickerHost::DestroyEngine() {
  FlutterDesktopViewControllerRef controller = controller_;
  controller_ = nullptr;
  if (controller != nullptr) FlutterDesktopViewControllerDestroy(controller);
}

const ChannelAnswer& PickerHost::Call(const std::string& method, const flutter::EncodableValue& arguments) {
  answers_.push_back(std::make_unique<ChannelAnswer>());
  ChannelAnswer& answer = *answers_.back();
  DeliverMethodCall(FlutterDesktopViewControllerGetEngine(controller_), kChannel, method, arguments, answer);
  return answer;
}

bool PickerHost::Pump(DWORD ms, const std::function<bool()>& done) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done && done()) return true;
    if (::GetTickCount64() >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

HWND PickerHost::WaitForDialog(DWORD ms) {
  DialogSearch search{host_, nullptr};
  Pump(ms, [&] {
    ::EnumWindows(&FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  return search.found;
}

void ChooseInDialog(HWND dialog, const std::wstring& text) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(::GetDlgItem(dialog, kFileNameEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_NORMAL, 5000, &ignored);
  PressButton(dialog, IDOK);
}

void CancelDialog(HWND dialog) { PressButton(dialog, IDCANCEL); }

}  // namespace orv::test
