#include "native/dns/trace/expiry_timer.h"

namespace orv::dns {

DWORD ExpiryTimer::Create(PTP_TIMER_CALLBACK callback, void* context) {
  Cancel();
  timer_ = api_->CreateThreadpoolTimer(callback, context, nullptr);
  return timer_ == nullptr ? ::GetLastError() : ERROR_SUCCESS;
}

void ExpiryTimer::Arm(std::chrono::milliseconds after) noexcept {
  if (timer_ == nullptr) return;
  // A negative due time is relative, in 100-ns units.
  ULARGE_INTEGER due = {};
  due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(after.count()) * 10000);
  FILETIME dueTime = {due.LowPart, due.HighPart};
  api_->SetThreadpoolTimer(timer_, &dueTime, 0, 0);
}

void ExpiryTimer::Cancel() noexcept {
  if (timer_ == nullptr) return;
  api_->SetThreadpoolTimer(timer_, nullptr, 0, 0);
  ::WaitForThreadpoolTimerCallbacks(timer_, TRUE);
  ::CloseThreadpoolTimer(timer_);
  timer_ = nullptr;
}

}  // namespace orv::dns
