// The kernel log queue as the interface sees it: three exports, no error codes.

#include "kilna/kilna_exports.h"
#include "runner/logging/kernel_log_ring.h"

namespace {

orv::KernelLogRing& Ring() {
  static auto* ring = new orv::KernelLogRing();  // kept until exit
  return *ring;
}

}  // namespace

extern "C" {

void orv_kernel_log_callback(const char* level, const char* message) noexcept {
  try {
    Ring().Push(level, message);
  } catch (...) {
  }
}

void orv_kernel_log_enable(int32_t enabled) noexcept {
  try {
    Ring().Enable(enabled != 0);
  } catch (...) {
  }
}

int32_t orv_kernel_log_pop(char* levelOut, int32_t levelCapacity, char* messageOut,
                          int32_t messageCapacity) noexcept {
  try {
    return Ring().Pop(levelOut, levelCapacity, messageOut, messageCapacity) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
