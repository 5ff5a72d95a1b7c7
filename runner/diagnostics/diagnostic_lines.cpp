#include "runner/diagnostics/diagnostic_lines.h"

#include <cstdio>

namespace orv {
namespace {

size_t Clamp(int written, size_t capacity) {
  if (written < 0 || capacity == 0) return 0;
  const auto length = static_cast<size_t>(written);
  return length < capacity ? length : capacity - 1;
}

}  // namespace

size_t FormatStageLine(char* buffer, size_t capacity, const StageLineFields& f) {
  if (buffer == nullptr || capacity == 0) return 0;
  const int written = std::snprintf(
      buffer, capacity,
      "%04u-%02u-%02u %02u:%02u:%02u.%03u pid=%lu tid=%lu [startup] run=%lu-%llu stage=%.160s elapsedMs=%llu\n",
      f.time.year, f.time.month, f.time.day, f.time.hour, f.time.minute, f.time.second, f.time.milliseconds,
      f.processId, f.threadId, f.processId, f.runStartTick, f.stage != nullptr ? f.stage : "",
      f.nowTick - f.runStartTick);
  return Clamp(written, capacity);
}

size_t FormatGraphicsLine(char* buffer, size_t capacity, const LocalTimeStamp& t, unsigned long processId,
                          const char* text) {
  if (buffer == nullptr || capacity == 0) return 0;
  const int written = std::snprintf(buffer, capacity, "%04u-%02u-%02u %02u:%02u:%02u pid=%lu [graphics] %s\n", t.year,
                                    t.month, t.day, t.hour, t.minute, t.second, processId,
                                    text != nullptr ? text : "");
  return Clamp(written, capacity);
}

}  // namespace orv
