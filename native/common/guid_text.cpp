#include "native/common/guid_text.h"

#include <objbase.h>

#include <cwchar>

namespace orv {

std::string GuidText(const GUID& guid) {
  wchar_t text[39] = {};
  if (::StringFromGUID2(guid, text, 39) != 39) return {};
  // The characters are braces, dashes and hexadecimal digits: plain ASCII.
  return std::string(text, text + 38);
}

}  // namespace orv

namespace orv {

bool GuidFromBracedText(const wchar_t* text, GUID& guid) {
  if (text == nullptr || ::wcsnlen(text, 39) != 38 || text[0] != L'{' || text[37] != L'}') return false;
  // Braces keep CLSIDFromString from reading the text as a program id.
  return SUCCEEDED(::CLSIDFromString(text, &guid));
}

}  // namespace orv
