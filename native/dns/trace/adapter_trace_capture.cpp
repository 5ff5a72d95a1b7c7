#include "native/dns/capture/adapter_capture.h"
#include "native/dns/trace/trace_platform.h"

namespace orv::dns {

namespace {

class AdapterTraceCapture final : public TraceCapture {
 public:
  explicit AdapterTraceCapture(std::unique_ptr<AdapterCapture> capture) : capture_(std::move(capture)) {}
  void Stop() noexcept override { capture_->Stop(); }
  std::string Json() const override { return capture_->Json(); }

 private:
  std::unique_ptr<AdapterCapture> capture_;
};

}  // namespace

TraceCaptureFactory AdapterCaptureFactory(const DnsCapturePlatform& platform) {
  return [platform](std::wstring_view name) -> std::unique_ptr<TraceCapture> {
    std::unique_ptr<AdapterCapture> capture = AdapterCapture::Create(name, platform);
    if (capture == nullptr) return nullptr;
    return std::make_unique<AdapterTraceCapture>(std::move(capture));
  };
}

TraceCaptureFactory ProductionCaptureFactory() { return AdapterCaptureFactory(DnsCapturePlatform::Production()); }

}  // namespace orv::dns
