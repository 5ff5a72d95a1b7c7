#pragma once
// A stand-in engine with its view and the corner plug-in registered, and the
// corner channel's calls made over its real messenger.

#include <flutter_windows.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "flutter/encodable_value.h"

namespace orv::test {

struct Answer {
  std::string kind = "none";  // success, error, notImplemented, none
  flutter::EncodableValue value;
  std::string code;
  std::string message;
};

class CornerEngine {
 public:
  CornerEngine();
  ~CornerEngine();
  CornerEngine(const CornerEngine&) = delete;
  CornerEngine& operator=(const CornerEngine&) = delete;

  FlutterDesktopViewControllerRef controller() const { return controller_; }
  HWND view() const;

  Answer Call(const std::string& method, const flutter::EncodableValue& arguments);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  FlutterDesktopEngineRef engine_ = nullptr;
};

// The arguments of "configure".
flutter::EncodableMap CornerArguments(flutter::EncodableValue enabled, std::int32_t border, std::int32_t fill,
                                      std::int32_t shadow);

}  // namespace orv::test
