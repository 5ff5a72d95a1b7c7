#include "native/proxy/cleanup_rules.h"

namespace orv::proxy {
namespace {

const ProxyText& OptionText(std::size_t slot, const ProxyOptions& options) {
  switch (slot) {
    case kSlotProxyServer:
      return options.proxyServer;
    case kSlotProxyOverride:
      return options.proxyBypass;
    default:
      return options.autoConfigUrl;
  }
}

bool IsDwordZero(const RawValue& value) { return value == DwordValue(0); }

}  // namespace

bool IsClean(const ProxySnapshot& snapshot, std::uint32_t conflictFlags) {
  const bool proxyOff = (conflictFlags & kProxyTypeProxy) == 0 || !RawValueIsOn(snapshot.raw[kSlotProxyEnable]);
  return (snapshot.options.flags & conflictFlags) == 0 && proxyOff &&
         !RawValueIsNonBlank(snapshot.raw[kSlotAutoConfigUrl]);
}

bool RawConsistentWithOptions(std::size_t slot, const RawValue& value, const ProxyOptions& options) {
  if (slot == kSlotProxyEnable) {
    if (!value.present) return (options.flags & kProxyTypeProxy) == 0;
    return value == DwordValue((options.flags >> 1) & 1);
  }
  const ProxyText& expected = OptionText(slot, options);
  if (!value.present) return expected.empty();
  ProxyText text;
  return RawValueText(value, text) && text == expected;
}

bool IsCompatible(const ProxySnapshot& current, const ProxySnapshot& prior, const ProxyOptions& target) {
  const ProxyOptions& x = current.options;
  const ProxyOptions& s = prior.options;
  if (x.flags != s.flags && x.flags != target.flags) return false;
  if (x.proxyServer != s.proxyServer && x.proxyServer != target.proxyServer) return false;
  if (x.proxyBypass != s.proxyBypass && x.proxyBypass != target.proxyBypass) return false;
  if (x.autoConfigUrl != s.autoConfigUrl && x.autoConfigUrl != target.autoConfigUrl) return false;
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
    const RawValue& value = current.raw[slot];
    if (slot == kSlotProxyEnable && IsDwordZero(value)) continue;
    if (slot == kSlotAutoConfigUrl && !value.present) continue;
    if (value == prior.raw[slot]) continue;
    if (!RawConsistentWithOptions(slot, value, target)) return false;
  }
  return true;
}

bool RestoreMayResume(const ProxySnapshot& current, const ProxySnapshot& prior, const ProxySnapshot& cleaned,
                      bool started) {
  if (current == cleaned) return true;
  if (!started) return false;
  const bool optionsBack = current.options == prior.options;
  if (!optionsBack && !(current.options == cleaned.options)) return false;
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
    const RawValue& value = current.raw[slot];
    if (value == cleaned.raw[slot] || value == prior.raw[slot]) continue;
    if (!optionsBack || !RawConsistentWithOptions(slot, value, prior.options)) return false;
  }
  return true;
}

std::uint32_t NextTicket(std::uint32_t counter) { return counter == 0xFFFFFFFFu ? 1u : counter + 1u; }

}  // namespace orv::proxy
