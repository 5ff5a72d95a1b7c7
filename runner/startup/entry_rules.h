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

// A logical length in pixels at `dpi` (96 = 100 %), truncated toward zero.
int ScaleToDpi(int logical, unsigned dpi);

struct WindowPlacement {
  int x, y;           // physical pixels
  int width, height;  // logical units
};

// Normal window 720 x 512, installer window 480 x 320 (logical), centred on
// the primary screen (physical pixels) once scaled to its DPI, and never
// placed left of or above it.
WindowPlacement ComputeWindowPlacement(bool installerMode, int screenWidth, int screenHeight, unsigned dpi);

}  // namespace orv
