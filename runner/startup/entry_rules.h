#pragma once
// Decisions of the process entry that need no platform call. Portable: no
// Windows header.

#include <string>
#include <string_view>

namespace orv {

// True when the executable's folder name ends in "-setup" (ASCII case
// ignored), as an unpacked installer folder is named.
bool IsSetupFolderPath(std::wstring_view executablePath);

// "--install" and "--installer", exactly.
bool IsInstallerSwitch(std::wstring_view argument);

// UTF-8 of UTF-16 code units, for when the platform converter refuses: valid
// pairs as 4 bytes, every other unit (lone surrogates included) as 1-3 bytes.
std::string EncodeUtf8Fallback(std::u16string_view units);

}  // namespace orv
