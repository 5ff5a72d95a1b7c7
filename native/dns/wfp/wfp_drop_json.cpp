#include <string>

#include "native/common/diagnostic_json.h"
#include "native/dns/wfp/wfp_drop_state.h"

namespace orv::dns {

namespace {

const char* StatusText(const State& state) {
  switch (state.status) {
    case Status::kCollectionDisabled:
      return "collectionDisabled";
    case Status::kSubscribed:
      if (!state.deadlineReached && state.dropped == 0 && state.localSubscribed && state.remoteSubscribed) {
        return state.eventCount > 0 ? "observed" : "notObserved";
      }
      return "partial";
    case Status::kNotSubscribed:
      return "partial";
    default:
      return "unavailable";
  }
}

const char* DirectionText(std::uint32_t direction) {
  switch (direction) {
    case 0:
    case 0x3901:
      return "outbound";
    case 1:
    case 0x3900:
      return "inbound";
    case 0x3902:
      return "forward";
    default:
      return "unknown";
  }
}

void AppendEvent(std::string& json, const DropEvent& event) {
  json.append("{\"timeUs\":").append(std::to_string(event.timeUs));
  json.append(",\"direction\":\"").append(DirectionText(event.direction)).push_back('"');
  json.append(event.protocol == 6 ? ",\"protocol\":\"tcp\"" : ",\"protocol\":\"udp\"");
  json.append(event.resolverIsLocal ? ",\"resolverEndpoint\":\"local\"" : ",\"resolverEndpoint\":\"remote\"");
  if (event.localPort != 0) AppendUnsignedMember(json, "localPort", event.localPort);
  if (event.remotePort != 0) AppendUnsignedMember(json, "remotePort", event.remotePort);
  AppendStringMember(json, "filterId", std::to_string(event.filterId));
  AppendUnsignedMember(json, "layerId", event.layerId);
  json.push_back('}');
}

void AppendRule(std::string& json, const Rule& rule) {
  json.append("{\"filterId\":\"").append(std::to_string(rule.filterId)).push_back('"');
  AppendUnsignedMember(json, "firstDropUs", rule.firstDropUs);
  if (rule.lookupTimeUs == 0) {
    json.append(",\"status\":\"pending\"");
  } else {
    AppendUnsignedMember(json, "lookupTimeUs", rule.lookupTimeUs);
    json.append(rule.description.empty() ? std::string(",\"status\":\"unavailable\"") : rule.description);
  }
  json.push_back('}');
}

}  // namespace

std::string DropStateJson(const State& state) {
  std::string json = "{\"status\":\"";
  json.append(StatusText(state)).push_back('"');
  AppendBoolMember(json, "localEndpoint", state.localSubscribed);
  AppendBoolMember(json, "remoteEndpoint", state.remoteSubscribed);
  if (state.startedUs != 0) AppendUnsignedMember(json, "startedUs", state.startedUs);
  if (state.endedUs != 0) AppendUnsignedMember(json, "endedUs", state.endedUs);
  if (state.nativeErrorCode != 0) AppendUnsignedMember(json, "nativeErrorCode", state.nativeErrorCode);
  AppendUnsignedMember(json, "dropped", state.dropped);
  json.append(",\"events\":[");
  for (std::uint64_t i = 0; i < state.eventCount; ++i) {
    if (i != 0) json.push_back(',');
    AppendEvent(json, state.events[i]);
  }
  json.append(state.rulesTruncated ? "],\"rulesTruncated\":true" : "],\"rulesTruncated\":false");
  json.append(",\"rules\":[");
  for (std::uint64_t i = 0; i < state.ruleCount; ++i) {
    if (i != 0) json.push_back(',');
    AppendRule(json, state.rules[i]);
  }
  json.append("]}");
  return json;
}

}  // namespace orv::dns
