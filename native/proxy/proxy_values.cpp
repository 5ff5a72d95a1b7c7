#include "native/proxy/proxy_values.h"

namespace orv::proxy {
namespace {

bool IsBlankUnit(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& data) {
  std::uint64_t value = 0;
  for (std::size_t i = data.size(); i-- > 0;) value = (value << 8) | data[i];
  return value;
}

// Text that reads as the number zero: optional blanks, one optional sign, then
// only '0' digits up to trailing blanks.
bool IsZeroText(const ProxyText& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankUnit(text[begin])) ++begin;
  while (end > begin && IsBlankUnit(text[end - 1])) --end;
  if (begin == end) return true;
  if (text[begin] == u'+' || text[begin] == u'-') ++begin;
  if (begin == end) return false;  // a lone sign is not a number
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] != u'0') return false;
  }
  return true;
}

}  // namespace

bool operator==(const RawValue& a, const RawValue& b) {
  if (!a.present && !b.present) return true;
  return a.present == b.present && a.type == b.type && a.data == b.data;
}

RawValue DwordValue(std::uint32_t value) {
  RawValue raw;
  raw.present = true;
  raw.type = kRegDword;
  for (int i = 0; i < 4; ++i) raw.data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return raw;
}

RawValue TextValue(std::uint32_t type, const ProxyText& text) {
  RawValue raw;
  raw.present = true;
  raw.type = type;
  for (char16_t unit : text) {
    raw.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    raw.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  raw.data.push_back(0);
  raw.data.push_back(0);
  return raw;
}

bool RawValueText(const RawValue& value, ProxyText& text) {
  text.clear();
  if (!value.present || (value.type != kRegSz && value.type != kRegExpandSz) || value.data.size() % 2 != 0) {
    return false;
  }
  for (std::size_t i = 0; i < value.data.size(); i += 2) {
    const auto unit = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return true;
}

bool RawValueIsOn(const RawValue& value) {
  if (!value.present) return false;
  if (value.type == kRegDword && value.data.size() == 4) return LittleEndian(value.data) != 0;
  if (value.type == kRegQword && value.data.size() == 8) return LittleEndian(value.data) != 0;
  ProxyText text;
  if (RawValueText(value, text)) return !IsZeroText(text);
  return true;
}

bool RawValueIsNonBlank(const RawValue& value) {
  if (!value.present) return false;
  ProxyText text;
  if (!RawValueText(value, text)) return true;
  for (char16_t unit : text) {
    if (!IsBlankUnit(unit)) return true;
  }
  return false;
}

}  // namespace orv::proxy
