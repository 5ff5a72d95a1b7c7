#pragma once
// The policy entry points of the maker's logging library (orv_crypto.dll).

#include <cstdint>

extern "C" {
void __cdecl orv_log_set_policy(int enabled, std::int64_t expiresAt);
int __cdecl orv_log_files_allowed();
}
