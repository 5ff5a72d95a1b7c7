#include "runner/diagnostics/diagnostic_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

StageLineFields Fields(const char* stage) {
  StageLineFields f;
  f.time = {2026, 3, 7, 9, 5, 4, 42};
  f.processId = 4242;
  f.threadId = 17;
  f.runStartTick = 1000;
  f.nowTick = 1250;
  f.stage = stage;
  return f;
}

std::string Stage(const StageLineFields& f, size_t capacity = kStageLineCapacity) {
  std::string buffer(capacity, '\xff');
  const size_t length = FormatStageLine(buffer.data(), capacity, f);
  EXPECT_EQ(buffer[length], '\0');
  return buffer.substr(0, length);
}

TEST(StageLine, HasTheFixedLayoutWithRunIdAndElapsedTime) {
  EXPECT_EQ(Stage(Fields("runner.entry")),
            "2026-03-07 09:05:04.042 pid=4242 tid=17 [startup] run=4242-1000 stage=runner.entry elapsedMs=250\n");
}

TEST(StageLine, StageNameIsCutAt160Characters) {
  const std::string name(200, 's');
  const std::string line = Stage(Fields(name.c_str()));
  EXPECT_NE(line.find("stage=" + std::string(160, 's') + " elapsedMs=250\n"), std::string::npos);
  EXPECT_EQ(line.find(std::string(161, 's')), std::string::npos);
}

TEST(StageLine, OutputIsBoundedByTheBuffer) {
  const std::string line = Stage(Fields("main.engine.construct.done"), 40);
  EXPECT_EQ(line.size(), 39u);
  EXPECT_EQ(line, std::string("2026-03-07 09:05:04.042 pid=4242 tid=17"));
  EXPECT_EQ(FormatStageLine(nullptr, 0, Fields("x")), 0u);
}

TEST(StageLine, NullStageIsWrittenAsEmpty) {
  EXPECT_NE(Stage(Fields(nullptr)).find("stage= elapsedMs"), std::string::npos);
}

TEST(GraphicsLine, HasNoMillisecondsNoThreadAndIsCutAt1023Bytes) {
  char buffer[kGraphicsLineCapacity];
  const LocalTimeStamp t{2026, 12, 31, 23, 59, 58, 999};
  size_t length = FormatGraphicsLine(buffer, sizeof buffer, t, 9, "policy=warp reason=remote");
  EXPECT_EQ(std::string(buffer, length), "2026-12-31 23:59:58 pid=9 [graphics] policy=warp reason=remote\n");

  const std::string text(2000, 'g');
  length = FormatGraphicsLine(buffer, sizeof buffer, t, 9, text.c_str());
  EXPECT_EQ(length, kGraphicsLineCapacity - 1);
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(buffer[length - 1], 'g');
}

}  // namespace
}  // namespace orv
