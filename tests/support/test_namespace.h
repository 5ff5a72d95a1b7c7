#pragma once
// Test support: whether this test runs inside the run's own network
// namespace (scripts/test starts the Wine session in it). Tests that resolve
// names or read interface tables check this first, and never query outside.

#include <string>

namespace orv::test {

// Empty when inside; otherwise why not, for the failure message.
std::string WhyNotInTestNamespace();

}  // namespace orv::test
