#pragma once
// The platform steps of the process entry: console, installer mode and the
// arguments handed to the interface.

#include <windows.h>

#include <string>
#include <vector>

namespace orv {

// A console for a process started under a debugger without one.
void OpenDebugConsole();

// Installer mode by folder name ("...-setup") of the executable.
bool IsSetupFolderLaunch();

// Installer mode by "--install" or "--installer" on the command line.
bool HasInstallerSwitch();

// Every argument after the program name, as UTF-8.
std::vector<std::string> CommandLineArgumentsUtf8();

// ASCII copied byte for byte; anything else through the platform converter,
// or the built-in encoder if that refuses. Null gives "".
std::string Utf16ToUtf8(const wchar_t* text);

}  // namespace orv
