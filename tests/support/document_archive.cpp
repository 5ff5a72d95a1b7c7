#include "tests/support/document_archive.h"

#include <windows.h>

#include <atomic>

#include "tests/support/process.h"

namespace orv::test {

namespace {

void Keep(const std::wstring& suffix, const std::string& bytes) {
  wchar_t folder[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"KILNA_TRANSCRIPT_ARCHIVE", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || bytes.empty()) return;
  static std::atomic<unsigned> next{0};
  ::CreateDirectoryW(folder, nullptr);
  WriteWholeFile(std::wstring(folder) + L"\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                     std::to_wstring(next++) + suffix,
                 bytes);
}

}  // namespace

void ArchiveTranscript(const std::string& transcript) { Keep(L".jsonl", transcript); }

void ArchiveDocument(const std::string& kind, const std::string& document) {
  Keep(L"." + std::wstring(kind.begin(), kind.end()) + L".json", document);
}

}  // namespace orv::test
