#include "kilna/kilna_exports.h"

#include "native/common/export_barrier.h"
#include "native/user/launch_program.h"

extern "C" {

uint32_t WINAPI OrvLaunchElevated(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                               int* outProcessId) noexcept {
  return orv::GuardExport([&] {
    return orv::LaunchProgram({file, parameters, directory}, orv::AfterLaunch::kNothing,
                              orv::CurrentLaunchPlatform(), outProcessId);
  });
}

uint32_t WINAPI OrvLaunchInstalledApp(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                                   int* outProcessId) noexcept {
  return orv::GuardExport([&] {
    return orv::LaunchProgram({file, parameters, directory}, orv::AfterLaunch::kHandOffForeground,
                              orv::CurrentLaunchPlatform(), outProcessId);
  });
}

}  // extern "C"
