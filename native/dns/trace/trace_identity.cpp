#include "native/dns/trace/trace_identity.h"

#include <vector>

namespace orv::dns {

namespace {

constexpr std::uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001B3ULL;
constexpr DWORD kModulePathCapacity = 32768;
}  // namespace

std::uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t Fnv1a64(std::wstring_view units) {
  std::uint64_t hash = kFnvOffsetBasis;
  for (const wchar_t unit : units) {
    hash ^= static_cast<std::uint16_t>(unit);
    hash *= kFnvPrime;
  }
  return hash;
}

std::uint64_t ExecutableHash() {
  std::vector<wchar_t> path(kModulePathCapacity);
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), kModulePathCapacity);
  // A path that fills the buffer may have been cut short.
  if (length == 0 || length >= kModulePathCapacity) return 0;
  std::vector<wchar_t> lower(kModulePathCapacity);
  const int lowered = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, path.data(), static_cast<int>(length),
                                      lower.data(), static_cast<int>(kModulePathCapacity), nullptr, nullptr, 0);
  if (lowered != static_cast<int>(length)) return 0;
  return Fnv1a64(std::wstring_view(lower.data(), length));
}

USHORT SessionGuidData2(std::uint64_t hash) { return static_cast<USHORT>((hash & 0xFFFF) ^ 0xCAFA); }

USHORT SessionGuidData3(std::uint64_t hash) { return static_cast<USHORT>(((hash >> 32) & 0xFFFF) ^ 0x79C0); }

GUID SessionGuid(DWORD processId, std::uint64_t hash, std::uint64_t creationTime) {
  GUID guid = {};
  guid.Data1 = processId;
  guid.Data2 = SessionGuidData2(hash);
  guid.Data3 = SessionGuidData3(hash);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(creationTime >> (8 * i));
  return guid;
}

std::uint64_t SessionGuidCreationTime(const GUID& guid) {
  std::uint64_t time = 0;
  for (int i = 0; i < 8; ++i) time |= static_cast<std::uint64_t>(guid.Data4[i]) << (8 * i);
  return time;
}

std::wstring SessionName(std::uint64_t hash) { return L"OrvDnsTrace-v1-" + std::to_wstring(hash); }

DWORD OwnSessionIdentity(SessionIdentity& identity) {
  identity.hash = ExecutableHash();
  if (identity.hash == 0) return ERROR_INVALID_DATA;
  FILETIME creation = {}, exit = {}, kernel = {}, user = {};
  if (!::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user)) return ERROR_INVALID_DATA;
  identity.sessionName = SessionName(identity.hash);
  identity.mutexName = L"Global\\" + identity.sessionName;
  identity.guid = SessionGuid(::GetCurrentProcessId(), identity.hash, FileTimeValue(creation));
  return ERROR_SUCCESS;
}

}  // namespace orv::dns
