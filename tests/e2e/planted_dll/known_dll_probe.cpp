// A program that imports only the KnownDLLs kilna.exe imports, limits its DLL
// search the way kilna.exe does, and uses none of the other system DLLs. A
// planted DLL that loads beside it is pulled in by the emulation's own
// libraries, not by anything of ours.

#include <winsock2.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto limit = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (limit != nullptr) limit(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // One call into each imported library, so none is dropped from the import table.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  wchar_t* folder = nullptr;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) ::CoTaskMemFree(folder);
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) == 0) ::WSACleanup();
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS) ::RegCloseKey(key);
  ::DeleteObject(::CreateSolidBrush(0));
  ::GetSystemMetrics(SM_CXSCREEN);
  ::CoUninitialize();
  return 0;
}
