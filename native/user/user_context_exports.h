#pragma once
// Exports of the interactive user context. Both results are borrowed: the
// caller neither frees the text nor closes the token.

#include <windows.h>

extern "C" {
const char* OrvGetUserContext() noexcept;
HANDLE OrvGetInteractiveUserToken() noexcept;
}
