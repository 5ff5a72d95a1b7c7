// The protected directories as the interface asks for them: real file-system
// calls, and the facts the start-up capture left behind.

#include "kilna/kilna_exports.h"

#include "native/common/export_barrier.h"
#include "native/user/protected_dirs.h"
#include "native/user/token_queries.h"
#include "native/user/user_context.h"

namespace {

orv::ProtectedDirsContext ProcessContext() {
  orv::ProtectedDirsContext context;
  context.facts.programData = orv::ProgramDataPath();
  context.facts.elevated = orv::IsProcessElevated();
  if (HANDLE token = orv::InteractiveUserToken(); token != nullptr) {
    context.facts.userSid = orv::TokenSidString(token);
  }
  return context;
}

}  // namespace

extern "C" {

uint32_t WINAPI OrvCreateProtectedTemp(const wchar_t* name, wchar_t** outPath) noexcept {
  return orv::GuardExport([&] { return orv::CreateProtectedTemp(ProcessContext(), name, outPath); },
                          ERROR_NOT_ENOUGH_MEMORY);
}

uint32_t WINAPI OrvCreateProtectedUpdateTemp(wchar_t** outPath) noexcept {
  return orv::GuardExport([&] { return orv::CreateProtectedUpdateTemp(ProcessContext(), outPath); },
                          ERROR_NOT_ENOUGH_MEMORY);
}

uint32_t WINAPI OrvGetProtectedUpdateCache(wchar_t** outPath) noexcept {
  return orv::GuardExport([&] { return orv::GetProtectedUpdateCache(ProcessContext(), outPath); },
                          ERROR_NOT_ENOUGH_MEMORY);
}

}  // extern "C"
