#include "runner/ticket_picker/dialog_thread.h"

#include <objbase.h>
#include <process.h>

#include <new>
#include <string>
#include <vector>

#include "native/common/com_ptr.h"
#include "native/common/unique_resource.h"
#include "runner/ticket_picker/cancel_window.h"
#include "runner/ticket_picker/file_dialogs.h"

namespace orv {
namespace {

[[nodiscard]] HRESULT RunPickerWork(PickerState& state, std::vector<std::wstring>& paths) {
  const ComInitScope com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (!com.succeeded()) return com.result();
  if (state.isReadProgram) {
    state.metadata = ReadProgramMetadata(state.path);
    return state.metadata.status;
  }
  if (state.isSave) return RunSaveDialog(state, paths);
  return RunOpenDialog(state, paths);
}

unsigned __stdcall DialogThreadMain(void* parameter) {
  const std::unique_ptr<std::shared_ptr<PickerState>> reference(static_cast<std::shared_ptr<PickerState>*>(parameter));
  PickerState& state = **reference;
  std::vector<std::wstring> paths;
  HRESULT result = E_UNEXPECTED;
  try {
    result = RunPickerWork(state, paths);
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  } catch (...) {
    result = E_UNEXPECTED;
  }
  std::lock_guard<std::mutex> lock(state.mutex);
  state.result = result;
  state.paths = std::move(paths);
  if (!state.cancelled) {
    ::PostMessageW(state.owner, PickerCompletedMessage(), reinterpret_cast<WPARAM>(&state), 0);
  }
  return 0;
}

}  // namespace

bool StartDialogThread(const std::shared_ptr<PickerState>& state) noexcept {
  auto* reference = new (std::nothrow) std::shared_ptr<PickerState>(state);
  if (reference == nullptr) return false;
  const UniqueHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &DialogThreadMain, reference, 0, nullptr)));
  if (!thread) {
    delete reference;
    return false;
  }
  return true;
}

}  // namespace orv
