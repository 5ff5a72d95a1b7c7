#include "standin/codec/json_value.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "native/common/json_escape.h"

namespace standin {
namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Document(JsonValue& out) {
    SkipSpace();
    if (!Value(out, 0)) return false;
    SkipSpace();
    if (pos_ != text_.size()) return Fail("unexpected text after the value");
    return true;
  }

  std::string error;

 private:
  bool Fail(const char* reason) {
    if (error.empty()) error = std::string(reason) + " at offset " + std::to_string(pos_);
    return false;
  }

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return Fail("invalid literal");
    pos_ += word.size();
    return true;
  }

  bool Value(JsonValue& out, int depth) {
    if (depth > kMaxDepth) return Fail("nesting too deep");
    if (pos_ >= text_.size()) return Fail("unexpected end");
    const char c = text_[pos_];
    switch (c) {
      case 'n':
        out.kind = JsonValue::Kind::kNull;
        return Literal("null");
      case 't':
        out.kind = JsonValue::Kind::kBool;
        out.boolean = true;
        return Literal("true");
      case 'f':
        out.kind = JsonValue::Kind::kBool;
        out.boolean = false;
        return Literal("false");
      case '"':
        out.kind = JsonValue::Kind::kString;
        return String(out.text);
      case '[':
        return Array(out, depth);
      case '{':
        return Object(out, depth);
      default:
        if (c == '-' || (c >= '0' && c <= '9')) return Number(out);
        return Fail("unexpected character");
    }
  }

  bool Array(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::kArray;
    ++pos_;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      out.items.emplace_back();
      if (!Value(out.items.back(), depth + 1)) return false;
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("unterminated array");
      if (text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (text_[pos_] == ']') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or ']'");
    }
  }

  bool Object(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::kObject;
    ++pos_;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("expected a key");
      std::string key;
      if (!String(key)) return false;
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != ':') return Fail("expected ':'");
      ++pos_;
      SkipSpace();
      JsonValue value;
      if (!Value(value, depth + 1)) return false;
      out.members.push_back(JsonMember{std::move(key), std::move(value)});
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("unterminated object");
      if (text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (text_[pos_] == '}') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or '}'");
    }
  }

  bool Hex4(unsigned& out) {
    if (text_.size() - pos_ < 4) return Fail("short \\u escape");
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[pos_++];
      out <<= 4;
      if (h >= '0' && h <= '9') out |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') out |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') out |= static_cast<unsigned>(h - 'A' + 10);
      else return Fail("bad \\u escape");
    }
    return true;
  }

  static void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  bool String(std::string& out) {
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) return Fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) return Fail("unterminated escape");
      const char e = text_[pos_++];
      switch (e) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned unit = 0;
          if (!Hex4(unit)) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
            const size_t back = pos_;
            pos_ += 2;
            unsigned low = 0;
            if (!Hex4(low)) return false;
            if (low >= 0xDC00 && low <= 0xDFFF) {
              unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            } else {
              pos_ = back;
            }
          }
          // A lone surrogate cannot be UTF-8; it becomes U+FFFD.
          if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
          AppendUtf8(out, unit);
          break;
        }
        default:
          return Fail("bad escape");
      }
    }
  }

  bool Number(JsonValue& out) {
    const size_t start = pos_;
    bool integral = true;
    if (text_[pos_] == '-') ++pos_;
    auto digits = [&] {
      const size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ > from;
    };
    if (!digits()) return Fail("bad number");
    if (pos_ < text_.size() && text_[pos_] == '.') {
      integral = false;
      ++pos_;
      if (!digits()) return Fail("bad number");
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      integral = false;
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digits()) return Fail("bad number");
    }
    const std::string literal(text_.substr(start, pos_ - start));
    out.number = std::strtod(literal.c_str(), nullptr);
    out.kind = JsonValue::Kind::kDouble;
    if (integral) {
      errno = 0;
      char* end = nullptr;
      const long long value = std::strtoll(literal.c_str(), &end, 10);
      if (errno == 0 && end != nullptr && *end == '\0') {
        out.kind = JsonValue::Kind::kInteger;
        out.integer = value;
      }
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

bool ParseJson(std::string_view text, JsonValue& out, std::string& error) {
  Parser parser(text);
  out = JsonValue();
  if (parser.Document(out)) return true;
  error = parser.error;
  return false;
}

void AppendJsonText(std::string& out, std::string_view utf8) { orv::AppendJsonQuotedUtf8(out, utf8); }

void AppendJsonDouble(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("{\"$double\":");
    AppendJsonText(out, std::isnan(value) ? "NaN" : (value > 0 ? "Infinity" : "-Infinity"));
    out.push_back('}');
    return;
  }
  // The shortest of the usual precisions that reads back exactly.
  char buffer[40];
  for (int precision : {15, 16, 17}) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  std::string_view text(buffer);
  out.append(text);
  if (text.find_first_of(".eE") == std::string_view::npos) out.append(".0");
}

}  // namespace standin
