// The ticket image picker channel as the interface reaches it through
// kilna.exe: a program's metadata, and a refused poster name.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

const char kQuit[] = R"({"op":"quit"})";

std::string PickerCall(const std::string& method, const std::string& args) {
  return R"({"op":"call","channel":"orv.net/ticket_image_picker","method":")" + method + R"(","args":)" + args +
         "}";
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

TEST(TicketPickerE2e, ReadProgramAnswersTheProgramsMetadataAndAnEmptyPosterNameIsRefused) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  const std::string program = JsonString(Narrow(BinaryFolder() + L"\\reader_described_program.exe"));
  KilnaOptions options;
  options.script = {PickerCall("readProgram", R"({"path":)" + program + "}"),
                    PickerCall("saveReferralPoster", R"({"suggestedName":""})"), kQuit};
  const KilnaRun run = RunKilna(options);
  EXPECT_EQ(run.process.exitCode, 0u);

  const std::string program_answer = FindTranscriptLine(run, {R"("method":"readProgram")"});
  const std::vector<std::string> fragments = {
      R"("reply":"success")",         R"("executablePaths":[)" + program + "]",
      R"("icon":{"$bytes":"89504e470d0a1a0a)", R"("name":"Second description")",
      R"("path":)" + program,         R"("warnings":[])",
  };
  for (const std::string& fragment : fragments) {
    EXPECT_NE(program_answer.find(fragment), std::string::npos) << fragment << "\n" << program_answer;
  }
  EXPECT_FALSE(FindTranscriptLine(run, {R"("method":"saveReferralPoster")", R"("reply":"error")",
                                        R"("code":"invalid_file_name")",
                                        R"("message":"Missing or invalid suggested file name")"})
                   .empty());
}

}  // namespace
}  // namespace orv::test
