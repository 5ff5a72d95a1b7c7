#pragma once
// Error codes the MinGW-w64 headers lack, under their SDK names and values.

#include <windows.h>

#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

#ifndef ERROR_PROCESS_NOT_IN_JOB
#define ERROR_PROCESS_NOT_IN_JOB 759L
#endif
