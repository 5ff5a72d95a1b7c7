#include "standin/codec/transcript_lines.h"

#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"
#include "standin/codec/json_value.h"
#include "standin/codec/script_values.h"

namespace standin {
namespace {

void AppendMember(std::string& out, const char* key, const std::string& text) {
  out.push_back(',');
  AppendJsonText(out, key);
  out.push_back(':');
  AppendJsonText(out, text);
}

std::string CallPrefix(const std::string& channel, const std::string& method) {
  std::string line = "{\"op\":\"call\"";
  AppendMember(line, "channel", channel);
  AppendMember(line, "method", method);
  return line;
}

}  // namespace

std::string EngineLine(const std::string& window, const std::string& assets, const std::string& icu,
                       const std::string& aot, const std::vector<std::string>& arguments) {
  std::string line = "{\"event\":\"engine\"";
  AppendMember(line, "window", window);
  AppendMember(line, "assets", assets);
  AppendMember(line, "icu", icu);
  AppendMember(line, "aot", aot);
  line.append(",\"args\":[");
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i != 0) line.push_back(',');
    AppendJsonText(line, arguments[i]);
  }
  line.append("]}");
  return line;
}

std::string ChannelLine(const std::string& channel, const std::string& window) {
  std::string line = "{\"event\":\"channel\"";
  AppendMember(line, "name", channel);
  AppendMember(line, "window", window);
  line.push_back('}');
  return line;
}

std::string RegistrarLine(const std::string& name, const std::string& window) {
  std::string line = "{\"event\":\"registrar\"";
  AppendMember(line, "name", name);
  AppendMember(line, "window", window);
  line.push_back('}');
  return line;
}

std::string PluginLine(const std::string& name, int index, const std::string& window) {
  std::string line = "{\"event\":\"plugin\"";
  AppendMember(line, "name", name);
  line.append(",\"index\":").append(std::to_string(index));
  AppendMember(line, "window", window);
  line.push_back('}');
  return line;
}

std::string WindowEventLine(const char* event, const std::string& window) {
  std::string line = "{";
  AppendJsonText(line, "event");
  line.push_back(':');
  AppendJsonText(line, event);
  AppendMember(line, "window", window);
  line.push_back('}');
  return line;
}

static std::string ReplyLine(std::string line, const uint8_t* reply, size_t replySize) {
  std::string outcome;
  flutter::MethodResultFunctions<flutter::EncodableValue> result(
      [&](const flutter::EncodableValue* value) {
        outcome = ",\"reply\":\"success\",\"value\":";
        AppendEncodableJson(outcome, value != nullptr ? *value : flutter::EncodableValue());
      },
      [&](const std::string& code, const std::string& message, const flutter::EncodableValue* details) {
        outcome = ",\"reply\":\"error\"";
        AppendMember(outcome, "code", code);
        AppendMember(outcome, "message", message);
        outcome.append(",\"details\":");
        AppendEncodableJson(outcome, details != nullptr ? *details : flutter::EncodableValue());
      },
      [&] { outcome = ",\"reply\":\"notImplemented\""; });
  if (!flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(reply, replySize, &result)) {
    outcome = ",\"reply\":\"malformed\",\"bytes\":{\"$bytes\":\"" + HexText(reply, replySize) + "\"}";
  }
  line.append(outcome).push_back('}');
  return line;
}

std::string CallReplyLine(const std::string& channel, const std::string& method, const uint8_t* reply,
                          size_t replySize) {
  return ReplyLine(CallPrefix(channel, method), reply, replySize);
}

std::string SecondaryReplyLine(const uint8_t* reply, size_t replySize) {
  return ReplyLine("{\"op\":\"secondary\"", reply, replySize);
}

std::string SecondaryMissingLine(const char* reply) {
  std::string line = "{\"op\":\"secondary\"";
  AppendMember(line, "reply", reply);
  line.push_back('}');
  return line;
}

std::string CallMissingLine(const std::string& channel, const std::string& method, const char* reply) {
  std::string line = CallPrefix(channel, method);
  AppendMember(line, "reply", reply);
  line.push_back('}');
  return line;
}

std::string FfiLine(const std::string& name, const std::optional<std::string>& result,
                    const std::vector<std::pair<std::string, std::string>>& out) {
  std::string line = "{\"op\":\"ffi\"";
  AppendMember(line, "name", name);
  if (result) line.append(",\"result\":").append(*result);
  if (!out.empty()) {
    line.append(",\"out\":{");
    for (size_t i = 0; i < out.size(); ++i) {
      if (i != 0) line.push_back(',');
      AppendJsonText(line, out[i].first);
      line.push_back(':');
      line.append(out[i].second);
    }
    line.push_back('}');
  }
  line.push_back('}');
  return line;
}

std::string ErrorLine(size_t lineNumber, const std::string& message) {
  std::string line = "{\"op\":\"error\",\"line\":" + std::to_string(lineNumber);
  AppendMember(line, "message", message);
  line.push_back('}');
  return line;
}

std::string OpLine(const char* op) {
  std::string line = "{";
  AppendJsonText(line, "op");
  line.push_back(':');
  AppendJsonText(line, op);
  line.push_back('}');
  return line;
}

std::string WaitLine(uint32_t ms) { return "{\"op\":\"wait\",\"ms\":" + std::to_string(ms) + "}"; }

}  // namespace standin
