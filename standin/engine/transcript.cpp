#include "standin/engine/transcript.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "native/common/environment.h"
#include "native/common/unique_resource.h"

namespace standin {
namespace {

constexpr size_t kRecentLines = 60;

struct Transcript {
  std::mutex mutex;
  bool opened = false;
  orv::UniqueHandle file;
  HANDLE output = nullptr;  // the file, or standard output (not owned)
  std::deque<std::string> recent;
  std::vector<HWND> views;
};

Transcript& State() {
  static Transcript* transcript = new Transcript();  // kept until exit: lines may come from any thread late
  return *transcript;
}

void OpenLocked(Transcript& t) {
  if (t.opened) return;
  t.opened = true;
  const std::wstring path = orv::ReadEnvironmentText(L"FLUTTER_STANDIN_TRANSCRIPT");
  if (!path.empty()) {
    t.file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (t.file) {
      t.output = t.file.get();
      return;
    }
  }
  t.output = ::GetStdHandle(STD_OUTPUT_HANDLE);
}

}  // namespace

void WriteTranscriptLine(const std::string& line) noexcept {
  std::vector<HWND> views;
  try {
    Transcript& t = State();
    std::lock_guard<std::mutex> lock(t.mutex);
    OpenLocked(t);
    const std::string whole = line + "\n";
    if (t.output != nullptr && t.output != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      ::WriteFile(t.output, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
    }
    t.recent.push_back(line);
    if (t.recent.size() > kRecentLines) t.recent.pop_front();
    views = t.views;
  } catch (...) {
    return;
  }
  for (HWND view : views) ::InvalidateRect(view, nullptr, FALSE);
}

std::vector<std::string> RecentTranscriptLines() {
  Transcript& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  return std::vector<std::string>(t.recent.begin(), t.recent.end());
}

void AddTranscriptView(HWND view) {
  Transcript& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.views.push_back(view);
}

void RemoveTranscriptView(HWND view) {
  Transcript& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.views.erase(std::remove(t.views.begin(), t.views.end(), view), t.views.end());
}

void ResyncTranscriptOutput() noexcept {
  Transcript& t = State();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.opened && !t.file) t.output = ::GetStdHandle(STD_OUTPUT_HANDLE);
}

}  // namespace standin
