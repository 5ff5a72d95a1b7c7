#include "standin/engine/view_window.h"

#include <cstdlib>
#include <string>

#include "native/common/environment.h"
#include "native/common/text_conversion.h"
#include "native/common/unique_resource.h"
#include "standin/engine/engine.h"
#include "standin/engine/transcript.h"

namespace standin {
namespace {

constexpr wchar_t kClassName[] = L"FlutterStandinView";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kDefaultFirstFrameMs = 100;
constexpr UINT kNextFrameMs = 16;

struct ViewState {
  FlutterDesktopEngine* engine;
  bool framesDrawn;  // false: "never"
  bool firstFrameDone = false;
};

// 0 means no frame is ever drawn.
bool FirstFrameDelay(UINT& delay) {
  const std::wstring text = orv::ReadEnvironmentText(L"FLUTTER_STANDIN_FIRST_FRAME_MS");
  delay = kDefaultFirstFrameMs;
  if (text == L"never") return false;
  if (!text.empty()) {
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text.c_str(), &end, 10);
    if (end != nullptr && *end == L'\0' && value <= 600000) delay = static_cast<UINT>(value);
  }
  return true;
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void Paint(HWND window, const ViewState& state) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT client;
  ::GetClientRect(window, &client);
  orv::UniqueBrush background(::CreateSolidBrush(RGB(16, 20, 28)));
  ::FillRect(dc, &client, background.get());
  if (state.firstFrameDone) {
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(170, 220, 170));
    HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc, &metrics);
    const int lineHeight = metrics.tmHeight > 0 ? metrics.tmHeight : 14;
    const std::vector<std::string> lines = RecentTranscriptLines();
    const int fit = static_cast<int>(client.bottom / lineHeight);
    const size_t first = lines.size() > static_cast<size_t>(fit) ? lines.size() - fit : 0;
    int y = 0;
    for (size_t i = first; i < lines.size(); ++i, y += lineHeight) {
      std::wstring wide;
      if (!orv::Utf8ToUtf16(lines[i], wide)) continue;
      ::TextOutW(dc, 4, y, wide.c_str(), static_cast<int>(wide.size()));
    }
    ::SelectObject(dc, oldFont);
  }
  ::EndPaint(window, &paint);
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    auto* state = reinterpret_cast<ViewState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
      case WM_TIMER:
        if (wparam == kFrameTimer && state != nullptr) {
          ::KillTimer(window, kFrameTimer);
          state->firstFrameDone = true;
          ::InvalidateRect(window, nullptr, FALSE);
          state->engine->OnFrameDrawn();
          return 0;
        }
        break;
      case WM_PAINT:
        if (state != nullptr) {
          Paint(window, *state);
          return 0;
        }
        break;
      case WM_ERASEBKGND:
        return 1;
      case WM_NCDESTROY:
        RemoveTranscriptView(window);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete state;
        break;
      default:
        break;
    }
  } catch (...) {
    // Painting is best effort; nothing leaves the window procedure.
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND CreateViewWindow(FlutterDesktopEngine* engine, int width, int height) {
  // "none": no view can be made, so a view controller comes back empty.
  if (orv::ReadEnvironmentText(L"FLUTTER_STANDIN_VIEW") == L"none") return nullptr;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &ViewProc;
  windowClass.hInstance = ThisModule();
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassW(&windowClass);

  UINT delay = 0;
  auto state = std::make_unique<ViewState>(ViewState{engine, FirstFrameDelay(delay)});
  HWND view = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, width, height,
                                HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (view == nullptr) return nullptr;
  const bool frames = state->framesDrawn;
  ::SetWindowLongPtrW(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
  AddTranscriptView(view);
  if (frames) ::SetTimer(view, kFrameTimer, delay, nullptr);
  return view;
}

void DestroyViewWindow(HWND view) {
  if (view != nullptr) ::DestroyWindow(view);
}

void ScheduleNextFrame(HWND view) {
  auto* state = reinterpret_cast<ViewState*>(::GetWindowLongPtrW(view, GWLP_USERDATA));
  if (state != nullptr && state->framesDrawn && state->firstFrameDone) ::SetTimer(view, kFrameTimer, kNextFrameMs, nullptr);
}

}  // namespace standin
