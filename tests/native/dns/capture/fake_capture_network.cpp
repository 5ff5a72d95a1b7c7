#include "tests/native/dns/capture/fake_capture_network.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace orv::test {

namespace {

thread_local int lastError = 0;

int Fail(int error) {
  lastError = error;
  return SOCKET_ERROR;
}

}  // namespace

FakeCaptureNetwork& FakeCaptureNetwork::Instance() {
  static FakeCaptureNetwork network;
  return network;
}

dns::DnsCapturePlatform FakeCaptureNetwork::Platform(std::chrono::milliseconds deadline) const {
  dns::DnsCapturePlatform p;
  p.WSAStartup = &Startup;
  p.WSACleanup = &Cleanup;
  p.WSASocketW = &Socket;
  p.bind = &Bind;
  p.WSAIoctl = &Ioctl;
  p.WSACreateEvent = &NewEvent;
  p.WSAEventSelect = &EventSelect;
  p.WSAEnumNetworkEvents = &EnumNetworkEvents;
  p.recv = &Receive;
  p.closesocket = &CloseSocket;
  p.WSACloseEvent = &CloseEvent;
  p.WSAGetLastError = &LastError;
  p.GetUnicastIpAddressTable = &AddressTable;
  p.GetIfEntry2 = &InterfaceEntry;
  p.FreeMibTable = &FreeTable;
  p.captureDeadline = deadline;
  return p;
}

void FakeCaptureNetwork::Reset() {
  std::lock_guard lock(mutex_);
  interfaces_.clear();
  addressTableError_ = interfaceReadError_ = 0;
  failingStep_ = ArmingStep::kNone;
  armingError_ = startupError_ = receiveError_ = enumerationError_ = 0;
  closeEachArming_ = throwOnReceive_ = closePending_ = false;
  datagrams_.clear();
  armedEvent_ = WSA_INVALID_EVENT;
  lastArming_ = {};
  socketAttemptTimes_.clear();
  socketAttempts_ = armings_ = openSockets_ = openEvents_ = openTables_ = 0;
  startups_ = cleanups_ = receives_ = lookups_ = 0;
}

void FakeCaptureNetwork::SetInterfaces(std::vector<FakeInterface> interfaces) {
  std::lock_guard lock(mutex_);
  interfaces_ = std::move(interfaces);
}

void FakeCaptureNetwork::FailAddressTable(DWORD error) {
  std::lock_guard lock(mutex_);
  addressTableError_ = error;
}

void FakeCaptureNetwork::FailInterfaceRead(DWORD error) {
  std::lock_guard lock(mutex_);
  interfaceReadError_ = error;
}

void FakeCaptureNetwork::FailArming(ArmingStep step, int error) {
  std::lock_guard lock(mutex_);
  failingStep_ = step;
  armingError_ = error;
}

void FakeCaptureNetwork::FailStartup(int error) {
  std::lock_guard lock(mutex_);
  startupError_ = error;
}

void FakeCaptureNetwork::CloseEachArming() {
  std::lock_guard lock(mutex_);
  closeEachArming_ = true;
}

void FakeCaptureNetwork::QueueDatagrams(const std::vector<std::vector<std::uint8_t>>& datagrams) {
  std::lock_guard lock(mutex_);
  datagrams_.insert(datagrams_.end(), datagrams.begin(), datagrams.end());
  SignalIfPending();
}

void FakeCaptureNetwork::FailNextReceive(int error) {
  std::lock_guard lock(mutex_);
  receiveError_ = error;
  SignalIfPending();
}

void FakeCaptureNetwork::DeliverClose() {
  std::lock_guard lock(mutex_);
  closePending_ = true;
  SignalIfPending();
}

void FakeCaptureNetwork::FailEventEnumeration(int error) {
  std::lock_guard lock(mutex_);
  enumerationError_ = error;
  SignalIfPending();
}

void FakeCaptureNetwork::ThrowOnReceive() {
  std::lock_guard lock(mutex_);
  throwOnReceive_ = true;
  SignalIfPending();
}

bool FakeCaptureNetwork::WaitUntil(const std::function<bool(const FakeCaptureNetwork&)>& done,
                                   std::chrono::milliseconds timeout) const {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!done(*this)) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<std::chrono::steady_clock::time_point> FakeCaptureNetwork::socketAttemptTimes() const {
  std::lock_guard lock(mutex_);
  return socketAttemptTimes_;
}

FakeCaptureNetwork::ArmingRequest FakeCaptureNetwork::lastArming() const {
  std::lock_guard lock(mutex_);
  return lastArming_;
}

// Called with the lock held: something is ready for the armed socket.
void FakeCaptureNetwork::SignalIfPending() {
  if (armedEvent_ == WSA_INVALID_EVENT) return;
  if (!datagrams_.empty() || receiveError_ != 0 || closePending_ || enumerationError_ != 0 || throwOnReceive_) {
    ::SetEvent(armedEvent_);
  }
}

bool FakeCaptureNetwork::FailsAt(ArmingStep step) {
  if (failingStep_ != step) return false;
  lastError = armingError_;
  return true;
}

int WSAAPI FakeCaptureNetwork::Startup(WORD version, LPWSADATA data) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  if (n.startupError_ != 0) return n.startupError_;
  ++n.startups_;
  std::memset(data, 0, sizeof(*data));
  data->wVersion = version;
  return 0;
}

int WSAAPI FakeCaptureNetwork::Cleanup() {
  ++Instance().cleanups_;
  return 0;
}

SOCKET WSAAPI FakeCaptureNetwork::Socket(int family, int type, int protocol, LPWSAPROTOCOL_INFOW, GROUP,
                                         DWORD flags) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  ++n.socketAttempts_;
  n.socketAttemptTimes_.push_back(std::chrono::steady_clock::now());
  n.lastArming_ = {};
  n.lastArming_.family = family;
  n.lastArming_.type = type;
  n.lastArming_.protocol = protocol;
  n.lastArming_.flags = flags;
  if (n.FailsAt(ArmingStep::kSocket)) return INVALID_SOCKET;
  ++n.openSockets_;
  return n.nextSocket_++;
}

int WSAAPI FakeCaptureNetwork::Bind(SOCKET, const sockaddr* address, int length) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  if (length == sizeof(sockaddr_in) && address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(n.lastArming_.boundAddress.data(), &in->sin_addr, 4);
    n.lastArming_.boundPort = ntohs(in->sin_port);
  }
  return n.FailsAt(ArmingStep::kBind) ? SOCKET_ERROR : 0;
}

int WSAAPI FakeCaptureNetwork::Ioctl(SOCKET, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD,
                                     LPDWORD, LPWSAOVERLAPPED, LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  n.lastArming_.ioctlCode = code;
  n.lastArming_.ioctlInputSize = inputSize;
  if (input != nullptr && inputSize == sizeof(DWORD)) std::memcpy(&n.lastArming_.ioctlInput, input, sizeof(DWORD));
  n.lastArming_.ioctlOutput = output != nullptr;
  return n.FailsAt(ArmingStep::kIoctl) ? SOCKET_ERROR : 0;
}

WSAEVENT WSAAPI FakeCaptureNetwork::NewEvent() {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  if (n.FailsAt(ArmingStep::kCreateEvent)) return WSA_INVALID_EVENT;
  WSAEVENT event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event != nullptr) ++n.openEvents_;
  return event;
}

int WSAAPI FakeCaptureNetwork::EventSelect(SOCKET, WSAEVENT event, long mask) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  n.lastArming_.eventMask = mask;
  if (n.FailsAt(ArmingStep::kEventSelect)) return SOCKET_ERROR;
  n.armedEvent_ = event;
  ++n.armings_;
  if (n.closeEachArming_) n.closePending_ = true;
  n.SignalIfPending();
  return 0;
}

int WSAAPI FakeCaptureNetwork::EnumNetworkEvents(SOCKET, WSAEVENT event, LPWSANETWORKEVENTS events) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  ::ResetEvent(event);
  if (n.enumerationError_ != 0) {
    const int error = n.enumerationError_;
    n.enumerationError_ = 0;
    return Fail(error);
  }
  std::memset(events, 0, sizeof(*events));
  if (!n.datagrams_.empty() || n.receiveError_ != 0 || n.throwOnReceive_) events->lNetworkEvents |= FD_READ;
  if (n.closePending_) events->lNetworkEvents |= FD_CLOSE;
  n.closePending_ = false;
  return 0;
}

int WSAAPI FakeCaptureNetwork::Receive(SOCKET, char* buffer, int length, int) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  ++n.receives_;
  if (n.throwOnReceive_) {
    n.throwOnReceive_ = false;
    throw std::runtime_error("receive failed");
  }
  if (n.datagrams_.empty()) {
    if (n.receiveError_ == 0) return Fail(WSAEWOULDBLOCK);
    const int error = n.receiveError_;
    n.receiveError_ = 0;
    return Fail(error);
  }
  const std::vector<std::uint8_t> datagram = std::move(n.datagrams_.front());
  n.datagrams_.pop_front();
  const int size = static_cast<int>(datagram.size()) < length ? static_cast<int>(datagram.size()) : length;
  std::memcpy(buffer, datagram.data(), static_cast<std::size_t>(size));
  // A receive re-enables the readiness notification while data is left.
  n.SignalIfPending();
  return size;
}

int WSAAPI FakeCaptureNetwork::CloseSocket(SOCKET) {
  --Instance().openSockets_;
  return 0;
}

BOOL WSAAPI FakeCaptureNetwork::CloseEvent(WSAEVENT event) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  if (n.armedEvent_ == event) n.armedEvent_ = WSA_INVALID_EVENT;
  --n.openEvents_;
  return ::CloseHandle(event);
}

int WSAAPI FakeCaptureNetwork::LastError() { return lastError; }

DWORD WINAPI FakeCaptureNetwork::AddressTable(ADDRESS_FAMILY, PMIB_UNICASTIPADDRESS_TABLE* table) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  ++n.lookups_;
  *table = nullptr;
  if (n.addressTableError_ != 0) return n.addressTableError_;
  const std::size_t rows = n.interfaces_.size();
  const std::size_t size =
      offsetof(MIB_UNICASTIPADDRESS_TABLE, Table) + (rows == 0 ? 1 : rows) * sizeof(MIB_UNICASTIPADDRESS_ROW);
  auto* result = static_cast<MIB_UNICASTIPADDRESS_TABLE*>(std::calloc(1, size));
  if (result == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  result->NumEntries = static_cast<ULONG>(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    const FakeInterface& source = n.interfaces_[i];
    MIB_UNICASTIPADDRESS_ROW& row = result->Table[i];
    row.Address.si_family = source.family;
    if (source.family == AF_INET) std::memcpy(&row.Address.Ipv4.sin_addr, source.address.data(), 4);
    else std::memcpy(&row.Address.Ipv6.sin6_addr, source.address.data(), 4);
    row.InterfaceLuid.Value = source.luid;
    row.InterfaceIndex = source.index;
  }
  ++n.openTables_;
  *table = result;
  return NO_ERROR;
}

DWORD WINAPI FakeCaptureNetwork::InterfaceEntry(PMIB_IF_ROW2 row) {
  auto& n = Instance();
  std::lock_guard lock(n.mutex_);
  if (n.interfaceReadError_ != 0) return n.interfaceReadError_;
  for (const FakeInterface& source : n.interfaces_) {
    if (source.luid != row->InterfaceLuid.Value) continue;
    row->InterfaceIndex = source.index;
    const std::size_t room = sizeof(row->Alias) / sizeof(row->Alias[0]);
    const std::size_t length = source.alias.size() < room ? source.alias.size() : room;
    std::memcpy(row->Alias, source.alias.data(), length * sizeof(wchar_t));
    if (length < room) row->Alias[length] = L'\0';
    return NO_ERROR;
  }
  return ERROR_FILE_NOT_FOUND;
}

VOID WINAPI FakeCaptureNetwork::FreeTable(PVOID table) {
  --Instance().openTables_;
  std::free(table);
}

}  // namespace orv::test
