// The user context as the interface reads it: written once at start-up, read
// without a lock afterwards.

#include "kilna/kilna_exports.h"

#include "native/user/user_context.h"

extern "C" {

const char* OrvGetUserContext() noexcept { return orv::UserContextText(); }

void* OrvGetInteractiveUserToken() noexcept { return orv::InteractiveUserToken(); }

}  // extern "C"
