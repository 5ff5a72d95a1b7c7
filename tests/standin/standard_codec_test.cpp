#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "flutter/method_result_functions.h"
#include "flutter/standard_message_codec.h"
#include "flutter/standard_method_codec.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

const flutter::StandardMessageCodec& Messages() { return flutter::StandardMessageCodec::GetInstance(); }
const flutter::StandardMethodCodec& Methods() { return flutter::StandardMethodCodec::GetInstance(); }

Bytes Encode(const EncodableValue& value) { return *Messages().EncodeMessage(value); }

EncodableValue RoundTrip(const EncodableValue& value) {
  auto decoded = Messages().DecodeMessage(Encode(value));
  EXPECT_NE(decoded, nullptr);
  return decoded ? *decoded : EncodableValue("<failed>");
}

TEST(StandardCodec, EveryValueTypeSurvivesARoundTrip) {
  const std::vector<EncodableValue> values = {
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(false),
      EncodableValue(int32_t{-7}),
      EncodableValue(int64_t{1} << 40),
      EncodableValue(3.25),
      EncodableValue(std::string("h\xC3\xA9llo")),
      EncodableValue(Bytes{0, 1, 255}),
      EncodableValue(std::vector<int32_t>{-1, 2, std::numeric_limits<int32_t>::max()}),
      EncodableValue(std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 5}),
      EncodableValue(std::vector<double>{0.5, -1e300}),
      EncodableValue(std::vector<float>{1.5f, -2.0f}),
      EncodableValue(EncodableList{EncodableValue(1), EncodableValue("two")}),
      EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(int64_t{9})},
                                  {EncodableValue(3), EncodableValue()}}),
  };
  for (const EncodableValue& value : values) {
    EXPECT_EQ(RoundTrip(value), value) << "variant index " << value.index();
  }
}

TEST(StandardCodec, ThirtyTwoAndSixtyFourBitIntegersStayDistinct) {
  EXPECT_EQ(Encode(EncodableValue(int32_t{1})), (Bytes{3, 1, 0, 0, 0}));
  EXPECT_EQ(Encode(EncodableValue(int64_t{1})), (Bytes{4, 1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(std::holds_alternative<int32_t>(RoundTrip(EncodableValue(int32_t{1}))));
  EXPECT_TRUE(std::holds_alternative<int64_t>(RoundTrip(EncodableValue(int64_t{1}))));
  EXPECT_EQ(EncodableValue(int32_t{-3}).LongValue(), -3);
  EXPECT_EQ(EncodableValue(int64_t{-3}).LongValue(), -3);
}

TEST(StandardCodec, SizesUseOneThreeOrFiveBytes) {
  struct Row {
    size_t size;
    Bytes header;
  };
  const Row rows[] = {
      {0, {0}},
      {253, {253}},
      {254, {254, 254, 0}},
      {65535, {254, 255, 255}},
      {65536, {255, 0, 0, 1, 0}},
  };
  for (const Row& row : rows) {
    const Bytes text = Encode(EncodableValue(std::string(row.size, 'x')));
    ASSERT_EQ(text.size(), 1 + row.header.size() + row.size) << row.size;
    EXPECT_EQ(Bytes(text.begin() + 1, text.begin() + 1 + row.header.size()), row.header) << row.size;
    EXPECT_EQ(std::get<std::string>(RoundTrip(EncodableValue(std::string(row.size, 'x')))).size(), row.size);

    EncodableList list(row.size, EncodableValue(true));
    const Bytes listBytes = Encode(EncodableValue(list));
    EXPECT_EQ(listBytes[0], 12);
    EXPECT_EQ(Bytes(listBytes.begin() + 1, listBytes.begin() + 1 + row.header.size()), row.header) << row.size;
    EXPECT_EQ(std::get<EncodableList>(RoundTrip(EncodableValue(list))).size(), row.size);
  }
}

TEST(StandardCodec, DoublesAndTypedListsAreAlignedFromTheMessageStart) {
  // tag at 0, padding to 8, value at 8..15
  const Bytes single = Encode(EncodableValue(1.0));
  ASSERT_EQ(single.size(), 16u);
  EXPECT_EQ(Bytes(single.begin() + 1, single.begin() + 8), Bytes(7, 0));

  // list tag, count, then a double whose tag sits at offset 2: padding 3..7
  const Bytes nested = Encode(EncodableValue(EncodableList{EncodableValue(1.0)}));
  ASSERT_EQ(nested.size(), 16u);
  EXPECT_EQ(nested[2], 6);

  // int32 list: tag, count, padding to 4
  const Bytes ints = Encode(EncodableValue(std::vector<int32_t>{7}));
  EXPECT_EQ(ints, (Bytes{9, 1, 0, 0, 7, 0, 0, 0}));
  // float64 list: tag, count, padding to 8
  const Bytes doubles = Encode(EncodableValue(std::vector<double>{0}));
  ASSERT_EQ(doubles.size(), 16u);
  EXPECT_EQ(Bytes(doubles.begin() + 2, doubles.begin() + 8), Bytes(6, 0));
  // int64 list and float32 list
  EXPECT_EQ(Encode(EncodableValue(std::vector<int64_t>{})).size(), 8u);
  EXPECT_EQ(Encode(EncodableValue(std::vector<float>{1.0f})).size(), 8u);

  // list tag, count, string tag, size, "abcd" at 4..7, double tag at 8, padding 9..15, value at 16.
  const EncodableValue mixedValue(EncodableList{EncodableValue("abcd"), EncodableValue(2.0)});
  const Bytes mixed = Encode(mixedValue);
  ASSERT_EQ(mixed.size(), 24u);
  EXPECT_EQ(mixed[8], 6);
  EXPECT_EQ(Bytes(mixed.begin() + 9, mixed.begin() + 16), Bytes(7, 0));
  EXPECT_EQ(RoundTrip(mixedValue), mixedValue);
}

TEST(StandardCodec, NestedListsAndMapsKeepTheirStructure) {
  EncodableMap inner{{EncodableValue("list"), EncodableValue(EncodableList{EncodableValue(1), EncodableValue(2.5)})},
                     {EncodableValue("bytes"), EncodableValue(Bytes{1, 2, 3})}};
  EncodableValue outer(EncodableList{EncodableValue(inner), EncodableValue(EncodableList{}), EncodableValue()});
  EXPECT_EQ(RoundTrip(outer), outer);
}

TEST(StandardMethodCodec, CallsAndEnvelopesHaveTheStandardBytes) {
  flutter::MethodCall<EncodableValue> call("show", std::make_unique<EncodableValue>(true));
  const Bytes callBytes = *Methods().EncodeMethodCall(call);
  EXPECT_EQ(callBytes, (Bytes{7, 4, 's', 'h', 'o', 'w', 1}));
  auto decoded = Methods().DecodeMethodCall(callBytes);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->method_name(), "show");
  EXPECT_EQ(*decoded->arguments(), EncodableValue(true));

  EXPECT_EQ(*Methods().EncodeSuccessEnvelope(), (Bytes{0, 0}));
  const EncodableValue details(int32_t{5});
  EXPECT_EQ(*Methods().EncodeErrorEnvelope("e", "m", &details),
            (Bytes{1, 7, 1, 'e', 7, 1, 'm', 3, 5, 0, 0, 0}));
  EXPECT_EQ(*Methods().EncodeErrorEnvelope("e"), (Bytes{1, 7, 1, 'e', 0, 0}));
}

struct Answer {
  std::string kind;
  EncodableValue value;
  std::string code;
  std::string message;
};

bool Process(const Bytes& response, Answer& answer) {
  flutter::MethodResultFunctions<EncodableValue> result(
      [&](const EncodableValue* value) {
        answer.kind = "success";
        if (value) answer.value = *value;
      },
      [&](const std::string& code, const std::string& message, const EncodableValue* details) {
        answer.kind = "error";
        answer.code = code;
        answer.message = message;
        if (details) answer.value = *details;
      },
      [&] { answer.kind = "notImplemented"; });
  return Methods().DecodeAndProcessResponseEnvelope(response.data(), response.size(), &result);
}

TEST(StandardMethodCodec, EnvelopesDecodeToTheirAnswer) {
  Answer success;
  const EncodableValue value(int64_t{42});
  ASSERT_TRUE(Process(*Methods().EncodeSuccessEnvelope(&value), success));
  EXPECT_EQ(success.kind, "success");
  EXPECT_EQ(success.value, value);

  Answer error;
  const EncodableValue details("why");
  ASSERT_TRUE(Process(*Methods().EncodeErrorEnvelope("invalid_arguments", "Bad.", &details), error));
  EXPECT_EQ(error.kind, "error");
  EXPECT_EQ(error.code, "invalid_arguments");
  EXPECT_EQ(error.message, "Bad.");
  EXPECT_EQ(error.value, details);

  Answer missing;
  ASSERT_TRUE(Process(Bytes{}, missing));
  EXPECT_EQ(missing.kind, "notImplemented");
}

TEST(StandardCodec, MalformedInputIsRejected) {
  const EncodableValue sample(EncodableList{
      EncodableValue("text"), EncodableValue(2.5), EncodableValue(std::vector<int32_t>{1, 2}),
      EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(int64_t{1})}})});
  const Bytes whole = Encode(sample);
  for (size_t cut = 1; cut < whole.size(); ++cut) {
    EXPECT_EQ(Messages().DecodeMessage(whole.data(), cut), nullptr) << "truncated at " << cut;
  }
  Bytes trailing = whole;
  trailing.push_back(0);
  EXPECT_EQ(Messages().DecodeMessage(trailing), nullptr);

  const Bytes rejected[] = {
      {5, 1, 'a'},                       // the large-integer tag is not supported
      {15},                              // unknown tag
      {200},                             // unknown tag
      {7, 255, 255, 255, 255, 255, 'a'},  // string longer than the message
      {8, 254, 0, 1},                    // byte list longer than the message
      {9, 3, 0, 0, 1, 0, 0, 0},          // int32 list longer than the message
      {12, 255, 255, 255, 255, 127},     // list count beyond the message
      {13, 3, 0, 0},                     // map count beyond the message
      {6, 0, 0, 0, 0, 0, 0, 0, 0},       // double cut short by its padding
  };
  for (const Bytes& bytes : rejected) {
    EXPECT_EQ(Messages().DecodeMessage(bytes), nullptr) << "first byte " << int(bytes[0]);
  }

  // Nesting beyond any real message is refused instead of recursing without end.
  Bytes deep(100000, 12);
  for (size_t i = 1; i < deep.size(); i += 2) deep[i] = 1;
  EXPECT_EQ(Messages().DecodeMessage(deep), nullptr);
}

TEST(StandardMethodCodec, MalformedCallsAndEnvelopesAreRejected) {
  EXPECT_EQ(Methods().DecodeMethodCall(Bytes{3, 1, 0, 0, 0}), nullptr);  // name is not a string
  EXPECT_EQ(Methods().DecodeMethodCall(Bytes{7, 4, 's', 'h'}), nullptr);  // truncated name
  EXPECT_EQ(Methods().DecodeMethodCall(Bytes{7, 1, 'a', 0, 0}), nullptr);  // trailing byte
  EXPECT_EQ(Methods().DecodeMethodCall(Bytes{}), nullptr);

  Answer untouched;
  EXPECT_FALSE(Process(Bytes{2, 0}, untouched));                   // unknown envelope flag
  EXPECT_FALSE(Process(Bytes{0, 0, 0}, untouched));                // trailing byte
  EXPECT_FALSE(Process(Bytes{0}, untouched));                      // success without a value
  EXPECT_FALSE(Process(Bytes{1, 3, 1, 0, 0, 0, 0, 0}, untouched));  // error code not a string
  EXPECT_FALSE(Process(Bytes{1, 7, 1, 'e', 3, 1, 0, 0, 0, 0}, untouched));  // message not a string
  EXPECT_TRUE(untouched.kind.empty());
}

}  // namespace
