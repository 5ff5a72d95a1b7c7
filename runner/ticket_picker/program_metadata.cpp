#include "runner/ticket_picker/program_metadata.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <new>
#include <utility>

#include "native/common/unique_resource.h"
#include "runner/ticket_picker/file_description.h"
#include "runner/ticket_picker/last_error_hresult.h"
#include "runner/ticket_picker/program_icon_png.h"
#include "runner/ticket_picker/shortcut_target.h"

namespace orv {
namespace {

constexpr UINT kPreferredIconSize = 256;

ProgramMetadata Failure(HRESULT status, const char* code, const char* detail) {
  ProgramMetadata record;
  record.status = status;
  record.errorCode = code;
  record.errorMessage = std::string(detail) + "; HRESULT=" + std::to_string(static_cast<std::int32_t>(status));
  return record;
}

[[nodiscard]] HRESULT FullPathOf(const std::wstring& path, std::wstring& fullPath) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return LastErrorHResult();
  std::wstring buffer(needed, L'\0');
  const DWORD written = ::GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
  if (written == 0) return LastErrorHResult();
  // The current folder changed between the two calls.
  if (written >= needed) return E_UNEXPECTED;
  buffer.resize(written);
  fullPath = std::move(buffer);
  return S_OK;
}

// From the last '.' of the whole path: a dot in a folder name counts when the
// file name has none, and such a path is then refused as not an executable.
std::wstring ExtensionOf(const std::wstring& path) {
  const size_t dot = path.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : path.substr(dot);
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"/\\");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

UniqueIcon ExecutableIcon(const std::wstring& path) {
  HICON large = nullptr;
  const HRESULT hr = ::SHDefExtractIconW(path.c_str(), 0, 0, &large, nullptr, MAKELONG(kPreferredIconSize, 0));
  UniqueIcon icon(large);
  if (hr == S_OK && icon) return icon;
  icon.reset();

  large = nullptr;
  ::ExtractIconExW(path.c_str(), 0, &large, nullptr, 1);
  return UniqueIcon(large);
}

void ReadIcon(ProgramMetadata& record) {
  UniqueIcon icon = ExecutableIcon(record.path);
  if (!icon) {
    icon.reset(::CopyIcon(::LoadIconW(nullptr, IDI_APPLICATION)));
    record.warnings.push_back(kIconUnavailableWarning);
  }
  if (icon) {
    record.icon = IconToPng(icon.get());
    icon.reset();
  }
  if (record.icon.empty()) record.warnings.push_back(kPngUnavailableWarning);
}

ProgramMetadata Read(std::wstring_view chosenPath) {
  if (chosenPath.empty() || chosenPath.find(L'\0') != std::wstring_view::npos) {
    return Failure(E_INVALIDARG, "invalid_file", "empty or invalid path");
  }
  std::wstring path;
  HRESULT hr = FullPathOf(std::wstring(chosenPath), path);
  if (FAILED(hr)) return Failure(hr, "file_unavailable", "GetFullPathNameW");

  std::wstring extension = ExtensionOf(path);
  if (::_wcsicmp(extension.c_str(), L".lnk") == 0) {
    std::wstring target;
    hr = ResolveShortcut(path, target);
    if (FAILED(hr)) return Failure(hr, "shortcut_failed", "IShellLinkW::GetPath");
    hr = FullPathOf(target, path);
    if (FAILED(hr)) return Failure(hr, "shortcut_failed", "shortcut target path");
    extension = ExtensionOf(path);
  }
  if (::_wcsicmp(extension.c_str(), L".exe") != 0) return Failure(E_INVALIDARG, "invalid_file", "expected .exe");

  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Failure(LastErrorHResult(), "file_unavailable", "GetFileAttributesW");
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Failure(E_INVALIDARG, "invalid_file", "selected path is a directory");
  }

  ProgramMetadata record;
  record.path = std::move(path);
  record.executableName = FileNameOf(record.path);
  // The interface keeps executable names in comma-separated lists.
  if (record.executableName.find(L',') != std::wstring::npos) {
    return Failure(E_INVALIDARG, "invalid_process_name", "comma in executable name");
  }

  record.name = GetFileDescription(record.path);
  if (record.name.empty()) {
    const size_t length = record.executableName.size();
    record.name = length < 4 ? record.executableName : record.executableName.substr(0, length - 4);
    record.warnings.push_back(kDescriptionUnavailableWarning);
  }
  ReadIcon(record);
  return record;
}

}  // namespace

ProgramMetadata ReadProgramMetadata(std::wstring_view path) noexcept {
  try {
    return Read(path);
  } catch (const std::bad_alloc&) {
    // No text: building it could fail the same way. The picker has its own.
    ProgramMetadata record;
    record.status = E_OUTOFMEMORY;
    return record;
  } catch (...) {
    ProgramMetadata record;
    record.status = E_UNEXPECTED;
    return record;
  }
}

}  // namespace orv
