#include "native/user/launch_program.h"

#include "native/common/com_ptr.h"
#include "native/common/unique_resource.h"
#include "native/user/foreground_handoff.h"
#include "native/user/sdk_additions_errors.h"

namespace orv {
namespace {

// The 64-bit layout the shell expects.
static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

constexpr ULONG kLaunchMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
static_assert(kLaunchMask == 0x540);

}  // namespace

LaunchPlatform& CurrentLaunchPlatform() {
  static auto* platform = new LaunchPlatform();  // kept until exit
  return *platform;
}

DWORD LaunchProgram(const LaunchRequest& request, AfterLaunch after, const LaunchPlatform& platform,
                    int* outProcessId) {
  if (request.file == nullptr || outProcessId == nullptr) return ERROR_INVALID_PARAMETER;
  *outProcessId = 0;

  // The shell may use COM on this thread; an apartment the caller already has is kept.
  const ComInitScope com(COINIT_APARTMENTTHREADED);

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = kLaunchMask;
  info.hwnd = nullptr;
  // Already elevated: "runas" would only show a needless prompt.
  info.lpVerb = platform.IsElevated() ? L"open" : L"runas";
  info.lpFile = request.file;
  info.lpParameters = request.parameters;
  info.lpDirectory = request.directory;
  info.nShow = SW_SHOWNORMAL;
  if (!platform.ShellExecuteExW(&info)) {
    const DWORD error = ::GetLastError();
    // A failure must never read as success.
    return error != ERROR_SUCCESS ? error : ERROR_INTERNAL_ERROR;
  }
  const UniqueHandle process(info.hProcess);
  if (!process) return ERROR_PROCESS_NOT_IN_JOB;

  const DWORD processId = ::GetProcessId(process.get());
  *outProcessId = static_cast<int>(processId);
  if (after == AfterLaunch::kHandOffForeground) HandOffForeground(process.get(), processId, platform.handOffBoundMs);
  return ERROR_SUCCESS;
}

}  // namespace orv
