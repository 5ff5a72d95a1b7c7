#pragma once
// The one writer of windows-renderer.log, through the logging library's
// orv_log_append_utf8 found beside the executable.

#include <string>

namespace orv {

inline constexpr wchar_t kRendererLogFileName[] = L"windows-renderer.log";

// Appends one finished line. Serialised by its own lock; a missing logging
// library or executable path means the line is silently not written.
void WriteRendererLogLine(const std::string& line);

}  // namespace orv
