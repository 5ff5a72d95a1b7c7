#include "runner/ticket_picker/file_dialogs.h"

#include <shobjidl.h>

#include <mutex>

#include "native/common/com_ptr.h"
#include "native/common/unique_resource.h"
#include "runner/ticket_picker/cancel_window.h"
#include "runner/ticket_picker/dialog_platform.h"
#include "runner/ticket_picker/last_error_hresult.h"

namespace orv {
namespace {

constexpr FILEOPENDIALOGOPTIONS kOpenOptions =
    FOS_NOCHANGEDIR | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT | FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST;
constexpr FILEOPENDIALOGOPTIONS kSaveOptions =
    FOS_OVERWRITEPROMPT | FOS_NOCHANGEDIR | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
static_assert(kOpenOptions == 0x1A48 && kSaveOptions == 0x84A);

constexpr COMDLG_FILTERSPEC kProgramsType{L"\u5e94\u7528\u7a0b\u5e8f", L"*.exe;*.lnk"};
constexpr COMDLG_FILTERSPEC kImagesType{L"Images", L"*.jpg;*.jpeg;*.png;*.webp"};
constexpr COMDLG_FILTERSPEC kPngType{L"PNG", L"*.png"};

template <typename Dialog>
[[nodiscard]] HRESULT CreateFileDialog(REFCLSID kind, ComPtr<Dialog>& dialog) {
  return ActiveDialogPlatform().CoCreateInstance(kind, nullptr, CLSCTX_INPROC_SERVER, __uuidof(Dialog),
                                                 dialog.put_void());
}

[[nodiscard]] HRESULT Configure(IFileDialog& dialog, FILEOPENDIALOGOPTIONS extra, const COMDLG_FILTERSPEC& type) {
  FILEOPENDIALOGOPTIONS options = 0;
  HRESULT hr = dialog.GetOptions(&options);
  if (FAILED(hr)) return hr;
  hr = dialog.SetOptions(options | extra);
  if (FAILED(hr)) return hr;
  return dialog.SetFileTypes(1, &type);
}

// Shows the dialog unless the picker is already going; while it is shown, the
// platform thread can close it through the cancel window.
[[nodiscard]] HRESULT Show(IFileDialog& dialog, PickerState& state) {
  UniqueWindow cancelWindow = CreateCancelWindow(&dialog);
  if (!cancelWindow) return LastErrorHResult();
  bool cancelled = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.cancelWindow = cancelWindow.get();
    cancelled = state.cancelled;
  }
  const HRESULT hr = cancelled ? kPickerCancelled : dialog.Show(state.owner);
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.cancelWindow = nullptr;
  }
  return hr;
}

[[nodiscard]] HRESULT AppendPath(IShellItem& item, std::vector<std::wstring>& paths) {
  UniqueCoTaskMem<PWSTR> path;
  const HRESULT hr = item.GetDisplayName(SIGDN_FILESYSPATH, path.put());
  if (FAILED(hr)) return hr;
  paths.emplace_back(path.get());
  return S_OK;
}

}  // namespace

HRESULT RunOpenDialog(PickerState& state, std::vector<std::wstring>& paths) {
  ComPtr<IFileOpenDialog> dialog;
  HRESULT hr = CreateFileDialog(CLSID_FileOpenDialog, dialog);
  if (FAILED(hr)) return hr;
  hr = Configure(*dialog.get(), kOpenOptions, state.isPrograms ? kProgramsType : kImagesType);
  if (FAILED(hr)) return hr;
  hr = Show(*dialog.get(), state);
  if (FAILED(hr)) return hr;

  ComPtr<IShellItemArray> items;
  hr = dialog->GetResults(items.put());
  if (FAILED(hr)) return hr;
  DWORD count = 0;
  hr = items->GetCount(&count);
  if (FAILED(hr)) return hr;
  for (DWORD i = 0; i < count; ++i) {
    ComPtr<IShellItem> item;
    hr = items->GetItemAt(i, item.put());
    if (FAILED(hr)) return hr;
    hr = AppendPath(*item.get(), paths);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT RunSaveDialog(PickerState& state, std::vector<std::wstring>& paths) {
  ComPtr<IFileSaveDialog> dialog;
  HRESULT hr = CreateFileDialog(CLSID_FileSaveDialog, dialog);
  if (FAILED(hr)) return hr;
  hr = Configure(*dialog.get(), kSaveOptions, kPngType);
  if (FAILED(hr)) return hr;
  hr = dialog->SetDefaultExtension(L"png");
  if (FAILED(hr)) return hr;
  hr = dialog->SetFileName(state.suggestedName.c_str());
  if (FAILED(hr)) return hr;
  hr = Show(*dialog.get(), state);
  if (FAILED(hr)) return hr;

  ComPtr<IShellItem> item;
  hr = dialog->GetResult(item.put());
  if (FAILED(hr)) return hr;
  return AppendPath(*item.get(), paths);
}

}  // namespace orv
