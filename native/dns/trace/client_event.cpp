#include "native/dns/trace/client_event.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "native/common/diagnostic_json.h"
#include "native/common/guid_text.h"
#include "native/common/wall_clock.h"
#include "native/dns/capture/traced_name.h"
#include "native/dns/trace/canonical_address.h"
#include "native/dns/trace/event_properties.h"

namespace orv::dns {

namespace {

constexpr int kMaxTextFieldBytes = 512;

void AppendNumberField(std::string& out, std::string_view key, std::optional<std::uint32_t> value) {
  if (value) AppendUnsignedMember(out, key, *value);
}

// Left out when empty, too long, or not valid UTF-16.
void AppendTextField(std::string& out, std::string_view key, std::wstring_view text) {
  if (text.empty() || text.size() > kMaxTextFieldUnits) return;
  char bytes[kMaxTextFieldBytes];
  const int length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                           bytes, kMaxTextFieldBytes, nullptr, nullptr);
  if (length <= 0) return;
  AppendStringMember(out, key, std::string_view(bytes, static_cast<std::size_t>(length)));
}

bool IsKeptId(USHORT id) {
  return std::find(std::begin(kClientEventIds), std::end(kClientEventIds), id) != std::end(kClientEventIds);
}

bool IsZero(const GUID& guid) {
  static constexpr GUID kZero = {};
  return ::IsEqualGUID(guid, kZero) != 0;
}

class EventObject {
 public:
  EventObject(const TdhApi& tdh, const EVENT_RECORD& record) : tdh_(tdh), record_(record) {}

  std::string Build(std::optional<std::uint32_t> clientPid, const std::wstring& server) {
    const EVENT_HEADER& header = record_.EventHeader;
    const USHORT id = header.EventDescriptor.Id;
    json_.append("{\"id\":").append(std::to_string(id));
    json_.append(",\"timeUs\":")
        .append(std::to_string((static_cast<std::uint64_t>(header.TimeStamp.QuadPart) - kFileTimeOf1970) / 10));
    AppendNumberField(json_, "clientPid", clientPid);
    AppendUnsignedMember(json_, "processId", header.ProcessId);
    if (!IsZero(header.ActivityId)) {
      const std::string activity = GuidText(header.ActivityId);
      if (!activity.empty()) AppendStringMember(json_, "activity", activity);
    }
    switch (id) {
      case 3009:
        Number("interfaceCount", L"InterfaceCount");
        Number("networkIndex", L"NetworkIndex");
        AppendTextField(json_, "adapter", Text(L"AdapterName"));
        AppendTextField(json_, "localAddress", CanonicalAddress(Text(L"LocalAddress")));
        AppendTextField(json_, "server", CanonicalAddress(Text(L"DNSServerAddress")));
        break;
      case 3010:
      case 3011:
        Number("queryType", L"QueryType");
        AppendTextField(json_, "server", server);
        if (id == 3011) Number("responseStatus", L"ResponseStatus");
        break;
      default:  // 3019, 3020
        Number("queryType", L"QueryType");
        Number("interfaceIndex", L"InterfaceIndex");
        Number("networkIndex", L"NetworkIndex");
        if (id == 3020) Number("responseStatus", L"Status");
        break;
    }
    json_.push_back('}');
    return std::move(json_);
  }

 private:
  void Number(std::string_view key, const wchar_t* property) {
    AppendNumberField(json_, key, ReadNumberProperty(tdh_, record_, property));
  }
  std::wstring Text(const wchar_t* property) { return ReadTextProperty(tdh_, record_, property); }

  const TdhApi& tdh_;
  const EVENT_RECORD& record_;
  std::string json_;
};

}  // namespace

void RecordClientEvent(const TdhApi& tdh, const EVENT_RECORD& record, DWORD ownProcessId, ClientEventLog& log) {
  const EVENT_HEADER& header = record.EventHeader;
  const USHORT id = header.EventDescriptor.Id;
  if (!IsKeptId(id)) return;

  const std::optional<std::string> name = TracedName(ReadTextProperty(tdh, record, L"QueryName"));
  if (!name || *name != log.queryName) return;

  const std::optional<std::uint32_t> clientPid = ReadNumberProperty(tdh, record, L"ClientPID");
  if (clientPid && *clientPid != 0 && *clientPid != ownProcessId) return;

  const bool before1970 = header.TimeStamp.QuadPart < static_cast<LONGLONG>(kFileTimeOf1970);
  if (log.events.size() >= kMaxClientEvents || before1970) {
    ++log.dropped;
    return;
  }

  std::wstring server;
  if (id == 3010 || id == 3011) {
    const std::optional<std::uint32_t> queryType = ReadNumberProperty(tdh, record, L"QueryType");
    server = CanonicalAddress(ReadTextProperty(tdh, record, L"DnsServerIpAddress"));
    if (!queryType || server.empty()) {
      ++log.dropped;
      return;
    }
  }
  log.events.push_back(EventObject(tdh, record).Build(clientPid, server));
}

}  // namespace orv::dns
