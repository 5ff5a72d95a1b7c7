#include "tests/native/proxy/fake_wininet_options.h"

#include <cstring>
#include <stdexcept>

#include "native/proxy/proxy_text.h"

namespace orv::proxy::test {
namespace {

FakeWinInetOptions* g_active = nullptr;

// WinINet hands out GlobalAlloc'd copies, and null for an empty string.
LPWSTR GlobalCopy(const ProxyText& text) {
  if (text.empty()) return nullptr;
  const std::wstring wide = ToWide(text);
  auto* copy = static_cast<LPWSTR>(::GlobalAlloc(GMEM_FIXED, (wide.size() + 1) * sizeof(wchar_t)));
  if (copy != nullptr) std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  return copy;
}

}  // namespace

FakeWinInetOptions::FakeWinInetOptions() {
  if (g_active != nullptr) throw std::logic_error("one fake options store at a time");
  g_active = this;
}

FakeWinInetOptions::~FakeWinInetOptions() { g_active = nullptr; }

PerConnectionOptionsApi FakeWinInetOptions::Api() { return PerConnectionOptionsApi{Query, Set}; }

ProxyOptions FakeWinInetOptions::options() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return options_;
}

void FakeWinInetOptions::setOptions(const ProxyOptions& options) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_ = options;
}

void FakeWinInetOptions::failCall(DWORD option, DWORD error, int skip) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.push_back({option, error, skip});
}

void FakeWinInetOptions::ignoreWrites(bool ignore) {
  std::lock_guard<std::mutex> lock(mutex_);
  ignoreWrites_ = ignore;
}

void FakeWinInetOptions::delayCalls(DWORD ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  delayMs_ = ms;
}

std::vector<OptionCall> FakeWinInetOptions::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::size_t FakeWinInetOptions::setCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t count = 0;
  for (const auto& call : calls_) count += call.option != kQueryCall ? 1 : 0;
  return count;
}

void FakeWinInetOptions::clearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

std::unique_lock<std::mutex> FakeWinInetOptions::Enter(DWORD option) {
  std::unique_lock<std::mutex> lock(mutex_);
  calls_.push_back({::GetCurrentThreadId(), option});
  const DWORD delay = delayMs_;
  lock.unlock();
  if (delay != 0) ::Sleep(delay);
  lock.lock();
  return lock;
}

bool FakeWinInetOptions::Fails(DWORD option, DWORD& error) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->option != option) continue;
    if (it->skip-- > 0) continue;
    error = it->error;
    failures_.erase(it);
    return true;
  }
  return false;
}

namespace {

// The string option an entry names, or null for the flags and unknown options.
ProxyText* TextOption(ProxyOptions& options, DWORD option) {
  switch (option) {
    case INTERNET_PER_CONN_PROXY_SERVER:
      return &options.proxyServer;
    case INTERNET_PER_CONN_PROXY_BYPASS:
      return &options.proxyBypass;
    case INTERNET_PER_CONN_AUTOCONFIG_URL:
      return &options.autoConfigUrl;
    default:
      return nullptr;
  }
}

BOOL Refuse(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL WINAPI FakeWinInetOptions::Query(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length) {
  FakeWinInetOptions& self = *g_active;
  const std::unique_lock<std::mutex> lock = self.Enter(kQueryCall);
  auto* list = static_cast<INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  if (option != INTERNET_OPTION_PER_CONNECTION_OPTION || list == nullptr || length == nullptr ||
      *length < sizeof(*list) || list->dwSize != sizeof(*list) || list->pszConnection != nullptr) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  if (DWORD error = 0; self.Fails(kQueryCall, error)) return Refuse(error);
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    INTERNET_PER_CONN_OPTIONW& entry = list->pOptions[i];
    if (entry.dwOption == INTERNET_PER_CONN_FLAGS) {
      entry.Value.dwValue = self.options_.flags;
    } else if (ProxyText* text = TextOption(self.options_, entry.dwOption)) {
      entry.Value.pszValue = GlobalCopy(*text);
    } else {
      list->dwOptionError = i;
      return Refuse(ERROR_INVALID_PARAMETER);
    }
  }
  return TRUE;
}

BOOL WINAPI FakeWinInetOptions::Set(HINTERNET, DWORD option, LPVOID buffer, DWORD length) {
  FakeWinInetOptions& self = *g_active;
  const std::unique_lock<std::mutex> lock = self.Enter(option);
  if (DWORD error = 0; self.Fails(option, error)) return Refuse(error);
  if (option == INTERNET_OPTION_SETTINGS_CHANGED || option == INTERNET_OPTION_REFRESH) return TRUE;
  const auto* list = static_cast<const INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  if (option != INTERNET_OPTION_PER_CONNECTION_OPTION || list == nullptr || length != sizeof(*list) ||
      list->dwSize != sizeof(*list) || list->pszConnection != nullptr) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  ProxyOptions next = self.options_;
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    const INTERNET_PER_CONN_OPTIONW& entry = list->pOptions[i];
    if (entry.dwOption == INTERNET_PER_CONN_FLAGS) {
      next.flags = entry.Value.dwValue;
    } else if (ProxyText* text = TextOption(next, entry.dwOption)) {
      *text = ToProxyText(entry.Value.pszValue);
    } else {
      return Refuse(ERROR_INVALID_PARAMETER);
    }
  }
  if (!self.ignoreWrites_) self.options_ = std::move(next);
  return TRUE;
}

}  // namespace orv::proxy::test
