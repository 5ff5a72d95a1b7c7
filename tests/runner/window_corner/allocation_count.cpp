#include "tests/runner/window_corner/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long long allocations = 0;

void* Allocate(std::size_t size) noexcept {
  ++allocations;
  return std::malloc(size ? size : 1);
}
}  // namespace

// Replaces the global allocation functions of the test program.
void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace orv {

AllocationCount::AllocationCount() : start_(allocations) {}
long long AllocationCount::Since() const { return allocations - start_; }

}  // namespace orv
