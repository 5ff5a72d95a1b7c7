#pragma once
// The accelerator's adapter and a raw socket on it, for capture tests: an
// interface table the test edits, socket calls that fail on request, and a
// datagram queue that signals the socket's real event the way a readiness
// notification would. It counts what is opened and closed. One instance per
// process, reset by each test.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "native/dns/capture/capture_platform.h"

namespace orv::test {

struct FakeInterface {
  std::array<std::uint8_t, 4> address = {172, 19, 0, 1};
  std::uint64_t luid = 0x0006000001000000ULL;
  std::uint32_t index = 7;
  std::wstring alias = L"Orv-net";
  ADDRESS_FAMILY family = AF_INET;
};

// Where an arming can be made to fail.
enum class ArmingStep { kNone, kSocket, kBind, kIoctl, kCreateEvent, kEventSelect };

class FakeCaptureNetwork {
 public:
  static FakeCaptureNetwork& Instance();

  // Every call answered by this network, with the given capture deadline.
  dns::DnsCapturePlatform Platform(std::chrono::milliseconds deadline = std::chrono::seconds(30)) const;
  void Reset();

  // The unicast address table (the interface entries follow the same list).
  void SetInterfaces(std::vector<FakeInterface> interfaces);
  void FailAddressTable(DWORD error);
  void FailInterfaceRead(DWORD error);

  void FailArming(ArmingStep step, int error);
  void FailStartup(int error);
  // Every arming is followed at once by a close notification.
  void CloseEachArming();

  void QueueDatagrams(const std::vector<std::vector<std::uint8_t>>& datagrams);
  // The next recv fails with this error (after the queued datagrams, if any).
  void FailNextReceive(int error);
  void DeliverClose();
  void FailEventEnumeration(int error);
  // The next recv throws.
  void ThrowOnReceive();

  // Polls until the predicate holds or the time is up.
  bool WaitUntil(const std::function<bool(const FakeCaptureNetwork&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  int socketAttempts() const { return socketAttempts_; }
  int armings() const { return armings_; }
  int openSockets() const { return openSockets_; }
  int openEvents() const { return openEvents_; }
  int openTables() const { return openTables_; }
  int startups() const { return startups_; }
  int cleanups() const { return cleanups_; }
  int receives() const { return receives_; }
  int lookups() const { return lookups_; }
  std::vector<std::chrono::steady_clock::time_point> socketAttemptTimes() const;

  // What the last arming asked for.
  struct ArmingRequest {
    int family = 0, type = 0, protocol = 0;
    DWORD flags = 0;
    std::array<std::uint8_t, 4> boundAddress = {};
    std::uint16_t boundPort = 0xFFFF;
    DWORD ioctlCode = 0, ioctlInput = 0, ioctlInputSize = 0;
    bool ioctlOutput = true;
    long eventMask = 0;
  };
  ArmingRequest lastArming() const;

 private:
  FakeCaptureNetwork() = default;

  static int WSAAPI Startup(WORD version, LPWSADATA data);
  static int WSAAPI Cleanup();
  static SOCKET WSAAPI Socket(int family, int type, int protocol, LPWSAPROTOCOL_INFOW info, GROUP group, DWORD flags);
  static int WSAAPI Bind(SOCKET socket, const sockaddr* address, int length);
  static int WSAAPI Ioctl(SOCKET socket, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                          LPDWORD returned, LPWSAOVERLAPPED overlapped,
                          LPWSAOVERLAPPED_COMPLETION_ROUTINE completion);
  static WSAEVENT WSAAPI NewEvent();
  static int WSAAPI EventSelect(SOCKET socket, WSAEVENT event, long mask);
  static int WSAAPI EnumNetworkEvents(SOCKET socket, WSAEVENT event, LPWSANETWORKEVENTS events);
  static int WSAAPI Receive(SOCKET socket, char* buffer, int length, int flags);
  static int WSAAPI CloseSocket(SOCKET socket);
  static BOOL WSAAPI CloseEvent(WSAEVENT event);
  static int WSAAPI LastError();
  static DWORD WINAPI AddressTable(ADDRESS_FAMILY family, PMIB_UNICASTIPADDRESS_TABLE* table);
  static DWORD WINAPI InterfaceEntry(PMIB_IF_ROW2 row);
  static VOID WINAPI FreeTable(PVOID table);

  bool FailsAt(ArmingStep step);
  void SignalIfPending();

  mutable std::mutex mutex_;
  std::vector<FakeInterface> interfaces_;
  DWORD addressTableError_ = 0;
  DWORD interfaceReadError_ = 0;
  ArmingStep failingStep_ = ArmingStep::kNone;
  int armingError_ = 0;
  int startupError_ = 0;
  bool closeEachArming_ = false;
  std::deque<std::vector<std::uint8_t>> datagrams_;
  int receiveError_ = 0;
  int enumerationError_ = 0;
  bool throwOnReceive_ = false;
  bool closePending_ = false;
  WSAEVENT armedEvent_ = WSA_INVALID_EVENT;
  ArmingRequest lastArming_;
  std::vector<std::chrono::steady_clock::time_point> socketAttemptTimes_;

  std::atomic<int> socketAttempts_{0};
  std::atomic<int> armings_{0};
  std::atomic<int> openSockets_{0};
  std::atomic<int> openEvents_{0};
  std::atomic<int> openTables_{0};
  std::atomic<int> startups_{0};
  std::atomic<int> cleanups_{0};
  std::atomic<int> receives_{0};
  std::atomic<int> lookups_{0};
  SOCKET nextSocket_ = 100;
};

}  // namespace orv::test
