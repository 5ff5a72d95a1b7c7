// A wininet.dll for end-to-end tests only: the per-connection proxy options of
// the default connection as Windows documents them (the flags as the user
// chose them and as in effect), kept in the user's Internet Settings values;
// the settings-changed and refresh notifications succeed. The tests put it in
// the system folder of their Wine prefix for a copy of kilna.exe alone, never
// beside the product.

#include <windows.h>

#include "tests/native/proxy/option_list.h"
#include "tests/native/proxy/options_in_registry.h"

namespace {

using orv::proxy::ProxyOptions;
using namespace orv::proxy::test;

BOOL Refuse(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

BOOL Succeed(DWORD error) { return error == ERROR_SUCCESS ? TRUE : Refuse(error); }

// A test that wants to kill kilna.exe inside a set asks for each set to wait
// first, with the DWORD "SlowSetMs" beside the detection values.
void WaitIfAsked() {
  DWORD ms = 0;
  DWORD size = sizeof(ms);
  if (::RegGetValueW(HKEY_CURRENT_USER, kTestDetectionPath, L"SlowSetMs", RRF_RT_REG_DWORD, nullptr, &ms, &size) ==
      ERROR_SUCCESS) {
    ::Sleep(ms);
  }
}

}  // namespace

extern "C" {

// Exported as InternetQueryOptionW (see the .def file).
BOOL WINAPI QueryPerConnectionOption(HINTERNET internet, DWORD option, LPVOID buffer, LPDWORD length) {
  auto* list = static_cast<INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  if (internet != nullptr || option != INTERNET_OPTION_PER_CONNECTION_OPTION || length == nullptr ||
      !IsDefaultConnectionList(list, *length)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  ProxyOptions options;
  DWORD flagsInEffect = 0;
  if (const DWORD error = LoadOptionsFromRegistry(options, flagsInEffect); error != ERROR_SUCCESS) {
    return Refuse(error);
  }
  return Succeed(AnswerOptionQuery(options, flagsInEffect, *list));
}

// Exported as InternetSetOptionW.
BOOL WINAPI SetPerConnectionOption(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length) {
  if (internet != nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  if (option == INTERNET_OPTION_SETTINGS_CHANGED || option == INTERNET_OPTION_REFRESH) return TRUE;
  const auto* list = static_cast<const INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
  if (option != INTERNET_OPTION_PER_CONNECTION_OPTION || !IsDefaultConnectionList(list, length)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  WaitIfAsked();
  ProxyOptions options;
  DWORD flagsInEffect = 0;
  if (const DWORD error = LoadOptionsFromRegistry(options, flagsInEffect); error != ERROR_SUCCESS) {
    return Refuse(error);
  }
  if (const DWORD error = ApplyOptionSet(*list, options); error != ERROR_SUCCESS) return Refuse(error);
  return Succeed(StoreOptionsInRegistry(options));
}

}  // extern "C"
