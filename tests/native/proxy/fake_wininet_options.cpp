#include "tests/native/proxy/fake_wininet_options.h"

#include <stdexcept>

#include "tests/native/proxy/option_list.h"
#include "tests/native/proxy/options_in_registry.h"

namespace orv::proxy::test {
namespace {

FakeWinInetOptions* g_active = nullptr;

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

DWORD FakeWinInetOptions::flagsInEffect() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return InEffect();
}

DWORD FakeWinInetOptions::InEffect() const {
  return detectionFailed_ ? options_.flags & ~kProxyTypeAutoDetect : options_.flags;
}

void FakeWinInetOptions::failAutoDetection() {
  std::lock_guard<std::mutex> lock(mutex_);
  detectionFailed_ = true;
}

void FakeWinInetOptions::forgetUserFlags() {
  std::lock_guard<std::mutex> lock(mutex_);
  knowsUserFlags_ = false;
}

void FakeWinInetOptions::failCall(DWORD option, DWORD error, int skip) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.push_back({option, error, skip});
}

void FakeWinInetOptions::ignoreWrites(bool ignore) {
  std::lock_guard<std::mutex> lock(mutex_);
  ignoreWrites_ = ignore;
}

void FakeWinInetOptions::mirrorToRegistry(bool mirror) {
  std::lock_guard<std::mutex> lock(mutex_);
  mirror_ = mirror;
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

BOOL Refuse(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL WINAPI FakeWinInetOptions::Query(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length) {
  FakeWinInetOptions& self = *g_active;
  const std::unique_lock<std::mutex> lock = self.Enter(kQueryCall);
  auto* list = static_cast<INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  if (option != INTERNET_OPTION_PER_CONNECTION_OPTION || length == nullptr ||
      !IsDefaultConnectionList(list, *length)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  const bool asksForUserFlags = AsksForUserFlags(*list);
  if (DWORD error = 0; self.Fails(kQueryCall, error)) {
    if (asksForUserFlags) self.failures_.insert(self.failures_.begin(), Failure{kQueryCall, error, 0});
    return Refuse(error);
  }
  if (asksForUserFlags && !self.knowsUserFlags_) return Refuse(ERROR_INVALID_PARAMETER);
  const DWORD error = AnswerOptionQuery(self.options_, self.InEffect(), *list);
  return error == ERROR_SUCCESS ? TRUE : Refuse(error);
}

BOOL WINAPI FakeWinInetOptions::Set(HINTERNET, DWORD option, LPVOID buffer, DWORD length) {
  FakeWinInetOptions& self = *g_active;
  const std::unique_lock<std::mutex> lock = self.Enter(option);
  if (DWORD error = 0; self.Fails(option, error)) return Refuse(error);
  if (option == INTERNET_OPTION_SETTINGS_CHANGED || option == INTERNET_OPTION_REFRESH) return TRUE;
  const auto* list = static_cast<const INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  if (option != INTERNET_OPTION_PER_CONNECTION_OPTION || !IsDefaultConnectionList(list, length)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  ProxyOptions next = self.options_;
  if (const DWORD error = ApplyOptionSet(*list, next); error != ERROR_SUCCESS) return Refuse(error);
  if (self.ignoreWrites_) return TRUE;
  if (self.mirror_) {
    if (const DWORD error = StoreOptionsInRegistry(next); error != ERROR_SUCCESS) return Refuse(error);
  }
  self.options_ = std::move(next);
  self.detectionFailed_ = false;
  return TRUE;
}

}  // namespace orv::proxy::test
