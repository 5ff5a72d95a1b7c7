#pragma once
// The Windows 11 corner preference the MinGW-w64 dwmapi.h lacks, under its
// SDK names and values.

#include <windows.h>

#include <dwmapi.h>

constexpr DWORD DWMWA_WINDOW_CORNER_PREFERENCE = 33;
enum DWM_WINDOW_CORNER_PREFERENCE {
  DWMWCP_DEFAULT = 0,
  DWMWCP_DONOTROUND = 1,
  DWMWCP_ROUND = 2,
  DWMWCP_ROUNDSMALL = 3,
};
