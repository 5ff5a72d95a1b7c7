#include "native/common/caller_buffer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr std::uint32_t kSentinel = 0xA5A5A5A5u;

TEST(CallerBuffer, OpenChecksWrittenBeforeTouchingAnything) {
  std::array<std::uint8_t, 4> bytes{};
  EXPECT_EQ((orv::CallerBuffer{bytes.data(), 4, nullptr}.Open()), 87u);

  std::uint32_t written = kSentinel;
  EXPECT_EQ((orv::CallerBuffer{nullptr, 4, &written}.Open()), 87u);
  EXPECT_EQ(written, 0u);

  written = kSentinel;
  EXPECT_EQ((orv::CallerBuffer{bytes.data(), 0, &written}.Open()), 0u);
  EXPECT_EQ(written, 0u);

  written = kSentinel;
  orv::CallerBuffer{nullptr, 0, &written}.ClearWritten();
  EXPECT_EQ(written, 0u);
  orv::CallerBuffer{}.ClearWritten();  // no out length: nothing to clear, no crash
}

TEST(CallerBuffer, DeliverCopiesOnlyWhatFitsWithoutANul) {
  const std::string text = "{\"status\":\"clear\"}";
  std::string bytes(text.size() + 2, '#');
  auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());

  std::uint32_t written = kSentinel;
  const auto tight = static_cast<std::uint32_t>(text.size());
  EXPECT_EQ((orv::CallerBuffer{data, tight - 1, &written}.Deliver(text)), 122u);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(bytes, std::string(text.size() + 2, '#'));  // nothing partial

  written = kSentinel;
  EXPECT_EQ((orv::CallerBuffer{data, tight, &written}.Deliver(text)), 0u);
  EXPECT_EQ(written, text.size());
  EXPECT_EQ(bytes, text + "##");  // no NUL after the text

  written = kSentinel;
  EXPECT_EQ((orv::CallerBuffer{nullptr, 100, &written}.Deliver(text)), 87u);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ((orv::CallerBuffer{data, 100, nullptr}.Deliver(text)), 87u);

  written = kSentinel;
  EXPECT_EQ((orv::CallerBuffer{data, 0, &written}.Deliver("")), 0u);
  EXPECT_EQ(written, 0u);
}

}  // namespace
