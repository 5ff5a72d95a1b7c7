#include "native/dns/trace/event_properties.h"

#include <climits>

#include "native/common/system_library.h"

namespace orv::dns {

const TdhApi& TdhApi::System() noexcept {
  static const TdhApi real = [] {
    const SystemLibrary& tdh = KeptSystemLibrary<system_dll::kTdh>();
    TdhApi api;
    api.TdhGetPropertySize = tdh.FindOr<decltype(api.TdhGetPropertySize), ERROR_PROC_NOT_FOUND>("TdhGetPropertySize");
    api.TdhGetProperty = tdh.FindOr<decltype(api.TdhGetProperty), ERROR_PROC_NOT_FOUND>("TdhGetProperty");
    return api;
  }();
  return real;
}

namespace {

constexpr ULONG kMaxTextBytes = 512;

PROPERTY_DATA_DESCRIPTOR Descriptor(const wchar_t* name) {
  PROPERTY_DATA_DESCRIPTOR descriptor = {};
  descriptor.PropertyName = reinterpret_cast<ULONGLONG>(name);
  descriptor.ArrayIndex = ULONG_MAX;
  return descriptor;
}

// The size of the property, or 0 when it cannot be asked.
ULONG PropertySize(const TdhApi& tdh, const EVENT_RECORD& record, PROPERTY_DATA_DESCRIPTOR& descriptor) {
  ULONG size = 0;
  const ULONG result = tdh.TdhGetPropertySize(const_cast<EVENT_RECORD*>(&record), 0, nullptr, 1, &descriptor, &size);
  return result == ERROR_SUCCESS ? size : 0;
}

}  // namespace

std::optional<std::uint32_t> ReadNumberProperty(const TdhApi& tdh, const EVENT_RECORD& record, const wchar_t* name) {
  PROPERTY_DATA_DESCRIPTOR descriptor = Descriptor(name);
  const ULONG size = PropertySize(tdh, record, descriptor);
  if (size < 1 || size > 4) return std::nullopt;
  std::uint32_t value = 0;
  const ULONG result = tdh.TdhGetProperty(const_cast<EVENT_RECORD*>(&record), 0, nullptr, 1, &descriptor, sizeof value,
                                          reinterpret_cast<BYTE*>(&value));
  // A narrower value would be read with bytes the provider never wrote.
  if (result != ERROR_SUCCESS || size != 4) return std::nullopt;
  return value;
}

std::wstring ReadTextProperty(const TdhApi& tdh, const EVENT_RECORD& record, const wchar_t* name) {
  PROPERTY_DATA_DESCRIPTOR descriptor = Descriptor(name);
  const ULONG size = PropertySize(tdh, record, descriptor);
  if (size == 0 || size > kMaxTextBytes || size % 2 != 0) return {};
  wchar_t text[kMaxTextBytes / 2] = {};
  const ULONG result = tdh.TdhGetProperty(const_cast<EVENT_RECORD*>(&record), 0, nullptr, 1, &descriptor, size,
                                          reinterpret_cast<BYTE*>(text));
  if (result != ERROR_SUCCESS) return {};
  std::size_t length = 0;
  while (length < size / 2 && text[length] != L'\0') ++length;
  return std::wstring(text, length);
}

}  // namespace orv::dns
