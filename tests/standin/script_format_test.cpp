#include <gtest/gtest.h>

#include "flutter/standard_method_codec.h"
#include "standin/codec/json_value.h"
#include "standin/codec/script_steps.h"
#include "standin/codec/script_values.h"
#include "standin/codec/transcript_lines.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using standin::JsonValue;

EncodableValue FromJson(const std::string& text) {
  JsonValue json;
  std::string error;
  EXPECT_TRUE(standin::ParseJson(text, json, error)) << error;
  EncodableValue value;
  EXPECT_TRUE(standin::JsonToEncodable(json, value, error)) << error;
  return value;
}

std::string ToJson(const EncodableValue& value) {
  std::string out;
  standin::AppendEncodableJson(out, value);
  return out;
}

TEST(ScriptValues, JsonMapsToCodecTypes) {
  EXPECT_EQ(FromJson("null"), EncodableValue());
  EXPECT_EQ(FromJson("true"), EncodableValue(true));
  EXPECT_EQ(FromJson("2147483647"), EncodableValue(int32_t{2147483647}));
  EXPECT_EQ(FromJson("2147483648"), EncodableValue(int64_t{2147483648}));
  EXPECT_EQ(FromJson("-2147483649"), EncodableValue(int64_t{-2147483649LL}));
  EXPECT_EQ(FromJson("1.5"), EncodableValue(1.5));
  EXPECT_EQ(FromJson("1e2"), EncodableValue(100.0));
  EXPECT_EQ(FromJson("\"a\\u00e9\\ud83d\\ude00\""), EncodableValue(std::string("a\xC3\xA9\xF0\x9F\x98\x80")));
  EXPECT_EQ(FromJson("[1,\"x\",[]]"),
            EncodableValue(EncodableList{EncodableValue(1), EncodableValue("x"), EncodableValue(EncodableList{})}));
  EXPECT_EQ(FromJson("{\"mode\":\"smooth\",\"radius\":8}"),
            EncodableValue(EncodableMap{{EncodableValue("mode"), EncodableValue("smooth")},
                                        {EncodableValue("radius"), EncodableValue(8)}}));
}

TEST(ScriptValues, DollarFormsForceTheType) {
  EXPECT_EQ(FromJson("{\"$int64\":5}"), EncodableValue(int64_t{5}));
  EXPECT_EQ(FromJson("{\"$int32\":-5}"), EncodableValue(int32_t{-5}));
  EXPECT_EQ(FromJson("{\"$double\":3}"), EncodableValue(3.0));
  EXPECT_EQ(FromJson("{\"$bytes\":\"00ff7A\"}"), EncodableValue(std::vector<uint8_t>{0, 255, 0x7A}));
  // With another member it is an ordinary map.
  EXPECT_TRUE(std::holds_alternative<EncodableMap>(FromJson("{\"$int64\":5,\"x\":1}")));

  const char* refused[] = {"{\"$int32\":2147483648}", "{\"$int64\":1.5}", "{\"$bytes\":\"abc\"}",
                           "{\"$bytes\":\"zz\"}", "{\"$double\":\"1\"}", "[{\"$int64\":\"1\"}]"};
  for (const char* text : refused) {
    JsonValue json;
    std::string error;
    ASSERT_TRUE(standin::ParseJson(text, json, error)) << text;
    EncodableValue value;
    EXPECT_FALSE(standin::JsonToEncodable(json, value, error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

TEST(ScriptValues, CodecValuesPrintAsJson) {
  EXPECT_EQ(ToJson(EncodableValue(int64_t{1} << 40)), "1099511627776");
  EXPECT_EQ(ToJson(EncodableValue(2.0)), "2.0");
  EXPECT_EQ(ToJson(EncodableValue(0.1)), "0.1");
  EXPECT_EQ(ToJson(EncodableValue(std::vector<uint8_t>{1, 0xAB})), "{\"$bytes\":\"01ab\"}");
  EXPECT_EQ(ToJson(EncodableValue(std::string("q\"\n"))), "\"q\\\"\\u000a\"");
  EXPECT_EQ(ToJson(EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue()},
                                               {EncodableValue(1), EncodableValue(false)}})),
            "{\"1\":false,\"a\":null}");
  EXPECT_EQ(ToJson(EncodableValue(std::vector<int32_t>{1, -2})), "[1,-2]");
}

TEST(ScriptSteps, EachOpParses) {
  standin::ScriptStep step;
  std::string error;
  ASSERT_TRUE(standin::ParseScriptLine(
      "{\"op\":\"call\",\"channel\":\"orv.net/windows_session\",\"method\":\"isRemoteSession\",\"args\":null}", step,
      error));
  EXPECT_EQ(step.op, standin::ScriptStep::Op::kCall);
  EXPECT_EQ(step.channel, "orv.net/windows_session");
  EXPECT_EQ(step.method, "isRemoteSession");
  EXPECT_TRUE(step.arguments.IsNull());
  EXPECT_EQ(step.timeoutMs, standin::kDefaultCallTimeoutMs);

  ASSERT_TRUE(standin::ParseScriptLine("\xEF\xBB\xBF{\"op\":\"ffi\",\"name\":\"OrvSetUserProxy\",\"args\":[8080]}\r",
                                       step, error));
  EXPECT_EQ(step.op, standin::ScriptStep::Op::kFfi);
  EXPECT_EQ(step.name, "OrvSetUserProxy");
  ASSERT_EQ(step.inputs.size(), 1u);
  EXPECT_EQ(step.inputs[0].integer, 8080);

  ASSERT_TRUE(standin::ParseScriptLine("{\"op\":\"wait\",\"ms\":200}", step, error));
  EXPECT_EQ(step.op, standin::ScriptStep::Op::kWait);
  EXPECT_EQ(step.ms, 200u);
  ASSERT_TRUE(standin::ParseScriptLine("{\"op\":\"secondary\"}", step, error));
  EXPECT_EQ(step.op, standin::ScriptStep::Op::kSecondary);
  ASSERT_TRUE(standin::ParseScriptLine("{\"op\":\"quit\"}", step, error));
  EXPECT_EQ(step.op, standin::ScriptStep::Op::kQuit);
  ASSERT_TRUE(standin::ParseScriptLine("   ", step, error));
  EXPECT_EQ(step.op, standin::ScriptStep::Op::kNone);
}

TEST(ScriptSteps, BadLinesAreRefusedWithAReason) {
  const char* lines[] = {
      "not json",
      "{\"op\":\"call\"",
      "[1,2]",
      "{\"channel\":\"x\"}",
      "{\"op\":\"dance\"}",
      "{\"op\":\"call\",\"method\":\"m\"}",
      "{\"op\":\"call\",\"channel\":\"c\",\"method\":\"m\",\"args\":{\"$int32\":1e40}}",
      "{\"op\":\"ffi\",\"name\":\"OrvX\",\"args\":3}",
      "{\"op\":\"wait\",\"ms\":-1}",
      "{\"op\":\"wait\"}",
      "{\"op\":\"quit\"} extra",
  };
  for (const char* line : lines) {
    standin::ScriptStep step;
    std::string error;
    EXPECT_FALSE(standin::ParseScriptLine(line, step, error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

TEST(TranscriptLines, LinesHaveTheTranscriptShape) {
  EXPECT_EQ(standin::EngineLine("main", "data\\flutter_assets", "data\\icudtl.dat", "data\\app.so", {"--install"}),
            "{\"event\":\"engine\",\"window\":\"main\",\"assets\":\"data\\\\flutter_assets\",\"icu\":\"data\\\\icudtl."
            "dat\",\"aot\":\"data\\\\app.so\",\"args\":[\"--install\"]}");
  EXPECT_EQ(standin::RegistrarLine("OrvRuntimeLogPolicy", "main"),
            "{\"event\":\"registrar\",\"name\":\"OrvRuntimeLogPolicy\",\"window\":\"main\"}");
  EXPECT_EQ(standin::PluginLine("WindowManagerPlugin", 12, "main"),
            "{\"event\":\"plugin\",\"name\":\"WindowManagerPlugin\",\"index\":12,\"window\":\"main\"}");
  EXPECT_EQ(standin::WindowEventLine("frame", "main"), "{\"event\":\"frame\",\"window\":\"main\"}");
  EXPECT_EQ(standin::FfiLine("OrvReadUserProxy", "0", {{"outJson", "\"{}\""}}),
            "{\"op\":\"ffi\",\"name\":\"OrvReadUserProxy\",\"result\":0,\"out\":{\"outJson\":\"{}\"}}");
  EXPECT_EQ(standin::FfiLine("orv_kernel_log_enable", std::nullopt, {}),
            "{\"op\":\"ffi\",\"name\":\"orv_kernel_log_enable\"}");
  EXPECT_EQ(standin::ErrorLine(3, "bad"), "{\"op\":\"error\",\"line\":3,\"message\":\"bad\"}");
}

TEST(TranscriptLines, CallRepliesAreDecodedEnvelopes) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const EncodableValue yes(true);
  auto success = codec.EncodeSuccessEnvelope(&yes);
  EXPECT_EQ(standin::CallReplyLine("c", "m", success->data(), success->size()),
            "{\"op\":\"call\",\"channel\":\"c\",\"method\":\"m\",\"reply\":\"success\",\"value\":true}");
  auto error = codec.EncodeErrorEnvelope("invalid_arguments", "Bad.");
  EXPECT_EQ(standin::CallReplyLine("c", "m", error->data(), error->size()),
            "{\"op\":\"call\",\"channel\":\"c\",\"method\":\"m\",\"reply\":\"error\",\"code\":\"invalid_arguments\","
            "\"message\":\"Bad.\",\"details\":null}");
  EXPECT_EQ(standin::CallReplyLine("c", "m", nullptr, 0),
            "{\"op\":\"call\",\"channel\":\"c\",\"method\":\"m\",\"reply\":\"notImplemented\"}");
  const uint8_t junk[] = {9};
  EXPECT_EQ(standin::CallReplyLine("c", "m", junk, 1),
            "{\"op\":\"call\",\"channel\":\"c\",\"method\":\"m\",\"reply\":\"malformed\",\"bytes\":{\"$bytes\":\"09\"}}");
}

}  // namespace
