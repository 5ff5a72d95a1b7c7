#pragma once

#ifdef FLUTTER_DESKTOP_LIBRARY
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
