// Trace names and the session identity, against values worked out outside
// the product with the published 64-bit FNV-1a constants.

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>

#include "native/dns/trace/trace_identity.h"
#include "tests/native/dns/trace/trace_fixture.h"
#include "tests/support/guarded_text.h"

namespace orv::test {
namespace {

TEST(TraceIdentity, HashRunsOverUtf16Units) {
  EXPECT_EQ(dns::Fnv1a64(L"a"), 0xAF63DC4C8601EC8CULL);
  EXPECT_EQ(dns::Fnv1a64(L"c:\\program files\\kilna\\kilna.exe"), 12116793789514446333ULL);
  // Hashing the UTF-8 bytes instead would give 8598730121889987316.
  EXPECT_EQ(dns::Fnv1a64(L"c:\\\x4E2D\\kilna.exe"), 8700518425893652624ULL);
}

TEST(TraceIdentity, SessionGuidAndName) {
  const std::uint64_t program = 12116793789514446333ULL;
  const std::uint64_t cjk = 8700518425893652624ULL;
  EXPECT_EQ(dns::SessionGuidData2(program), 0x3F07);
  EXPECT_EQ(dns::SessionGuidData3(program), 0x0601);
  EXPECT_EQ(dns::SessionGuidData2(cjk), 0x026A);
  EXPECT_EQ(dns::SessionGuidData3(cjk), 0x0AA9);

  const GUID guid = dns::SessionGuid(0x1234, program, 0x01D9A0B1C2D3E4F5ULL);
  EXPECT_EQ(guid.Data1, 0x1234u);
  EXPECT_EQ(guid.Data2, 0x3F07);
  EXPECT_EQ(guid.Data3, 0x0601);
  const unsigned char data4[8] = {0xF5, 0xE4, 0xD3, 0xC2, 0xB1, 0xA0, 0xD9, 0x01};
  EXPECT_EQ(std::memcmp(guid.Data4, data4, 8), 0);
  EXPECT_EQ(dns::SessionGuidCreationTime(guid), 0x01D9A0B1C2D3E4F5ULL);

  EXPECT_EQ(dns::SessionName(program), L"OrvDnsTrace-v1-12116793789514446333");
  EXPECT_EQ(dns::SessionName(5), L"OrvDnsTrace-v1-5");
}

TEST(TraceIdentity, OwnIdentityComesFromTheLowerCasedModulePath) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring lower(path, length);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(::towlower(c));
  const std::uint64_t hash = dns::Fnv1a64(lower);

  dns::SessionIdentity identity;
  ASSERT_EQ(dns::OwnSessionIdentity(identity), 0u);
  EXPECT_EQ(identity.hash, hash);
  EXPECT_EQ(identity.sessionName, dns::SessionName(hash));
  EXPECT_EQ(identity.mutexName, L"Global\\" + dns::SessionName(hash));
  EXPECT_EQ(identity.guid.Data1, ::GetCurrentProcessId());
  FILETIME creation = {}, exit = {}, kernel = {}, user = {};
  ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user));
  EXPECT_EQ(dns::SessionGuidCreationTime(identity.guid), dns::FileTimeValue(creation));
}

class TraceNames : public DnsTraceFixture {};

TEST_F(TraceNames, LengthAndNormalisation) {
  Registry();
  const struct {
    std::wstring name;
    DWORD code;
    std::wstring traced;
  } cases[] = {
      {std::wstring(253, L'a') + L".", 0, std::wstring(253, L'a')},
      {std::wstring(254, L'a'), 87, L""},  // 254 left after no dot to remove
      {std::wstring(254, L'a') + L".", 87, L""},
      {L"Example.ORG.", 0, L"example.org"},
      {L"exa_mple.org", 87, L""},
      {L"b\x00FC" L"cher.example", 87, L""},
      {L".", 87, L""},
      {L"", 87, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name.size() << " units");
    std::uint64_t id = 99;
    captures_.lastName.clear();
    EXPECT_EQ(Start(c.name.c_str(), id), c.code);
    if (c.code != 0) {
      EXPECT_EQ(id, 0u);
      continue;
    }
    EXPECT_EQ(captures_.lastName, c.traced);
    EXPECT_EQ(Finish(id).result, 0u);
  }
  std::uint64_t id = 99;
  EXPECT_EQ(Start(nullptr, id), 87u);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(registry_->Start(L"example.org", nullptr), 87u);
  // A long name is refused from its first 255 units; nothing past them is read.
  const GuardedText unterminated(std::wstring(255, L'a'));
  ASSERT_NE(unterminated.get(), nullptr);
  EXPECT_EQ(Start(unterminated.get(), id), 87u);
  EXPECT_EQ(tracing().Starts().size(), 2u);
}

}  // namespace
}  // namespace orv::test
