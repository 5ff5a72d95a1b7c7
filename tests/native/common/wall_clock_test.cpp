#include "native/common/wall_clock.h"

#include <gtest/gtest.h>

namespace {

using orv::MicrosecondsSince1970;

TEST(WallClock, CountsMicrosecondsFrom1970) {
  EXPECT_EQ(MicrosecondsSince1970(116444736000000010ULL), 1u);
  // 2026-01-01T00:00:00Z
  EXPECT_EQ(MicrosecondsSince1970(116444736000000000ULL + 17672256000000000ULL), 1767225600000000ULL);
  // Sub-microsecond remainders are dropped, not rounded.
  EXPECT_EQ(MicrosecondsSince1970(116444736000000019ULL), 1u);
}

TEST(WallClock, NothingBeforeOrAt1970) {
  EXPECT_EQ(MicrosecondsSince1970(0), 0u);
  EXPECT_EQ(MicrosecondsSince1970(116444736000000000ULL), 0u);
  EXPECT_EQ(MicrosecondsSince1970(116444735999999999ULL), 0u);
}

}  // namespace
