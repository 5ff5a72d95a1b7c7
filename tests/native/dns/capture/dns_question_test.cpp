// The question match: which wire questions stand for the traced name.

#include <gtest/gtest.h>

#include <string>

#include "native/dns/capture/dns_message.h"
#include "tests/native/dns/capture/dns_packet_builder.h"

namespace orv::dns {
namespace {

using testing::Append;
using testing::Bytes;
using testing::DnsMessage;
using testing::Question;
using testing::TypeAndClass;
using testing::WireName;

std::uint16_t Match(std::string_view name, const Bytes& message) {
  return MatchQuestion(name, message.data(), message.size());
}

// One question whose section is exactly these bytes.
Bytes WithQuestion(const Bytes& section, std::uint16_t count = 1) { return DnsMessage(7, false, count, section); }

TEST(MatchQuestion, NameInLabelsGivesItsType) {
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test", 1))), 1);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test", 28))), 28);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("HoSt.TEST", 1))), 1);
  EXPECT_EQ(Match("a", WithQuestion(Question("a", 1))), 1);
  // Whatever follows the question (answers) does not matter.
  Bytes withAnswer = Question("host.test", 1);
  Append(withAnswer, {0xC0, 0x0C, 0, 1, 0, 1});
  EXPECT_EQ(Match("host.test", WithQuestion(withAnswer)), 1);
}

TEST(MatchQuestion, NameMustBeUsedUpExactly) {
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host", 1))), 0);
  EXPECT_EQ(Match("host", WithQuestion(Question("host.test", 1))), 0);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.tesu", 1))), 0);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("hosttest", 1))), 0);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test.x", 1))), 0);
}

TEST(MatchQuestion, LabelHoldingADotIsNotTwoLabels) {
  Bytes section = {3, 'a', '.', 'b', 0};
  Append(section, TypeAndClass(1));
  EXPECT_EQ(Match("a.b", WithQuestion(section)), 0);
  EXPECT_EQ(Match("a.b", WithQuestion(Question("a.b", 1))), 1);
}

TEST(MatchQuestion, OnlyOneQuestionOfClassInForAOrAaaa) {
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test", 1), 0)), 0);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test", 1), 2)), 0);
  Bytes chaos = WireName("host.test");
  Append(chaos, TypeAndClass(1, 3));
  EXPECT_EQ(Match("host.test", WithQuestion(chaos)), 0);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test", 5))), 0);
  EXPECT_EQ(Match("host.test", WithQuestion(Question("host.test", 255))), 0);
}

TEST(MatchQuestion, NothingIsReadPastTheMessage) {
  const Bytes whole = WithQuestion(Question("host.test", 1));
  // Every shorter prefix: a label running past the end, a missing type or class.
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(Match("host.test", cut), 0) << size;
  }
  Bytes longLabel = {64};
  longLabel.insert(longLabel.end(), 64, 'a');
  longLabel.push_back(0);
  Append(longLabel, TypeAndClass(1));
  EXPECT_EQ(Match(std::string(64, 'a'), WithQuestion(longLabel)), 0);
  EXPECT_EQ(Match(std::string(63, 'a'), WithQuestion(Question(std::string(63, 'a'), 1))), 1);
}

TEST(MatchQuestion, AtMost128LabelsAndPointers) {
  std::string labels127 = "a";
  for (int i = 1; i < 127; ++i) labels127 += ".a";
  EXPECT_EQ(Match(labels127, WithQuestion(Question(labels127, 1))), 1);  // 127 labels and the zero byte
  const std::string labels128 = labels127 + ".a";
  EXPECT_EQ(Match(labels128, WithQuestion(Question(labels128, 1))), 0);
}

TEST(MatchQuestion, PointersGoStrictlyBackIntoTheQuestion) {
  const auto tail = TypeAndClass(1);
  Bytes toItself = {0xC0, 12};
  Append(toItself, tail);
  EXPECT_EQ(Match("host.test", WithQuestion(toItself)), 0);

  Bytes intoHeader = {0xC0, 4};
  Append(intoHeader, tail);
  EXPECT_EQ(Match("host.test", WithQuestion(intoHeader)), 0);

  Bytes forward = {0xC0, 14};
  Append(forward, Question("host.test", 1));
  EXPECT_EQ(Match("host.test", WithQuestion(forward)), 0);

  Bytes halfPointer = {4, 'h', 'o', 's', 't', 0xC0};
  EXPECT_EQ(Match("host.test", WithQuestion(halfPointer)), 0);

  // Back to the question's own first label: followed, but the walk can only
  // come round to the same pointer again until its steps run out.
  Bytes loop = {1, 'a', 0xC0, 12};
  Append(loop, tail);
  EXPECT_EQ(Match("a.a", WithQuestion(loop)), 0);
  std::string endless = "a";
  for (int i = 0; i < 200; ++i) endless += ".a";
  EXPECT_EQ(Match(endless, WithQuestion(loop)), 0);

  // Into the middle of a label whose byte reads as a length ('0' is 48).
  Bytes inside = {49, '0'};
  inside.insert(inside.end(), 48, 'b');
  Append(inside, {0xC0, 13});
  Append(inside, tail);
  EXPECT_EQ(Match("0" + std::string(48, 'b') + "." + std::string(48, 'b'), WithQuestion(inside)), 0);
}

}  // namespace
}  // namespace orv::dns
