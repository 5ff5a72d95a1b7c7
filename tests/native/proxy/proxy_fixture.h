#pragma once
// Test support: a proxy store on the fake options and on a private hive of the
// real registry, installed as HKEY_CURRENT_USER the way the user-context
// capture installs the user's hive. The test process's own token stands in
// for the interactive user's.

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <vector>

#include "native/common/unique_resource.h"
#include "native/proxy/proxy_state.h"
#include "native/proxy/proxy_store.h"
#include "native/proxy/proxy_values.h"
#include "tests/native/proxy/fake_wininet_options.h"

namespace orv::proxy {
// Readable failure messages for the values the proxy tests compare.
void PrintTo(const ProxyOptions& options, std::ostream* out);
void PrintTo(const RawValue& value, std::ostream* out);
void PrintTo(const ProxySnapshot& snapshot, std::ostream* out);
}  // namespace orv::proxy

namespace orv::proxy::test {

// The test process's token, opened the way the capture opens the user's.
HANDLE TestUserToken() noexcept;
HANDLE NoUserToken() noexcept;

RawValue Sz(const ProxyText& text);

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Raw values in the private hive, written and read around the store.
  void WriteRaw(std::size_t slot, const RawValue& value);
  RawValue ReadRaw(std::size_t slot);
  RawSlots ReadAllRaw();
  void WriteAllRaw(const RawSlots& slots);
  void DeleteInternetSettingsKey();

  // The user's settings as the fake and the hive hold them now.
  ProxySnapshot Settings();
  void SetSettings(const ProxySnapshot& settings);

  ProxyPlatform& platform();
  ProxyStore store() { return ProxyStore(platform()); }

  // Stand-ins for kilna.exe processes of the same user: each has its own
  // in-memory proxy state and its own journal owner; a process is running
  // while it has a state here. Exports called directly run as process 1
  // (then never As(1, ...)).
  template <typename Call>
  DWORD As(int process, Call&& call) {
    const int caller = current_;
    SwapState(process);
    current_ = process;
    const DWORD result = call();
    current_ = caller;
    SwapState(process);
    return result;
  }
  void Start(int process) { processes_[process]; }
  void Kill(int process) { processes_.erase(process); }

  FakeWinInetOptions fake_;
  std::map<int, ProxyState> processes_;
  int current_ = 1;

 private:
  void SwapState(int process);

  UniqueRegKey hive_;
};

// The journal's bytes as stored, or none; written back as they were.
std::optional<std::vector<std::uint8_t>> ReadJournalBytes();
void WriteJournalBytes(const std::optional<std::vector<std::uint8_t>>& bytes);
inline bool JournalLeft() { return ReadJournalBytes().has_value(); }

// A user with a manual proxy and an auto-config URL, options and raw values agreeing.
ProxySnapshot UserProxyAndPac();
// What a cleanup leaves of it: both off, the server and bypass kept.
ProxySnapshot CleanedProxyAndPac();

}  // namespace orv::proxy::test
