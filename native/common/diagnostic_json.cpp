#include "native/common/diagnostic_json.h"

namespace orv {

void AppendDiagnosticEscaped(std::string& out, std::string_view bytes) {
  out.reserve(out.size() + bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte < 0x20) {
      out.push_back('?');
    } else {
      out.push_back(c);
    }
  }
}

void AppendStringMember(std::string& out, std::string_view key, std::string_view value) {
  out.append(",\"").append(key).append("\":\"");
  AppendDiagnosticEscaped(out, value);
  out.push_back('"');
}

void AppendUnsignedMember(std::string& out, std::string_view key, std::uint64_t value) {
  out.append(",\"").append(key).append("\":").append(std::to_string(value));
}

void AppendBoolMember(std::string& out, std::string_view key, bool value) {
  out.append(",\"").append(key).append(value ? "\":true" : "\":false");
}

}  // namespace orv
