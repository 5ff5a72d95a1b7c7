#pragma once
// COM ownership: a reference-counted smart pointer and an initialisation scope
// that uninitialises only what it initialised.

#include <windows.h>

#include <objbase.h>

namespace orv {

template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) { AddRef(); }
  ComPtr(ComPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ComPtr& operator=(ComPtr other) noexcept {
    T* old = ptr_;
    ptr_ = other.ptr_;
    other.ptr_ = old;
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr Attach(T* raw) noexcept {
    ComPtr result;
    result.ptr_ = raw;
    return result;
  }

  T* get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }

  T* detach() noexcept {
    T* raw = ptr_;
    ptr_ = nullptr;
    return raw;
  }

  void reset() noexcept {
    if (ptr_ != nullptr) {
      T* old = ptr_;
      ptr_ = nullptr;
      old->Release();
    }
  }

  // For out parameters: releases what is held, then hands out the slot.
  T** put() noexcept {
    reset();
    return &ptr_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  template <typename U>
  [[nodiscard]] HRESULT As(ComPtr<U>& out) const noexcept {
    if (ptr_ == nullptr) return E_POINTER;
    return ptr_->QueryInterface(__uuidof(U), out.put_void());
  }

 private:
  void AddRef() noexcept {
    if (ptr_ != nullptr) ptr_->AddRef();
  }

  T* ptr_ = nullptr;
};

class ComInitScope {
 public:
  explicit ComInitScope(DWORD model) noexcept : result_(::CoInitializeEx(nullptr, model)) {}
  ComInitScope(const ComInitScope&) = delete;
  ComInitScope& operator=(const ComInitScope&) = delete;
  ~ComInitScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  [[nodiscard]] HRESULT result() const noexcept { return result_; }
  bool succeeded() const noexcept { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

}  // namespace orv
