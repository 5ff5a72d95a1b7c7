#include "runner/ticket_picker/process_tree.h"

#include <windows.h>

#include <tlhelp32.h>

#include <map>
#include <set>

#include "native/common/text_conversion.h"
#include "native/common/unique_resource.h"

namespace orv {
namespace {

constexpr DWORD kMaxImagePathChars = 32768;

struct RunningProcess {
  DWORD parentId = 0;
  std::wstring image;
};

bool ReadImagePath(DWORD processId, std::wstring& image) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return false;
  std::wstring buffer(kMaxImagePathChars, L'\0');
  DWORD length = kMaxImagePathChars;
  if (!::QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &length)) return false;
  buffer.resize(length);
  image = std::move(buffer);
  return true;
}

// Ascending process id: the passes below depend on a fixed order.
std::map<DWORD, RunningProcess> RunningProcesses() {
  std::map<DWORD, RunningProcess> processes;
  UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return processes;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    std::wstring image;
    if (!ReadImagePath(entry.th32ProcessID, image)) continue;
    processes[entry.th32ProcessID] = RunningProcess{entry.th32ParentProcessID, std::move(image)};
  }
  return processes;
}

}  // namespace

std::vector<std::string> CollectProcessTreePaths(const std::wstring& executablePath) {
  // Exact comparison: another spelling of the same file is listed as well.
  std::set<std::wstring> paths{executablePath};
  const std::map<DWORD, RunningProcess> processes = RunningProcesses();

  std::set<DWORD> tree;
  for (const auto& [id, process] : processes) {
    if (::_wcsicmp(process.image.c_str(), executablePath.c_str()) == 0) tree.insert(id);
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& [id, process] : processes) {
      if (tree.count(process.parentId) != 0 && tree.insert(id).second) changed = true;
      if (tree.count(id) != 0) paths.insert(process.image);
    }
  }

  std::vector<std::string> result;
  result.reserve(paths.size());
  for (const std::wstring& path : paths) {
    std::string utf8;
    if (Utf16ToUtf8(path, utf8)) result.push_back(std::move(utf8));
  }
  return result;
}

}  // namespace orv
