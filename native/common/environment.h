#pragma once

#include <string>

namespace orv {

// The variable's value; empty when it is absent or cannot be read whole.
std::wstring ReadEnvironmentText(const wchar_t* name);

// The full path of the running executable; empty if it cannot be had within
// `capacity` characters.
std::wstring ExecutablePath(size_t capacity);

}  // namespace orv
