#pragma once
// One picker call as the platform thread and its dialog thread share it. The
// last holder of the shared pointer frees it.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "runner/ticket_picker/program_metadata.h"

namespace orv {

// How a dialog ends when the user cancels it or the picker closes it.
inline constexpr HRESULT kPickerCancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);

struct PickerState {
  std::mutex mutex;                // guards the fields marked (m)
  bool cancelled = false;          // (m) the plug-in is going: show nothing, post nothing
  HWND cancelWindow = nullptr;     // (m) message-only window of the open dialog
  HWND owner = nullptr;            // dialog owner and target of the completion message
  HRESULT result = S_OK;           // (m) outcome of the dialog or the reader
  std::vector<std::wstring> paths; // (m) chosen file-system paths
  bool isPrograms = false;
  bool isReadProgram = false;
  bool isSave = false;
  std::wstring path;               // readProgram argument
  std::wstring suggestedName;      // saveReferralPoster argument
  ProgramMetadata metadata;        // written by the dialog thread before it posts
};

}  // namespace orv
