#pragma once
// GUID text of the diagnostic documents: the 38 characters of StringFromGUID2
// (braces, upper-case hexadecimal), as ASCII.

#include <windows.h>

#include <string>

namespace orv {

// Empty when the platform does not produce exactly 38 characters.
std::string GuidText(const GUID& guid);

}  // namespace orv

namespace orv {

// A GUID from exactly 38 characters (counted up to 39) with braces, as
// CLSIDFromString reads it; false for anything else.
[[nodiscard]] bool GuidFromBracedText(const wchar_t* text, GUID& guid);

}  // namespace orv
