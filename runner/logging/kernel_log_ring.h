#pragma once
// The bounded queue of native log lines that the interface drains. Any thread
// may push or pop; one mutex serialises them and is held only while copying.
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
  // full; ignored entirely while disabled.
  void Push(const char* level, const char* message);

  // Disabling empties the queue and forgets the dropped count.
  void Enable(bool enabled);

  // Copies the oldest entry (or, once empty, one report of the drops) into the
  // buffers, each cut to its capacity. True if something was written.
  bool Pop(char* levelOut, int levelCapacity, char* messageOut, int messageCapacity);

 private:
  struct Entry {
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

}  // namespace orv
