#pragma once
// One key of the user's registry, owned: every read and write of the proxy's
// registry values goes through it, so a value is always read whole with its
// own type and bounded in size, and a result code is never dropped unseen.

#include <windows.h>

#include "native/common/unique_resource.h"
#include "native/proxy/proxy_values.h"

namespace orv::proxy {

class RegistryKey {
 public:
  // Opens `path` under HKEY_CURRENT_USER (the hive of the user the thread
  // acts as); `key` holds nothing on failure.
  [[nodiscard]] static LSTATUS Open(const wchar_t* path, REGSAM access, RegistryKey& key);
  // Opens `path`, creating it (and its parents) when missing.
  [[nodiscard]] static LSTATUS Create(const wchar_t* path, REGSAM access, RegistryKey& key);

  // Reads one value exactly as stored; a missing value reads as absent, not
  // as an error; one larger than `maxBytes` is refused with ERROR_INVALID_DATA.
  [[nodiscard]] DWORD Read(const wchar_t* name, DWORD maxBytes, RawValue& value) const;
  // Writes `value` with its own type and bytes, or deletes the value when it
  // is absent (ERROR_FILE_NOT_FOUND when there was none).
  [[nodiscard]] LSTATUS Write(const wchar_t* name, const RawValue& value) const;

  explicit operator bool() const { return key_.valid(); }
  HKEY get() const { return key_.get(); }

 private:
  UniqueRegKey key_;
};

}  // namespace orv::proxy
