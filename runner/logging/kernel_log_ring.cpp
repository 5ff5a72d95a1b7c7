#include "runner/logging/kernel_log_ring.h"

#include <cstdio>
#include <cstring>

namespace orv {
namespace {

constexpr char kTruncatedMark[] = " [truncated]";
constexpr size_t kMarkLength = sizeof kTruncatedMark - 1;

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Copies at most capacity - 1 bytes of `text`, whole characters only, and a NUL.
void CopyCut(char* out, size_t capacity, const char* text, size_t length) {
  const size_t kept = Utf8PrefixLength(text, length, capacity - 1);
  std::memcpy(out, text, kept);
  out[kept] = '\0';
}

}  // namespace

size_t Utf8PrefixLength(const char* text, size_t length, size_t limit) {
  if (length <= limit) return length;
  // The byte at `limit` is the first one left out; if it continues a
  // character, that character starts at most three bytes earlier.
  size_t cut = limit;
  while (cut > 0 && limit - cut < 3 && IsContinuationByte(text[cut])) --cut;
  return IsContinuationByte(text[cut]) ? limit : cut;
}

void KernelLogRing::Push(const char* level, const char* message) {
  if (level == nullptr) level = "INFO";
  if (message == nullptr) message = "";
  const size_t levelLength = Utf8PrefixLength(level, ::strnlen(level, kLevelBytes), kLevelBytes - 1);
  const size_t fullLength = ::strnlen(message, kMessageBytes);
  const bool truncated = fullLength == kMessageBytes;
  const size_t messageLength =
      truncated ? Utf8PrefixLength(message, fullLength, kMessageBytes - 1 - kMarkLength) : fullLength;

  std::lock_guard<std::mutex> lock(mutex_);
  if (!enabled_) return;
  if (count_ == kEntries) {
    ++dropped_;
    return;
  }
  Entry& slot = ring_[(head_ + count_) % kEntries];
  std::memcpy(slot.level, level, levelLength);
  slot.level[levelLength] = '\0';
  slot.levelLength = static_cast<std::uint16_t>(levelLength);
  std::memcpy(slot.message, message, messageLength);
  size_t stored = messageLength;
  if (truncated) {
    std::memcpy(slot.message + stored, kTruncatedMark, kMarkLength);
    stored += kMarkLength;
  }
  slot.message[stored] = '\0';
  slot.messageLength = static_cast<std::uint16_t>(stored);
  ++count_;
}

void KernelLogRing::Enable(bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_ = enabled;
  if (!enabled) {
    head_ = 0;
    count_ = 0;
    dropped_ = 0;
  }
}

bool KernelLogRing::Pop(char* levelOut, int levelCapacity, char* messageOut, int messageCapacity) {
  if (levelOut == nullptr || messageOut == nullptr || levelCapacity < 1 || messageCapacity < 1) return false;
  const auto levelSize = static_cast<size_t>(levelCapacity);
  const auto messageSize = static_cast<size_t>(messageCapacity);
  std::uint64_t dropped = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ > 0) {
      const Entry& entry = ring_[head_];
      CopyCut(levelOut, levelSize, entry.level, entry.levelLength);
      CopyCut(messageOut, messageSize, entry.message, entry.messageLength);
      head_ = (head_ + 1) % kEntries;
      --count_;
      return true;
    }
    dropped = dropped_;
    dropped_ = 0;
  }
  // The report is taken off the queue above; writing it needs no lock.
  if (dropped == 0) return false;
  char report[64];
  const int length = std::snprintf(report, sizeof report, "kernel log queue full: dropped %llu messages",
                                   static_cast<unsigned long long>(dropped));
  CopyCut(levelOut, levelSize, "WARN", 4);
  CopyCut(messageOut, messageSize, report, static_cast<size_t>(length));
  return true;
}

}  // namespace orv
