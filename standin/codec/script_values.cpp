#include "standin/codec/script_values.h"

#include <cstdint>
#include <limits>

namespace standin {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ForcedValue(const std::string& form, const JsonValue& json, EncodableValue& out, std::string& error) {
  if (form == "$int64" || form == "$int32") {
    if (!json.is(JsonValue::Kind::kInteger)) {
      error = form + " needs an integer";
      return false;
    }
    if (form == "$int64") {
      out = EncodableValue(static_cast<int64_t>(json.integer));
      return true;
    }
    if (json.integer < std::numeric_limits<int32_t>::min() || json.integer > std::numeric_limits<int32_t>::max()) {
      error = "$int32 out of range";
      return false;
    }
    out = EncodableValue(static_cast<int32_t>(json.integer));
    return true;
  }
  if (form == "$double") {
    if (!json.IsNumber()) {
      error = "$double needs a number";
      return false;
    }
    out = EncodableValue(json.number);
    return true;
  }
  // $bytes
  if (!json.is(JsonValue::Kind::kString) || json.text.size() % 2 != 0) {
    error = "$bytes needs an even number of hex digits";
    return false;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(json.text.size() / 2);
  for (size_t i = 0; i < json.text.size(); i += 2) {
    const int high = HexDigit(json.text[i]);
    const int low = HexDigit(json.text[i + 1]);
    if (high < 0 || low < 0) {
      error = "$bytes needs an even number of hex digits";
      return false;
    }
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  out = EncodableValue(std::move(bytes));
  return true;
}

bool IsForm(const std::string& key) {
  return key == "$int64" || key == "$int32" || key == "$double" || key == "$bytes";
}

template <typename T>
void AppendNumberList(std::string& out, const std::vector<T>& list) {
  out.push_back('[');
  for (size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out.push_back(',');
    if constexpr (std::is_floating_point_v<T>) {
      AppendJsonDouble(out, list[i]);
    } else {
      out.append(std::to_string(list[i]));
    }
  }
  out.push_back(']');
}

}  // namespace

std::string HexText(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 15]);
  }
  return hex;
}

bool JsonToEncodable(const JsonValue& json, EncodableValue& out, std::string& error) {
  switch (json.kind) {
    case JsonValue::Kind::kNull:
      out = EncodableValue();
      return true;
    case JsonValue::Kind::kBool:
      out = EncodableValue(json.boolean);
      return true;
    case JsonValue::Kind::kInteger:
      if (json.integer >= std::numeric_limits<int32_t>::min() && json.integer <= std::numeric_limits<int32_t>::max()) {
        out = EncodableValue(static_cast<int32_t>(json.integer));
      } else {
        out = EncodableValue(static_cast<int64_t>(json.integer));
      }
      return true;
    case JsonValue::Kind::kDouble:
      out = EncodableValue(json.number);
      return true;
    case JsonValue::Kind::kString:
      out = EncodableValue(json.text);
      return true;
    case JsonValue::Kind::kArray: {
      EncodableList list;
      list.reserve(json.items.size());
      for (const JsonValue& item : json.items) {
        list.emplace_back();
        if (!JsonToEncodable(item, list.back(), error)) return false;
      }
      out = EncodableValue(std::move(list));
      return true;
    }
    case JsonValue::Kind::kObject: {
      if (json.members.size() == 1 && IsForm(json.members[0].key)) {
        return ForcedValue(json.members[0].key, json.members[0].value, out, error);
      }
      EncodableMap map;
      for (const auto& [key, member] : json.members) {
        EncodableValue value;
        if (!JsonToEncodable(member, value, error)) return false;
        map[EncodableValue(key)] = std::move(value);
      }
      out = EncodableValue(std::move(map));
      return true;
    }
  }
  error = "unsupported value";
  return false;
}

void AppendEncodableJson(std::string& out, const EncodableValue& value) {
  std::visit(
      [&](const auto& held) {
        using T = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out.append("null");
        } else if constexpr (std::is_same_v<T, bool>) {
          out.append(held ? "true" : "false");
        } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          out.append(std::to_string(held));
        } else if constexpr (std::is_same_v<T, double>) {
          AppendJsonDouble(out, held);
        } else if constexpr (std::is_same_v<T, std::string>) {
          AppendJsonText(out, held);
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          out.append("{\"$bytes\":\"");
          out.append(HexText(held.data(), held.size()));
          out.append("\"}");
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          out.push_back('[');
          for (size_t i = 0; i < held.size(); ++i) {
            if (i != 0) out.push_back(',');
            AppendEncodableJson(out, held[i]);
          }
          out.push_back(']');
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          out.push_back('{');
          bool first = true;
          for (const auto& [key, element] : held) {
            if (!first) out.push_back(',');
            first = false;
            if (const auto* text = std::get_if<std::string>(&key)) {
              AppendJsonText(out, *text);
            } else {
              std::string keyJson;
              AppendEncodableJson(keyJson, key);
              AppendJsonText(out, keyJson);
            }
            out.push_back(':');
            AppendEncodableJson(out, element);
          }
          out.push_back('}');
        } else {
          AppendNumberList(out, held);
        }
      },
      static_cast<const EncodableValue::super&>(value));
}

}  // namespace standin
