#include "tests/native/dns/trace/fake_tdh.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace orv::test {

namespace {
std::atomic<int> badDescriptors{0};
std::atomic<int> lookups{0};
}  // namespace

struct FakeTdhCalls {
  static FakeProperty* Find(PEVENT_RECORD record, ULONG count, PPROPERTY_DATA_DESCRIPTOR descriptor) {
    ++lookups;
    if (count != 1 || descriptor == nullptr || descriptor->ArrayIndex != ULONG_MAX) {
      ++badDescriptors;
      return nullptr;
    }
    auto* event = static_cast<FakeClientEvent*>(record->UserData);
    const auto* name = reinterpret_cast<const wchar_t*>(descriptor->PropertyName);
    auto found = event->properties_.find(name);
    return found == event->properties_.end() ? nullptr : &found->second;
  }

  static ULONG __stdcall Size(PEVENT_RECORD record, ULONG, PTDH_CONTEXT, ULONG count,
                              PPROPERTY_DATA_DESCRIPTOR descriptor, PULONG size) {
    FakeProperty* property = Find(record, count, descriptor);
    if (property == nullptr) return ERROR_NOT_FOUND;
    if (property->sizeResult != ERROR_SUCCESS) return property->sizeResult;
    *size = property->reportedSize;
    return ERROR_SUCCESS;
  }

  static ULONG __stdcall Read(PEVENT_RECORD record, ULONG, PTDH_CONTEXT, ULONG count,
                              PPROPERTY_DATA_DESCRIPTOR descriptor, ULONG bufferSize, PBYTE buffer) {
    FakeProperty* property = Find(record, count, descriptor);
    if (property == nullptr) return ERROR_NOT_FOUND;
    if (property->throwsOnRead) throw std::runtime_error("property read failed");
    if (property->readResult != ERROR_SUCCESS) return property->readResult;
    if (bufferSize < property->bytes.size()) return ERROR_INSUFFICIENT_BUFFER;
    if (!property->bytes.empty()) std::memcpy(buffer, property->bytes.data(), property->bytes.size());
    return ERROR_SUCCESS;
  }
};

FakeClientEvent::FakeClientEvent(USHORT id, const std::wstring& queryName) {
  record_.EventHeader.EventDescriptor.Id = id;
  record_.EventHeader.TimeStamp.QuadPart = static_cast<LONGLONG>(kEventFileTime);
  record_.EventHeader.ProcessId = kEventProcessId;
  record_.EventHeader.ProviderId = {0x1C95126E, 0x7EEA, 0x49A9, {0xA3, 0xFE, 0xA3, 0x78, 0xB0, 0x3D, 0xDB, 0x4D}};
  record_.UserData = this;
  Text(L"QueryName", queryName);
}

FakeClientEvent::FakeClientEvent(const FakeClientEvent& other)
    : record_(other.record_), properties_(other.properties_) {
  record_.UserData = this;
}

FakeClientEvent& FakeClientEvent::Text(const std::wstring& name, const std::wstring& value) {
  std::vector<BYTE> bytes((value.size() + 1) * sizeof(wchar_t));
  std::memcpy(bytes.data(), value.c_str(), bytes.size());
  return Bytes(name, std::move(bytes));
}

FakeClientEvent& FakeClientEvent::Number(const std::wstring& name, std::uint32_t value) {
  std::vector<BYTE> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return Bytes(name, std::move(bytes));
}

FakeClientEvent& FakeClientEvent::Bytes(const std::wstring& name, std::vector<BYTE> bytes) {
  FakeProperty& property = properties_[name];
  property.reportedSize = static_cast<ULONG>(bytes.size());
  property.bytes = std::move(bytes);
  return *this;
}

FakeClientEvent& FakeClientEvent::Remove(const std::wstring& name) {
  properties_.erase(name);
  return *this;
}

int FakeClientEvent::BadDescriptorCount() { return badDescriptors.load(); }

int FakeClientEvent::LookupCount() { return lookups.load(); }

dns::TdhApi FakeTdh() {
  dns::TdhApi api;
  api.TdhGetPropertySize = &FakeTdhCalls::Size;
  api.TdhGetProperty = &FakeTdhCalls::Read;
  return api;
}

}  // namespace orv::test
