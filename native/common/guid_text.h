#pragma once
// GUID text of the diagnostic documents: the 38 characters of StringFromGUID2
// (braces, upper-case hexadecimal), as ASCII.

#include <windows.h>

#include <string>

namespace orv {

// Empty when the platform does not produce exactly 38 characters.
std::string GuidText(const GUID& guid);

}  // namespace orv
