// The quoted form must decode back to exactly the input bytes, stay inside
// its quotes, and contain no raw control byte.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string quoted;
  orv::AppendJsonQuotedUtf8(quoted, input);
  if (Decode(quoted) != input) std::abort();
  return 0;
}
