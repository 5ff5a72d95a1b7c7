#include "native/dns/capture/capture_json.h"

#include <charconv>
#include <cstdint>

namespace orv::dns {
namespace {

void AppendNumber(std::string& json, std::uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  json.append(digits, end);
}

void AppendField(std::string& json, const char* keyFragment, std::uint64_t value) {
  json.append(keyFragment);
  AppendNumber(json, value);
}

void AppendWindow(std::string& json, const CaptureWindow& window) {
  AppendField(json, "{\"interfaceIndex\":", window.interfaceIndex);
  AppendField(json, ",\"startedUs\":", window.startedUs);
  AppendField(json, ",\"endedUs\":", window.endedUs);
  json.push_back('}');
}

void AppendEvent(std::string& json, const CaptureEvent& event) {
  AppendField(json, "{\"timeUs\":", event.timeUs);
  json.append(event.stage == DnsStage::kQuery ? ",\"stage\":\"orvInterfaceQuery\""
                                              : ",\"stage\":\"orvInterfaceReply\"");
  json.append(event.transport == DnsTransport::kUdp ? ",\"transport\":\"udp\"" : ",\"transport\":\"tcp\"");
  AppendField(json, ",\"interfaceIndex\":", event.interfaceIndex);
  AppendField(json, ",\"queryType\":", event.queryType);
  AppendField(json, ",\"transactionId\":", event.transactionId);
  AppendField(json, ",\"clientPort\":", event.clientPort);
  if (event.stage == DnsStage::kReply) AppendField(json, ",\"responseCode\":", event.responseCode);
  json.push_back('}');
}

}  // namespace

const char* CaptureStatus(const CaptureRecord& record) {
  const bool armed = !record.windows().empty();
  if (record.errorCode() == 0) return armed ? "armed" : "interfaceNotReady";
  return armed ? "partial" : "unavailable";
}

void AppendCaptureJson(std::string& json, const CaptureRecord& record) {
  json.append("{\"status\":\"");
  json.append(CaptureStatus(record));
  json.append(
      "\",\"captureLayer\":\"windowsIpLayerAtOrvNet\",\"serverAddress\":\"172.19.0.2\",\"serverPort\":53,"
      "\"coverage\":\"ipv4UdpAndCompleteTcpMessages\"");
  AppendField(json, ",\"errorCode\":", record.errorCode());
  json.append(record.expired() ? ",\"expired\":true" : ",\"expired\":false");
  AppendField(json, ",\"dropped\":", record.dropped());
  AppendField(json, ",\"unparsedTcpSegments\":", record.unparsedTcpSegments());
  AppendField(json, ",\"fragmentedEndpointPackets\":", record.fragmentedEndpointPackets());
  json.append(",\"windows\":[");
  for (std::size_t i = 0; i < record.windows().size(); ++i) {
    if (i != 0) json.push_back(',');
    AppendWindow(json, record.windows()[i]);
  }
  json.append("],\"events\":[");
  for (std::size_t i = 0; i < record.events().size(); ++i) {
    if (i != 0) json.push_back(',');
    AppendEvent(json, record.events()[i]);
  }
  json.append("]}");
}

}  // namespace orv::dns
