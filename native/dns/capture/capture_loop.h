#pragma once
// The capture thread's body: arms a raw IPv4 socket on the accelerator's
// adapter whenever the adapter is there, reads what passes it, and re-arms
// when the adapter goes away or changes, until the stop event or the
// platform's deadline.

#include <windows.h>

#include "native/dns/capture/capture_platform.h"
#include "native/dns/capture/capture_record.h"

namespace orv::dns {

// Every outcome, exceptions included, ends up in the record.
void RunCaptureLoop(const DnsCapturePlatform& platform, CaptureRecord& record, HANDLE stopEvent) noexcept;

}  // namespace orv::dns
