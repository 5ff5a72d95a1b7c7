#pragma once
// The process's default DLL search, limited before anything else is loaded.

namespace orv {

// Later loads by a bare name search the system folder alone, never the
// executable's folder (the engine and the plug-ins are load-time imports,
// resolved before the entry runs; the logging library is loaded by its full
// path). Windows 7 has SetDefaultDllDirectories only with its loader update:
// without it the current folder is taken out of the search and the process
// goes on. True when the search was limited to the system folder.
[[nodiscard]] bool LimitDllSearchToSystemFolder() noexcept;

}  // namespace orv
