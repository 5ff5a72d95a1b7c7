#pragma once
// One move-only owner for every kind of platform handle. A kind is described by
// a small traits struct (its type, its invalid value and how it is closed), so
// each handle kind is a one-line alias below.

#include <windows.h>

#include <objbase.h>
#include <sddl.h>

#include <utility>

namespace orv {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Type value) noexcept : value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Type get() const noexcept { return value_; }
  bool valid() const noexcept { return Traits::IsValid(value_); }
  explicit operator bool() const noexcept { return valid(); }

  Type release() noexcept {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  // Keeps the thread's last error: `owner.reset(CreateMutexW(...))` is read
  // with GetLastError() right after, and the close must not answer for the
  // create. Destruction, moves and put() close through here too.
  void reset(Type value = Traits::Invalid()) noexcept {
    Type old = value_;
    value_ = value;
    if (!Traits::IsValid(old)) return;
    const DWORD lastError = ::GetLastError();
    Traits::Close(old);
    ::SetLastError(lastError);
  }

  // For out parameters: releases what is held, then hands out the slot.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

namespace handle_traits {

struct Kernel {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct RegKey {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

template <typename T>
struct Local {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type p) noexcept { return p != nullptr; }
  static void Close(Type p) noexcept { ::LocalFree(reinterpret_cast<HLOCAL>(p)); }
};

template <typename T>
struct CoTaskMem {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type p) noexcept { return p != nullptr; }
  static void Close(Type p) noexcept { ::CoTaskMemFree(const_cast<void*>(static_cast<const void*>(p))); }
};

struct Global {
  using Type = HGLOBAL;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::GlobalFree(h); }
};

template <typename T>
struct GdiObject {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct MemoryDc {
  using Type = HDC;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::DeleteDC(h); }
};

struct Icon {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::DestroyIcon(h); }
};

struct Module {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

}  // namespace handle_traits

using UniqueHandle = UniqueResource<handle_traits::Kernel>;
using UniqueRegKey = UniqueResource<handle_traits::RegKey>;
template <typename T>
using UniqueLocal = UniqueResource<handle_traits::Local<T>>;
template <typename T>
using UniqueCoTaskMem = UniqueResource<handle_traits::CoTaskMem<T>>;
using UniqueGlobal = UniqueResource<handle_traits::Global>;
template <typename T>
using UniqueGdiObject = UniqueResource<handle_traits::GdiObject<T>>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueRegion = UniqueGdiObject<HRGN>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniqueMemoryDc = UniqueResource<handle_traits::MemoryDc>;
using UniqueIcon = UniqueResource<handle_traits::Icon>;
using UniqueModule = UniqueResource<handle_traits::Module>;
// Security descriptors from the SDDL and security-info functions are LocalAlloc'd.
using UniqueSecurityDescriptor = UniqueLocal<PSECURITY_DESCRIPTOR>;

}  // namespace orv
