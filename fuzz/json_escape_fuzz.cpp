// The user-context quoter must decode back to exactly the input bytes, stay
// inside its quotes, and contain no raw control byte. The diagnostic writer
// must decode back to the input with every control byte turned into '?', and
// never leave an unescaped quote or a dangling backslash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "native/common/diagnostic_json.h"
#include "native/common/json_escape.h"

namespace {

std::string Decode(std::string_view quoted) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') std::abort();
  std::string out;
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    const auto c = static_cast<unsigned char>(quoted[i]);
    if (c < 0x20 || c == '"') std::abort();
    if (c != '\\') {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (++i >= quoted.size() - 1) std::abort();  // a backslash needs an escaped byte before the closing quote
    const char e = quoted[i];
    if (e == '"' || e == '\\') {
      out.push_back(e);
    } else if (e == 'u' && i + 4 < quoted.size()) {
      out.push_back(static_cast<char>(std::stoi(std::string(quoted.substr(i + 1, 4)), nullptr, 16)));
      i += 4;
    } else {
      std::abort();
    }
  }
  return out;
}

std::string DecodeDiagnostic(std::string_view escaped) {
  std::string out;
  for (size_t i = 0; i < escaped.size(); ++i) {
    const auto c = static_cast<unsigned char>(escaped[i]);
    if (c < 0x20 || c == '"') std::abort();
    if (c != '\\') {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (++i >= escaped.size()) std::abort();
    if (escaped[i] != '"' && escaped[i] != '\\') std::abort();
    out.push_back(escaped[i]);
  }
  return out;
}

std::string WithControlBytesReplaced(std::string_view input) {
  std::string out(input);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string quoted;
  orv::AppendJsonQuotedUtf8(quoted, input);
  if (Decode(quoted) != input) std::abort();

  std::string escaped;
  orv::AppendDiagnosticEscaped(escaped, input);
  if (DecodeDiagnostic(escaped) != WithControlBytesReplaced(input)) std::abort();
  return 0;
}
