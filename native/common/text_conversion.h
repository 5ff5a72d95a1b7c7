#pragma once
// UTF-16 <-> UTF-8 through the platform's UTF-8 code page.

#include <string>
#include <string_view>

namespace orv {

// Lenient: an unpaired surrogate becomes U+FFFD. False only if the platform
// conversion fails outright.
[[nodiscard]] bool Utf16ToUtf8(std::wstring_view text, std::string& out);

// Strict: fails on invalid UTF-16 (used where a bad path must not be mangled).
[[nodiscard]] bool Utf16ToUtf8Strict(std::wstring_view text, std::string& out);

// Lenient: invalid bytes become U+FFFD.
[[nodiscard]] bool Utf8ToUtf16(std::string_view text, std::wstring& out);

// Strict: fails on invalid UTF-8 (used where text from the interface must
// arrive exactly as sent).
[[nodiscard]] bool Utf8ToUtf16Strict(std::string_view text, std::wstring& out);

}  // namespace orv
