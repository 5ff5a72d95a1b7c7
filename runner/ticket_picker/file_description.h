#pragma once
// The FileDescription text of an executable's version resource.

#include <string>

namespace orv {

// Empty when the file has no usable description in any of its declared
// translations. May throw std::bad_alloc.
std::wstring GetFileDescription(const std::wstring& executablePath);

}  // namespace orv
