#pragma once
// The engine's view: a child window that shows the transcript, painted with
// GDI. Its first frame comes FLUTTER_STANDIN_FIRST_FRAME_MS after creation
// (100 ms without it; "never": no frame at all), whether it is visible or not.

#include <windows.h>

struct FlutterDesktopEngine;

namespace standin {

// Created under the message-only parent until the host adopts it (SetParent).
HWND CreateViewWindow(FlutterDesktopEngine* engine, int width, int height);
void DestroyViewWindow(HWND view);
// Another frame soon, if frames are drawn at all.
void ScheduleNextFrame(HWND view);

}  // namespace standin
