#include "runner/ticket_picker/shortcut_target.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>

#include "native/common/com_ptr.h"
#include "runner/ticket_picker/last_error_hresult.h"

namespace orv {
namespace {

constexpr int kMaxTargetChars = 32768;

[[nodiscard]] HRESULT ExpandEnvironmentReferences(const std::wstring& text, std::wstring& expanded) {
  const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return LastErrorHResult();
  std::wstring buffer(needed, L'\0');
  const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
  if (written == 0) return LastErrorHResult();
  // A variable changed between the two calls.
  if (written > needed) return E_UNEXPECTED;
  buffer.resize(std::wcslen(buffer.c_str()));
  expanded = std::move(buffer);
  return S_OK;
}

}  // namespace

HRESULT ResolveShortcut(const std::wstring& shortcutPath, std::wstring& target) {
  ComPtr<IShellLinkW> link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                  link.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<IPersistFile> file;
  hr = link.As(file);
  if (FAILED(hr)) return hr;
  hr = file->Load(shortcutPath.c_str(), STGM_READ);
  if (FAILED(hr)) return hr;

  // The raw form keeps environment references, expanded below in this process.
  std::wstring stored(kMaxTargetChars, L'\0');
  hr = link->GetPath(stored.data(), kMaxTargetChars, nullptr, SLGP_RAWPATH);
  if (FAILED(hr)) return hr;
  stored.resize(std::wcslen(stored.c_str()));
  if (stored.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  return ExpandEnvironmentReferences(stored, target);
}

}  // namespace orv
