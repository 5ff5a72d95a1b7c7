#pragma once
// The engine's transcript: whole lines, from any thread, to the file named by
// FLUTTER_STANDIN_TRANSCRIPT (standard output without it). The latest lines
// are kept for the views to paint.

#include <windows.h>

#include <string>
#include <vector>

namespace standin {

void WriteTranscriptLine(const std::string& line) noexcept;
std::vector<std::string> RecentTranscriptLines();

// Views repainted whenever a line is written.
void AddTranscriptView(HWND view);
void RemoveTranscriptView(HWND view);

// Standard output may have been reopened (a console attached later).
void ResyncTranscriptOutput() noexcept;

}  // namespace standin
