#pragma once

#include <windows.h>

namespace orv {

// Everything the entry does once the user context is captured: console,
// installer mode, COM, renderer policy, window and message loop. Returns the
// process exit code. `engine` is the engine library's module (null if it is
// not loaded), whose imports the renderer policy may redirect.
[[nodiscard]] int RunStartupSequence(HMODULE engine);

}  // namespace orv
