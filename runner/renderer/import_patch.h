#pragma once

#include <windows.h>

namespace orv {

// Replaces the first by-name import called `name` in the import address table
// of a module loaded in this process. True only when the entry was exchanged
// and its page protection restored.
[[nodiscard]] bool PatchEngineImport(HMODULE module, const char* name, const void* replacement) noexcept;

}  // namespace orv
