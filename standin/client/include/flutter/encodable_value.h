#pragma once
// The value type of the standard codec: one of null, bool, 32- and 64-bit
// integers, double, string, typed lists, lists and maps.

#include <algorithm>
#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
using EncodableValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList, EncodableMap,
                 std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::super;
  using super::operator=;

  EncodableValue() = default;

  // A string literal is text, not a bool.
  explicit EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* other) {
    *this = std::string(other);
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // Either integer width as 64 bits; 0 for anything else.
  int64_t LongValue() const {
    if (const auto* small = std::get_if<int32_t>(this)) return *small;
    if (const auto* large = std::get_if<int64_t>(this)) return *large;
    return 0;
  }

  // Ordered by type, then by value; lists and maps element by element. Spelt
  // out here rather than left to std::variant, whose comparisons recurse
  // without end through the list and map types on some compilers.
  friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) { return Less(lhs, rhs); }
  friend bool operator==(const EncodableValue& lhs, const EncodableValue& rhs) {
    return !Less(lhs, rhs) && !Less(rhs, lhs);
  }
  friend std::weak_ordering operator<=>(const EncodableValue& lhs, const EncodableValue& rhs) {
    if (Less(lhs, rhs)) return std::weak_ordering::less;
    if (Less(rhs, lhs)) return std::weak_ordering::greater;
    return std::weak_ordering::equivalent;
  }

 private:
  static bool Less(const EncodableValue& lhs, const EncodableValue& rhs);
};

inline bool EncodableValue::Less(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return lhs.index() < rhs.index();
  return std::visit(
      [&rhs](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const T& right = std::get<T>(static_cast<const super&>(rhs));
        if constexpr (std::is_same_v<T, std::monostate>) {
          return false;
        } else if constexpr (std::is_same_v<T, EncodableList> || std::is_same_v<T, EncodableMap>) {
          return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end());
        } else {
          return left < right;
        }
      },
      static_cast<const super&>(lhs));
}

}  // namespace flutter
