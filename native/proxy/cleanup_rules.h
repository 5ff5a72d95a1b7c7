#pragma once
// Rules of the proxy cleanup: what counts as clean, whether raw values agree
// with a set of options, and whether settings read back are still ones the
// cleanup may have produced. Portable: no Windows header.

#include <cstddef>
#include <cstdint>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

// What a cleanup turns off: a manual proxy and an auto-config URL.
inline constexpr std::uint32_t kUserConflictFlags = kProxyTypeProxy | kProxyTypeAutoProxyUrl;

// None of `conflictFlags` on, in the options and in the raw values. Leaving
// kProxyTypeProxy out of them ignores the manual proxy, options and raw switch.
bool IsClean(const ProxySnapshot& snapshot, std::uint32_t conflictFlags = kUserConflictFlags);

// Whether raw slot `slot` says what `options` say.
bool RawConsistentWithOptions(std::size_t slot, const RawValue& value, const ProxyOptions& options);

// Whether `current` holds only what the user had (`prior`) or what the
// cleanup writes (`target`), slot by slot.
bool IsCompatible(const ProxySnapshot& current, const ProxySnapshot& prior, const ProxyOptions& target);

// Whether a restore of `prior` over a cleanup that left `cleaned` may go on
// from `current`: the settings are as cleaned, or, once a restore has
// `started`, part-way back (options and each raw value the cleaned or the
// prior one, raw values as written for the prior options).
bool RestoreMayResume(const ProxySnapshot& current, const ProxySnapshot& prior, const ProxySnapshot& cleaned,
                      bool started);

// Tickets count up from 1 and never come out as 0.
std::uint32_t NextTicket(std::uint32_t counter);

}  // namespace orv::proxy
