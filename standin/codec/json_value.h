#pragma once
// A small JSON reader for interface script lines. Portable: no Windows header.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kInteger, kDouble, kString, kArray, kObject };

  Kind kind = Kind::kNull;
  bool boolean = false;
  int64_t integer = 0;  // kInteger: a literal without fraction or exponent that fits 64 bits
  double number = 0;    // kDouble, and kInteger's value as a double
  std::string text;     // kString, UTF-8
  std::vector<JsonValue> items;
  std::vector<JsonMember> members;  // in document order

  bool is(Kind k) const { return kind == k; }
  bool IsNumber() const { return kind == Kind::kInteger || kind == Kind::kDouble; }
  // The member's value, or null when absent (or not an object).
  const JsonValue* Find(std::string_view key) const;
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Parses one whole JSON document (surrounding white space allowed). On failure
// returns false with a short English reason.
bool ParseJson(std::string_view text, JsonValue& out, std::string& error);

// Appends the text as a quoted JSON string.
void AppendJsonText(std::string& out, std::string_view utf8);

// Appends a double so that it reads back as a double (always a fraction or exponent).
void AppendJsonDouble(std::string& out, double value);

}  // namespace standin
