#include "native/common/json_text.h"

#include "native/common/json_escape.h"
#include "native/common/text_conversion.h"

namespace orv {

void AppendJsonString(std::string& json, std::wstring_view value) {
  std::string utf8;
  if (!Utf16ToUtf8(value, utf8)) utf8.clear();
  AppendJsonQuotedUtf8(json, utf8);
}

}  // namespace orv
