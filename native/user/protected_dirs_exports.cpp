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

namespace orv {

DWORD GuardedCreateProtectedTemp(ProtectedDirsContextSource context, const wchar_t* name, wchar_t** outPath) noexcept {
  return GuardExport([&] { return CreateProtectedTemp(context(), name, outPath); }, ERROR_NOT_ENOUGH_MEMORY);
}

DWORD GuardedCreateProtectedUpdateTemp(ProtectedDirsContextSource context, wchar_t** outPath) noexcept {
  return GuardExport([&] { return CreateProtectedUpdateTemp(context(), outPath); }, ERROR_NOT_ENOUGH_MEMORY);
}

DWORD GuardedGetProtectedUpdateCache(ProtectedDirsContextSource context, wchar_t** outPath) noexcept {
  return GuardExport([&] { return GetProtectedUpdateCache(context(), outPath); }, ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace orv

extern "C" {

uint32_t WINAPI OrvCreateProtectedTemp(const wchar_t* name, wchar_t** outPath) noexcept {
  return orv::GuardedCreateProtectedTemp(&ProcessContext, name, outPath);
}

uint32_t WINAPI OrvCreateProtectedUpdateTemp(wchar_t** outPath) noexcept {
  return orv::GuardedCreateProtectedUpdateTemp(&ProcessContext, outPath);
}

uint32_t WINAPI OrvGetProtectedUpdateCache(wchar_t** outPath) noexcept {
  return orv::GuardedGetProtectedUpdateCache(&ProcessContext, outPath);
}

}  // extern "C"
