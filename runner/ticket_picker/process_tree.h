#pragma once
// The executables that belong to a program while it runs.

#include <string>
#include <vector>

namespace orv {

// The executable's own path plus the image path of every running process that
// descends from a running instance of it (same path ignoring case), as UTF-8,
// ordered by UTF-16 code units. Processes that cannot be opened are left out.
// May throw std::bad_alloc.
std::vector<std::string> CollectProcessTreePaths(const std::wstring& executablePath);

}  // namespace orv
