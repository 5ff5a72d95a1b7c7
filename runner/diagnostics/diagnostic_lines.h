#pragma once
// Text of the startup diagnostics log lines. Portable: no Windows header.

#include <cstddef>

namespace orv {

inline constexpr size_t kStageLineCapacity = 768;
inline constexpr size_t kGraphicsLineCapacity = 1024;

struct LocalTimeStamp {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

struct StageLineFields {
  LocalTimeStamp time;
  unsigned long processId = 0;
  unsigned long threadId = 0;
  unsigned long long runStartTick = 0;
  unsigned long long nowTick = 0;
  const char* stage = "";
};

// Each returns the length of the line in the buffer (cut to capacity - 1 bytes,
// always NUL-terminated), or 0 if formatting failed.
size_t FormatStageLine(char* buffer, size_t capacity, const StageLineFields& fields);
size_t FormatGraphicsLine(char* buffer, size_t capacity, const LocalTimeStamp& time, unsigned long processId,
                          const char* text);

}  // namespace orv
