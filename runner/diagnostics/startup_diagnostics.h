#pragma once
// The startup diagnostic trail in windows-renderer.log: stage lines (only when
// diagnostics are on, always through the background queue) and graphics lines
// (always; queued when diagnostics are on, else written on the calling thread).

#include <windows.h>

#include <string_view>

namespace orv {

bool DiagnosticsEnabled() noexcept;

void RecordStartupStage(const char* stage) noexcept;

void RecordGraphicsEvent(const char* text) noexcept;

void EnqueueDiagnosticLine(std::string_view line) noexcept;

// Gives the background writer up to `timeoutMs` to finish what is queued, so
// the last stages of a run are not lost when the process exits.
void FlushStartupDiagnostics(DWORD timeoutMs) noexcept;

}  // namespace orv
