#pragma once
// How the picker makes its file dialog objects, as one table. Production code
// uses the default-constructed table, which holds the real function; tests put
// a table of their own in place to make a dialog that cannot be created.

#include <windows.h>

#include <objbase.h>

namespace orv {

struct DialogPlatform {
  decltype(&::CoCreateInstance) CoCreateInstance = ::CoCreateInstance;
};

// The table in use: the real one unless a test has put another in place. Read
// on dialog threads.
const DialogPlatform& ActiveDialogPlatform() noexcept;

// Puts `platform` in place for as long as this object lives.
class DialogPlatformOverride {
 public:
  explicit DialogPlatformOverride(const DialogPlatform& platform) noexcept;
  ~DialogPlatformOverride();
  DialogPlatformOverride(const DialogPlatformOverride&) = delete;
  DialogPlatformOverride& operator=(const DialogPlatformOverride&) = delete;

 private:
  const DialogPlatform* previous_;
};

}  // namespace orv
