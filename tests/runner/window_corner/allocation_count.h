#pragma once
// Counts the heap allocations made on the calling thread, so that tests can
// show that a refused input allocates nothing.

namespace orv {

class AllocationCount {
 public:
  AllocationCount();
  // Allocations on this thread since construction.
  long long Since() const;

 private:
  long long start_;
};

}  // namespace orv
