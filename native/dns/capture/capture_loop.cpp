#include "native/dns/capture/capture_loop.h"

#include <mstcpip.h>

#include <chrono>
#include <cstdint>
#include <cstring>

#include "native/common/system_wall_clock.h"
#include "native/dns/capture/adapter_lookup.h"
#include "native/dns/capture/capture_packet.h"

namespace orv::dns {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kRearmPauseMs = 20;
constexpr DWORD kWaitSliceMs = 100;
constexpr std::chrono::milliseconds kAdapterCheckInterval{250};
// Bounds the time between looks at the stop event and the adapter while
// traffic keeps arriving.
constexpr int kReadsPerNotification = 64;
constexpr int kReceiveBufferSize = 65536;

// Errors that no amount of re-arming will mend: no right to a raw socket, or
// no raw sockets at all.
bool IsPermanentArmingError(int code) noexcept {
  return code == WSAEACCES || code == WSAEPROTONOSUPPORT || code == WSAEOPNOTSUPP;
}

bool Signalled(HANDLE event) noexcept { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// Balances a successful WSAStartup on every way out.
class WinsockSession {
 public:
  explicit WinsockSession(const DnsCapturePlatform& platform) noexcept : platform_(platform) {}
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  ~WinsockSession() { platform_.WSACleanup(); }

 private:
  const DnsCapturePlatform& platform_;
};

// The raw socket of one arming and its readiness event, closed through the
// table they came from.
class ArmedSocket {
 public:
  explicit ArmedSocket(const DnsCapturePlatform& platform) noexcept : platform_(platform) {}
  ArmedSocket(const ArmedSocket&) = delete;
  ArmedSocket& operator=(const ArmedSocket&) = delete;
  ~ArmedSocket() {
    if (socket_ != INVALID_SOCKET) platform_.closesocket(socket_);
    if (event_ != WSA_INVALID_EVENT) platform_.WSACloseEvent(event_);
  }

  SOCKET socket() const noexcept { return socket_; }
  WSAEVENT event() const noexcept { return event_; }

  // False when a step fails; WSAGetLastError() then tells why.
  bool Arm() noexcept {
    socket_ = platform_.WSASocketW(AF_INET, SOCK_RAW, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket_ == INVALID_SOCKET) return false;

    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    std::memcpy(&local.sin_addr, kAcceleratorAdapterAddress, sizeof(kAcceleratorAdapterAddress));
    if (platform_.bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == SOCKET_ERROR) {
      return false;
    }

    DWORD mode = RCVALL_IPLEVEL;
    DWORD returned = 0;
    if (platform_.WSAIoctl(socket_, SIO_RCVALL, &mode, sizeof(mode), nullptr, 0, &returned, nullptr, nullptr) ==
        SOCKET_ERROR) {
      return false;
    }

    event_ = platform_.WSACreateEvent();
    if (event_ == WSA_INVALID_EVENT) return false;
    return platform_.WSAEventSelect(socket_, event_, FD_READ | FD_CLOSE) != SOCKET_ERROR;
  }

 private:
  const DnsCapturePlatform& platform_;
  SOCKET socket_ = INVALID_SOCKET;
  WSAEVENT event_ = WSA_INVALID_EVENT;
};

class CaptureRun {
 public:
  CaptureRun(const DnsCapturePlatform& platform, CaptureRecord& record, HANDLE stopEvent, std::uint8_t* buffer)
      : platform_(platform), record_(record), stop_(stopEvent), buffer_(buffer) {}

  void Run() {
    WSADATA data = {};
    const int started = platform_.WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0) {
      record_.RecordError(static_cast<std::uint32_t>(started));
      return;
    }
    WinsockSession session(platform_);
    deadline_ = Clock::now() + platform_.captureDeadline;

    while (!Signalled(stop_)) {
      if (Clock::now() >= deadline_) break;
      const AdapterLookup adapter = LookupAcceleratorAdapter(platform_);
      record_.RecordError(adapter.error);
      if (adapter.found && !ArmAndReceive(adapter)) break;
      // Stopped: expired stays false.
      if (::WaitForSingleObject(stop_, kRearmPauseMs) == WAIT_OBJECT_0) return;
    }
    record_.SetExpired(!Signalled(stop_) && Clock::now() >= deadline_);
  }

 private:
  // False when the capture must end for good.
  bool ArmAndReceive(const AdapterLookup& adapter) {
    ArmedSocket armed(platform_);
    if (!armed.Arm()) {
      const int code = platform_.WSAGetLastError();
      record_.RecordError(static_cast<std::uint32_t>(code));
      return !IsPermanentArmingError(code);
    }
    if (!record_.OpenWindow(adapter.interfaceIndex, SystemWallClockUs())) return false;
    Receive(armed, adapter);
    record_.EndOpenWindow(SystemWallClockUs());
    return true;
  }

  // One window: returns when it ends.
  void Receive(const ArmedSocket& armed, const AdapterLookup& adapter) {
    Clock::time_point nextAdapterCheck = Clock::now();
    while (Clock::now() < deadline_) {
      const HANDLE handles[2] = {stop_, armed.event()};
      const DWORD waited = ::WaitForMultipleObjects(2, handles, FALSE, kWaitSliceMs);
      if (waited == WAIT_OBJECT_0) return;
      if (waited == WAIT_FAILED) {
        record_.RecordError(::GetLastError());
        return;
      }
      if (waited == WAIT_OBJECT_0 + 1 && !HandleNetworkEvents(armed, adapter.interfaceIndex)) return;

      if (Clock::now() >= nextAdapterCheck) {
        const AdapterLookup current = LookupAcceleratorAdapter(platform_);
        record_.RecordError(current.error);
        if (!current.found || current.luid != adapter.luid || current.interfaceIndex != adapter.interfaceIndex) {
          return;
        }
        nextAdapterCheck = Clock::now() + kAdapterCheckInterval;
      }
    }
  }

  // False when the window must end.
  bool HandleNetworkEvents(const ArmedSocket& armed, std::uint32_t interfaceIndex) {
    WSANETWORKEVENTS events = {};
    if (platform_.WSAEnumNetworkEvents(armed.socket(), armed.event(), &events) == SOCKET_ERROR) {
      record_.RecordError(static_cast<std::uint32_t>(platform_.WSAGetLastError()));
      return false;
    }
    if ((events.lNetworkEvents & FD_READ) != 0 && !ReadDatagrams(armed.socket(), interfaceIndex)) return false;
    return (events.lNetworkEvents & FD_CLOSE) == 0;
  }

  bool ReadDatagrams(SOCKET socket, std::uint32_t interfaceIndex) {
    for (int i = 0; i < kReadsPerNotification; ++i) {
      const int received = platform_.recv(socket, reinterpret_cast<char*>(buffer_), kReceiveBufferSize, 0);
      if (received == SOCKET_ERROR) {
        const int code = platform_.WSAGetLastError();
        if (code == WSAEWOULDBLOCK) return true;
        record_.RecordError(static_cast<std::uint32_t>(code));
        return false;
      }
      if (received == 0) return true;
      ParseCapturedPacket(record_, buffer_, static_cast<std::size_t>(received), interfaceIndex, SystemWallClockUs());
    }
    return true;
  }

  const DnsCapturePlatform& platform_;
  CaptureRecord& record_;
  HANDLE stop_;
  std::uint8_t* buffer_;
  Clock::time_point deadline_{};
};

}  // namespace

void RunCaptureLoop(const DnsCapturePlatform& platform, CaptureRecord& record, HANDLE stopEvent) noexcept {
  try {
    std::uint8_t buffer[kReceiveBufferSize];
    CaptureRun(platform, record, stopEvent, buffer).Run();
  } catch (...) {
    record.RecordError(ERROR_NOT_ENOUGH_MEMORY);
    record.EndOpenWindow(SystemWallClockUs());
  }
}

}  // namespace orv::dns
