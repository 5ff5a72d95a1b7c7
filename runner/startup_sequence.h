#pragma once

namespace orv {

// Everything the entry does once the user context is captured: console,
// installer mode, COM, renderer policy, window and message loop. Returns the
// process exit code.
int RunStartupSequence();

}  // namespace orv
