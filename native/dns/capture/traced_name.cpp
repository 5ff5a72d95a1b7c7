#include "native/dns/capture/traced_name.h"

#include <cstdint>

namespace orv::dns {
namespace {

template <typename Unit>
std::optional<std::string> Normalise(std::basic_string_view<Unit> name) {
  if (!name.empty() && name.back() == Unit('.')) name.remove_suffix(1);
  if (name.empty() || name.size() > kTracedNameMaxLength) return std::nullopt;
  std::string ascii(name.size(), '\0');
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto unit = static_cast<std::uint32_t>(name[i]);
    if (unit >= 'A' && unit <= 'Z') {
      ascii[i] = static_cast<char>(unit - 'A' + 'a');
    } else if ((unit >= 'a' && unit <= 'z') || (unit >= '0' && unit <= '9') || unit == '-' || unit == '.') {
      ascii[i] = static_cast<char>(unit);
    } else {
      return std::nullopt;
    }
  }
  return ascii;
}

}  // namespace

std::optional<std::string> TracedName(std::u16string_view name) { return Normalise(name); }

std::optional<std::string> TracedName(std::wstring_view name) { return Normalise(name); }

}  // namespace orv::dns
