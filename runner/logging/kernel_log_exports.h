#pragma once
// Exports of the kernel log queue (see kernel_log_ring.h for the rules).

extern "C" {
void orv_kernel_log_callback(const char* level, const char* message) noexcept;
void orv_kernel_log_enable(int enabled) noexcept;
int orv_kernel_log_pop(char* levelOut, int levelCapacity, char* messageOut, int messageCapacity) noexcept;
}
