#pragma once
// The event-id filter of event tracing, which the MinGW-w64 headers lack,
// under its SDK names and layout.

#include <windows.h>

#include <cstddef>

// The event-id filter of EnableTraceEx2 (Windows 8.1 and later): FilterIn,
// Reserved, Count, then Count ids; 4 + 2 × Count bytes.

#include <evntrace.h>

#ifndef EVENT_FILTER_TYPE_EVENT_ID
#define EVENT_FILTER_TYPE_EVENT_ID (0x80000200)
#endif

typedef struct _EVENT_FILTER_EVENT_ID {  // NOLINT(bugprone-reserved-identifier): the SDK's own tag
  BOOLEAN FilterIn;
  UCHAR Reserved;
  USHORT Count;
  USHORT Events[ANYSIZE_ARRAY];
} EVENT_FILTER_EVENT_ID, *PEVENT_FILTER_EVENT_ID;
static_assert(offsetof(EVENT_FILTER_EVENT_ID, Count) == 2);
static_assert(offsetof(EVENT_FILTER_EVENT_ID, Events) == 4);
