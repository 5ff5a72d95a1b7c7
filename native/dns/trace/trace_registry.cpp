#include "native/dns/trace/trace_registry.h"

#include <wchar.h>
#include <optional>
#include <string>

#include "native/common/caller_buffer.h"
#include "native/dns/capture/traced_name.h"

namespace orv::dns {

namespace {
constexpr std::size_t kNameLimit = 255;  // names this long are refused before normalising
}  // namespace

DWORD TraceRegistry::Start(const wchar_t* name, std::uint64_t* traceId) {
  if (traceId == nullptr) return ERROR_INVALID_PARAMETER;
  *traceId = 0;
  if (name == nullptr || ::wcsnlen(name, kNameLimit) >= kNameLimit) return ERROR_INVALID_PARAMETER;
  std::optional<std::string> traced = TracedName(std::wstring_view(name));
  if (!traced) return ERROR_INVALID_PARAMETER;

  std::lock_guard lock(mutex_);
  if (current_ != nullptr) {
    if (!current_->expired()) return ERROR_BUSY;
    currentId_ = 0;
    current_.reset();
  }
  const std::uint64_t id = ++lastId_;
  auto trace = std::make_unique<DnsTrace>(platform_, std::move(*traced));
  if (const DWORD started = trace->Start(); started != ERROR_SUCCESS) return started;
  // Only a trace that actually started takes the kept document's place.
  DiscardKeptDocument();
  current_ = std::move(trace);
  currentId_ = id;
  *traceId = id;
  return ERROR_SUCCESS;
}

DWORD TraceRegistry::Finish(std::uint64_t traceId, std::uint8_t* buffer, std::uint32_t bufferSize,
                            std::uint32_t* written) {
  const CallerBuffer out{buffer, bufferSize, written};
  out.ClearWritten();
  std::unique_ptr<DnsTrace> finished;  // destroyed once the lock is released
  std::lock_guard lock(mutex_);
  if (traceId == 0) return ERROR_INVALID_HANDLE;
  if (traceId != keptId_) {
    if (current_ == nullptr || traceId != currentId_) return ERROR_INVALID_HANDLE;
    current_->CancelExpiry();
    current_->Stop();
    finished = std::move(current_);
    currentId_ = 0;
  }
  // Nowhere to write: a trace just finished goes with its results, while a
  // document already kept waits on, as after a buffer too small.
  if (const DWORD opened = out.Open(); opened != ERROR_SUCCESS) return opened;
  if (finished != nullptr) {
    keptDocument_ = finished->ResultJson();
    keptId_ = traceId;
  }
  // A buffer too small must not cost the caller the trace: the document
  // waits under its id for a call with room enough.
  const DWORD delivered = out.Deliver(keptDocument_);
  if (delivered != ERROR_INSUFFICIENT_BUFFER) DiscardKeptDocument();
  return delivered;
}

void TraceRegistry::DiscardKeptDocument() noexcept {
  keptId_ = 0;
  std::string().swap(keptDocument_);
}

TraceRegistry& ProcessTraceRegistry() {
  // Never destroyed: a trace may still be recording while the process exits.
  static auto* registry = new TraceRegistry();
  return *registry;
}

}  // namespace orv::dns
