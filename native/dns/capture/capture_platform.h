#pragma once
// The socket and interface-table calls of the adapter packet capture, as one
// table. Production code uses Production(): the socket calls imported, the
// interface tables from iphlpapi.dll loaded from the system folder. Tests hand
// in a fake adapter and a fake raw socket, since a test machine's emulation
// has neither raw sockets nor the accelerator's adapter. The stop event, the
// waits and the clocks are always the real ones.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <iphlpapi.h>
#include <netioapi.h>

#include <chrono>

namespace orv::dns {

struct DnsCapturePlatform {
  decltype(&::WSAStartup) WSAStartup = ::WSAStartup;
  decltype(&::WSACleanup) WSACleanup = ::WSACleanup;
  decltype(&::WSASocketW) WSASocketW = ::WSASocketW;
  decltype(&::bind) bind = ::bind;
  decltype(&::WSAIoctl) WSAIoctl = ::WSAIoctl;
  decltype(&::WSACreateEvent) WSACreateEvent = ::WSACreateEvent;
  decltype(&::WSAEventSelect) WSAEventSelect = ::WSAEventSelect;
  decltype(&::WSAEnumNetworkEvents) WSAEnumNetworkEvents = ::WSAEnumNetworkEvents;
  decltype(&::recv) recv = ::recv;
  decltype(&::closesocket) closesocket = ::closesocket;
  decltype(&::WSACloseEvent) WSACloseEvent = ::WSACloseEvent;
  decltype(&::WSAGetLastError) WSAGetLastError = ::WSAGetLastError;
  decltype(&::GetUnicastIpAddressTable) GetUnicastIpAddressTable = nullptr;
  decltype(&::GetIfEntry2) GetIfEntry2 = nullptr;
  decltype(&::FreeMibTable) FreeMibTable = nullptr;

  // How long one capture may run at most.
  std::chrono::nanoseconds captureDeadline = std::chrono::seconds(45);

  // The real functions and the real deadline. Without iphlpapi.dll the
  // interface tables answer ERROR_PROC_NOT_FOUND, so no adapter is found.
  static const DnsCapturePlatform& Production() noexcept;
};

}  // namespace orv::dns
