#pragma once
// Platform SDK items that the MinGW-w64 headers lack, under their SDK names
// and values, so the code reads the same as it would against the real SDK.

#include <windows.h>

#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

// Window corner preference (Windows 11 DWM), absent from the MinGW dwmapi.h.
#include <dwmapi.h>

constexpr DWORD DWMWA_WINDOW_CORNER_PREFERENCE = 33;
enum DWM_WINDOW_CORNER_PREFERENCE {
  DWMWCP_DEFAULT = 0,
  DWMWCP_DONOTROUND = 1,
  DWMWCP_ROUND = 2,
  DWMWCP_ROUNDSMALL = 3,
};
