#include "native/dns/capture/adapter_capture.h"

#include <system_error>
#include <thread>
#include <utility>

#include "native/common/unique_resource.h"
#include "native/dns/capture/capture_json.h"
#include "native/dns/capture/capture_loop.h"
#include "native/dns/capture/traced_name.h"

namespace orv::dns {

struct CaptureThread {
  CaptureThread(const DnsCapturePlatform& table, std::string queryName)
      : platform(table), record(std::move(queryName)) {}

  DnsCapturePlatform platform;
  CaptureRecord record;
  UniqueHandle stopEvent;
  std::thread thread;
};

std::unique_ptr<AdapterCapture> AdapterCapture::Create(std::wstring_view name, const DnsCapturePlatform& platform) {
  std::unique_ptr<AdapterCapture> capture(new AdapterCapture());
  capture->state_ = std::make_unique<CaptureThread>(platform, TracedName(name).value_or(std::string()));
  CaptureThread& state = *capture->state_;

  state.stopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state.stopEvent) {
    state.record.RecordError(::GetLastError());
    return capture;
  }
  if (state.record.queryName().empty()) {
    state.record.RecordError(ERROR_INVALID_PARAMETER);
    return capture;
  }
  try {
    state.thread = std::thread(RunCaptureLoop, std::cref(state.platform), std::ref(state.record),
                               state.stopEvent.get());
  } catch (const std::system_error&) {
    // No thread could be made: the capture shows as unavailable.
    state.record.RecordError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return capture;
}

AdapterCapture::~AdapterCapture() { Stop(); }

void AdapterCapture::Stop() noexcept {
  if (!state_ || !state_->thread.joinable()) return;
  ::SetEvent(state_->stopEvent.get());
  try {
    state_->thread.join();
  } catch (const std::system_error&) {
    // Joining only fails for a thread that cannot be joined; nothing is left to wait for.
  }
}

std::string AdapterCapture::Json() const {
  std::string json;
  AppendJson(json);
  return json;
}

void AdapterCapture::AppendJson(std::string& json) const { AppendCaptureJson(json, state_->record); }

const CaptureRecord& AdapterCapture::record() const noexcept { return state_->record; }

}  // namespace orv::dns
