// The filter preflight and presence check as the interface calls them in the
// running kilna.exe. The emulated platform cannot open a filtering engine, so
// every lookup ends as "unavailable" with its code, and the process must
// survive: the application-id call that would abort it is never reached.

#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/common/guid_text.h"
#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

// The loopback interface's GUID text, as the interface would pass it.
std::string LoopbackGuidText() {
  MIB_IF_TABLE2* table = nullptr;
  if (::GetIfTable2(&table) != NO_ERROR) return {};
  std::string text;
  for (ULONG i = 0; i < table->NumEntries && text.empty(); ++i) {
    if (table->Table[i].Type != IF_TYPE_SOFTWARE_LOOPBACK) continue;
    GUID guid;
    if (::ConvertInterfaceLuidToGuid(&table->Table[i].InterfaceLuid, &guid) == NO_ERROR) text = GuidText(guid);
  }
  ::FreeMibTable(table);
  return text;
}

// A JSON document as the transcript quotes it.
std::string Quoted(const std::string& json) {
  std::string out = "\"";
  for (char c : json) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

std::string Reply(const char* name, const std::string& json) {
  return std::string(R"({"op":"ffi","name":")") + name + R"(","result":0,"out":{"written":)" +
         std::to_string(json.size()) + R"(,"buffer":)" + Quoted(json) + "}}";
}

std::vector<std::string> InspectionReplies(const KilnaRun& run) {
  std::vector<std::string> replies;
  for (const auto& line : run.transcript) {
    if (line.find("\"op\":\"ffi\"") != std::string::npos && line.find("OrvDnsWfp") != std::string::npos) {
      replies.push_back(line);
    }
  }
  return replies;
}

TEST(KilnaWfpInspection, UnavailableEngineAnswersAndTheProcessSurvives) {
  const std::string loopback = LoopbackGuidText();
  ASSERT_EQ(loopback.size(), 38u) << "no loopback interface";
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  KilnaOptions options;
  options.script = {
      R"({"op":"ffi","name":"OrvDnsWfpPreflight","args":[[")" + loopback + R"("],1,{"$buffer":512},512]})",
      R"({"op":"ffi","name":"OrvDnsWfpPreflight","args":[["{01234567-89AB-CDEF-0123-456789ABCDEF}"],1,{"$buffer":512},512]})",
      R"({"op":"ffi","name":"OrvDnsWfpCompare","args":["{11111111-2222-3333-4444-555555555555}",0,{"$buffer":256},256]})",
      R"({"op":"ffi","name":"OrvDnsWfpCompare","args":[null,4242,{"$buffer":256},256]})",
      R"({"op":"quit"})",
  };
  const KilnaRun run = RunKilna(options);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u) << run.log;
  const std::vector<std::string> expected = {
      Reply("OrvDnsWfpPreflight", R"({"status":"unavailable","nativeErrorCode":1764,"filters":[]})"),
      Reply("OrvDnsWfpPreflight", R"({"status":"unavailable","nativeErrorCode":87,"filters":[]})"),
      Reply("OrvDnsWfpCompare", R"({"status":"unavailable","identity":"filterKey","nativeErrorCode":1764})"),
      Reply("OrvDnsWfpCompare", R"({"status":"unavailable","identity":"filterId","nativeErrorCode":1764})"),
  };
  EXPECT_EQ(InspectionReplies(run), expected);
}

}  // namespace
}  // namespace orv::test
