#include "native/common/guid_text.h"

#include <objbase.h>

namespace orv {

std::string GuidText(const GUID& guid) {
  wchar_t text[39] = {};
  if (::StringFromGUID2(guid, text, 39) != 39) return {};
  // The characters are braces, dashes and hexadecimal digits: plain ASCII.
  return std::string(text, text + 38);
}

}  // namespace orv
