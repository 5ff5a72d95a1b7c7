#pragma once
// Exports of the stand-in engine beyond the engine's own interface, for the
// stand-in plug-ins, the client library and the tests. Nothing in the product
// calls them.

#include "flutter_windows.h"

#if defined(__cplusplus)
extern "C" {
#endif

// Records a plug-in library's registration with its registrar: its name, its
// 1-based order among that engine's plug-in registrations, and the window.
FLUTTER_EXPORT void FlutterStandinRecordPluginRegistration(FlutterDesktopPluginRegistrarRef registrar,
                                                           const char* plugin_name);

// The messenger's reference count, so tests can tell who still holds it.
FLUTTER_EXPORT int FlutterStandinMessengerReferenceCount(FlutterDesktopMessengerRef messenger);

// How a message from the interface ended. A response without data (a null
// buffer) is how the client library ends a call its handler dropped.
typedef enum { kFlutterStandinAnswered, kFlutterStandinUnanswered, kFlutterStandinNoEngine } FlutterStandinOutcome;
typedef void (*FlutterStandinReply)(FlutterStandinOutcome outcome, const uint8_t* data, size_t data_size,
                                    void* user_data);

// Delivers a message as the interface would send it. Call on the platform
// thread; `reply` runs exactly once, on the platform thread: with the answer,
// when the handler dropped it, or when the engine went away first. A channel
// without a handler answers empty at once.
FLUTTER_EXPORT void FlutterStandinEngineDeliverMessage(FlutterDesktopEngineRef engine, const char* channel,
                                                       const uint8_t* message, size_t message_size,
                                                       FlutterStandinReply reply, void* user_data);

#if defined(__cplusplus)
}
#endif
