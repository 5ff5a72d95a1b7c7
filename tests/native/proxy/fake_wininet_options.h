#pragma once
// Test support: per-connection proxy options kept the way Windows documents
// them (flags, server, bypass and auto-config URL read back exactly as set,
// the settings-changed and refresh notifications succeed), with failures on
// request and a log of every call. The flags are answered twice, as the user
// chose them and as in effect; the two differ only after a failed automatic
// detection, until the next set.

#include <windows.h>

#include <mutex>
#include <vector>

#include "native/proxy/proxy_platform.h"
#include "native/proxy/proxy_values.h"

namespace orv::proxy::test {

// Stand-in for INTERNET_OPTION_PER_CONNECTION_OPTION queries in the call log.
inline constexpr DWORD kQueryCall = 0x10000 | INTERNET_OPTION_PER_CONNECTION_OPTION;

struct OptionCall {
  DWORD threadId;
  DWORD option;  // kQueryCall, or the option set (75, 39, 37)
};

class FakeWinInetOptions {
 public:
  FakeWinInetOptions();
  ~FakeWinInetOptions();
  FakeWinInetOptions(const FakeWinInetOptions&) = delete;
  FakeWinInetOptions& operator=(const FakeWinInetOptions&) = delete;

  static PerConnectionOptionsApi Api();

  // The options with the flags as the user chose them.
  ProxyOptions options() const;
  void setOptions(const ProxyOptions& options);
  // What a query of the flags in effect answers.
  DWORD flagsInEffect() const;
  // WinINet's automatic detection found nothing: it drops the auto-detect bit
  // from the flags in effect; the user's flags keep it.
  void failAutoDetection();
  // A WinINet older than the user's flags refuses to be asked for them.
  void forgetUserFlags();

  // The `skip`-th next call of `option` (kQueryCall for a query) and only that
  // one fails with `error` (0: fails without setting an error). A failed query
  // of the user's flags fails the fallback query after it the same way.
  void failCall(DWORD option, DWORD error, int skip = 0);
  // Sets succeed but change nothing, as if another program put its own back.
  void ignoreWrites(bool ignore);
  // Sets also write the Internet Settings values, as WinINet does on Windows.
  void mirrorToRegistry(bool mirror);
  // Each call waits this long, widening any window for interleaving.
  void delayCalls(DWORD ms);

  std::vector<OptionCall> calls() const;
  std::size_t setCount() const;  // calls that set something (75, 39 or 37)
  void clearCalls();

 private:
  struct Failure {
    DWORD option;
    DWORD error;
    int skip;
  };

  static BOOL WINAPI Query(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length);
  static BOOL WINAPI Set(HINTERNET, DWORD option, LPVOID buffer, DWORD length);
  // Logs the call and waits the delay; returns holding the fake's lock.
  std::unique_lock<std::mutex> Enter(DWORD option);
  bool Fails(DWORD option, DWORD& error);
  DWORD InEffect() const;  // under the lock

  mutable std::mutex mutex_;
  ProxyOptions options_;
  std::vector<Failure> failures_;
  std::vector<OptionCall> calls_;
  bool detectionFailed_ = false;
  bool knowsUserFlags_ = true;
  bool ignoreWrites_ = false;
  bool mirror_ = false;
  DWORD delayMs_ = 0;
};

}  // namespace orv::proxy::test
