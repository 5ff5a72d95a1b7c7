#pragma once
// The bounded queue of native log lines that the interface drains. Any thread
// may push or pop; one mutex serialises them. Lengths and cuts are worked out
// before the lock is taken, so the lock covers only bounded memcpy calls.
// Portable: no Windows header.

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace orv {

class KernelLogRing {
 public:
  static constexpr size_t kEntries = 256;
  static constexpr size_t kLevelBytes = 32;
  static constexpr size_t kMessageBytes = 8192;

  // Null level is "INFO", null message is empty. Dropped (and counted) when
  // full; ignored entirely while disabled. Over-long texts are cut at a whole
  // UTF-8 character; a cut message ends in " [truncated]".
  void Push(const char* level, const char* message);

  // Disabling empties the queue and forgets the dropped count.
  void Enable(bool enabled);

  // Copies the oldest entry (or, once empty, one report of the drops) into the
  // buffers, each cut to its capacity at a whole UTF-8 character. True if
  // something was written.
  [[nodiscard]] bool Pop(char* levelOut, int levelCapacity, char* messageOut, int messageCapacity);

 private:
  struct Entry {
    std::uint16_t levelLength;
    std::uint16_t messageLength;
    char level[kLevelBytes];
    char message[kMessageBytes];
  };

  std::mutex mutex_;
  bool enabled_ = false;
  size_t head_ = 0;
  size_t count_ = 0;
  std::uint64_t dropped_ = 0;
  Entry ring_[kEntries] = {};
};

// The longest prefix of `text` (`length` bytes) that fits in `limit` bytes
// without splitting a UTF-8 character. Bytes that are not UTF-8 are cut as
// they come.
size_t Utf8PrefixLength(const char* text, size_t length, size_t limit);

}  // namespace orv
