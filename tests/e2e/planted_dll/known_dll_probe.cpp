// A program that imports only the KnownDLLs kilna.exe imports, limits its DLL
// search the way kilna.exe does, and loads WinINet from the system folder to
// read the per-connection options, as kilna.exe does; it uses none of the
// other system DLLs. A planted DLL that loads beside it is pulled in by the
// emulation's own libraries, not by anything of ours.

#include <winsock2.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <wininet.h>

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

  using QueryOptionFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD);
  if (HMODULE wininet = ::LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    auto query = reinterpret_cast<QueryOptionFn>(
        reinterpret_cast<void*>(::GetProcAddress(wininet, "InternetQueryOptionW")));
    INTERNET_PER_CONN_OPTIONW option = {};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 1;
    list.pOptions = &option;
    DWORD size = sizeof list;
    if (query != nullptr) query(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size);
  }
  ::CoUninitialize();
  return 0;
}
