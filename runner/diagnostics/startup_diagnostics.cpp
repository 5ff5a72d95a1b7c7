#include "runner/diagnostics/startup_diagnostics.h"

#include <chrono>
#include <string>

#include "native/common/environment.h"
#include "runner/diagnostics/diagnostic_lines.h"
#include "runner/diagnostics/diagnostic_queue.h"
#include "runner/diagnostics/diagnostics_paths.h"
#include "runner/diagnostics/renderer_log.h"

namespace orv {
namespace {

DWORD WINAPI DiagnosticWriter(void*);

bool SubmitWriter() { return ::QueueUserWorkItem(DiagnosticWriter, nullptr, WT_EXECUTEDEFAULT) != FALSE; }

DiagnosticQueue& Queue() {
  // Created on first use and kept until exit: thread-pool writers may still be
  // running while the process shuts down.
  static auto* queue = new DiagnosticQueue({
      SubmitWriter,
      [](const std::string& line) { WriteRendererLogLine(line); },
      [](const char* text) { ::OutputDebugStringA(text); },
  });
  return *queue;
}

DWORD WINAPI DiagnosticWriter(void*) {
  Queue().Drain();
  return 0;
}

bool ComputeDiagnosticsEnabled() noexcept {
  try {
    const std::wstring directory = ReadEnvironmentText(L"ORV_DIAGNOSTICS_DIR");
    const std::wstring flag = ReadEnvironmentText(L"ORV_STARTUP_DIAGNOSTICS");
    return StartupDiagnosticsRequested(flag, directory);
  } catch (...) {
    return false;
  }
}

LocalTimeStamp LocalNow() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace

bool DiagnosticsEnabled() noexcept {
  static const bool enabled = ComputeDiagnosticsEnabled();
  return enabled;
}

void RecordStartupStage(const char* stage) noexcept {
  if (!DiagnosticsEnabled()) return;
  try {
    static const ULONGLONG runStart = ::GetTickCount64();
    StageLineFields fields;
    fields.time = LocalNow();
    fields.nowTick = ::GetTickCount64();
    fields.processId = ::GetCurrentProcessId();
    fields.threadId = ::GetCurrentThreadId();
    fields.runStartTick = runStart;
    fields.stage = stage;
    QueueStageLine(Queue(), fields);
  } catch (...) {
    ::OutputDebugStringA("[startup] diagnostic enqueue failed\n");
  }
}

void RecordGraphicsEvent(const char* text) noexcept {
  char line[kGraphicsLineCapacity];
  const size_t length = FormatGraphicsLine(line, sizeof line, LocalNow(), ::GetCurrentProcessId(), text);
  if (length == 0) return;
  if (DiagnosticsEnabled()) {
    EnqueueDiagnosticLine(std::string_view(line, length));
    return;
  }
  // Direct writes may come from an engine thread inside a graphics call:
  // a failure loses the line and goes no further.
  try {
    WriteRendererLogLine(std::string(line, length));
  } catch (...) {
  }
}

void EnqueueDiagnosticLine(std::string_view line) noexcept {
  try {
    Queue().Enqueue(line);
  } catch (...) {
    ::OutputDebugStringA("[startup] diagnostic enqueue failed\n");
  }
}

void FlushStartupDiagnostics(DWORD timeoutMs) noexcept {
  if (!DiagnosticsEnabled()) return;
  try {
    // A flush that runs out of time leaves the rest to the writer: the
    // caller is on its way out either way.
    (void)Queue().WaitIdle(std::chrono::milliseconds(timeoutMs));
  } catch (...) {
  }
}

}  // namespace orv
