#include "tests/native/proxy/proxy_fixture.h"

#include <mutex>

#include "native/proxy/internet_settings_key.h"
#include "native/proxy/proxy_platform.h"
#include "native/proxy/proxy_state.h"

namespace orv::proxy {
namespace {

void PrintText(const ProxyText& text, std::ostream* out) {
  *out << '"';
  for (char16_t unit : text) *out << (unit < 0x80 ? static_cast<char>(unit) : '?');
  *out << '"';
}

}  // namespace

void PrintTo(const ProxyOptions& options, std::ostream* out) {
  *out << '{' << options.flags << ", ";
  PrintText(options.proxyServer, out);
  *out << ", ";
  PrintText(options.proxyBypass, out);
  *out << ", ";
  PrintText(options.autoConfigUrl, out);
  *out << '}';
}

void PrintTo(const RawValue& value, std::ostream* out) {
  if (!value.present) {
    *out << "absent";
    return;
  }
  *out << "type " << value.type << ':';
  for (std::uint8_t byte : value.data) *out << ' ' << static_cast<int>(byte);
}

void PrintTo(const ProxySnapshot& snapshot, std::ostream* out) {
  PrintTo(snapshot.options, out);
  for (const RawValue& value : snapshot.raw) {
    *out << " [";
    PrintTo(value, out);
    *out << ']';
  }
}

}  // namespace orv::proxy

namespace orv::proxy::test {
namespace {

constexpr wchar_t kTestRoot[] = L"Software\\KilnaTests";
constexpr wchar_t kTestHive[] = L"Software\\KilnaTests\\ProxyHive";
constexpr wchar_t kJournalKey[] = L"Software\\Kilna\\Proxy";
constexpr wchar_t kJournalValue[] = L"Journal";

}  // namespace

HANDLE TestUserToken() noexcept {
  static HANDLE token = [] {
    HANDLE opened = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY, &opened);
    return opened;  // kept until exit, like the captured one
  }();
  return token;
}

HANDLE NoUserToken() noexcept { return nullptr; }

std::optional<std::vector<std::uint8_t>> ReadJournalBytes() {
  std::vector<std::uint8_t> bytes(0x10000);
  DWORD size = static_cast<DWORD>(bytes.size());
  if (::RegGetValueW(HKEY_CURRENT_USER, kJournalKey, kJournalValue, RRF_RT_ANY, nullptr, bytes.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

void WriteJournalBytes(const std::optional<std::vector<std::uint8_t>>& bytes) {
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kJournalKey, kJournalValue);
  if (!bytes) return;
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kJournalKey, kJournalValue, REG_BINARY, bytes->data(),
                              static_cast<DWORD>(bytes->size())),
            ERROR_SUCCESS);
}

RawValue Sz(const ProxyText& text) { return TextValue(kRegSz, text); }

ProxySnapshot UserProxyAndPac() {
  ProxySnapshot s;
  s.options = {7, u"proxy.example:3128", u"*.corp;<local>", u"http://wpad.example/proxy.pac"};
  s.raw = {DwordValue(1), Sz(u"proxy.example:3128"), Sz(u"*.corp;<local>"), Sz(u"http://wpad.example/proxy.pac")};
  return s;
}

ProxySnapshot CleanedProxyAndPac() {
  ProxySnapshot s = UserProxyAndPac();
  s.options = {1, u"", u"*.corp;<local>", u""};
  s.raw[kSlotProxyEnable] = DwordValue(0);
  s.raw[kSlotAutoConfigUrl] = RawValue{};
  return s;
}

void ProxyTest::SetUp() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestHive, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, hive_.put(),
                              nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, hive_.get()), ERROR_SUCCESS);
  UniqueRegKey settings;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettingsPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              settings.put(), nullptr),
            ERROR_SUCCESS);
  ProxyPlatform& p = platform();
  p = ProxyPlatform{};
  p.options = FakeWinInetOptions::Api();
  p.userToken = TestUserToken;
  ASSERT_NE(TestUserToken(), nullptr);
  processes_.clear();
  processes_[1];
  current_ = 1;
  p.thisProcess = [this] { return JournalOwner{static_cast<std::uint32_t>(current_), 1}; };
  p.ownerRunning = [this](const JournalOwner& owner) { return processes_.count(static_cast<int>(owner.processId)) != 0; };
  const std::lock_guard<std::mutex> lock(ProxyMutex());
  GuardedProxyState() = ProxyState{};
}

void ProxyTest::SwapState(int process) {
  const std::lock_guard<std::mutex> lock(ProxyMutex());
  std::swap(GuardedProxyState(), processes_[process]);
}

void ProxyTest::TearDown() {
  platform() = ProxyPlatform{};
  {
    const std::lock_guard<std::mutex> lock(ProxyMutex());
    GuardedProxyState() = ProxyState{};
  }
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  hive_.reset();
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
}

ProxyPlatform& ProxyTest::platform() { return CurrentProxyPlatform(); }

void ProxyTest::WriteRaw(std::size_t slot, const RawValue& value) {
  RegistryKey key;
  ASSERT_EQ(OpenInternetSettings(KEY_SET_VALUE, key), ERROR_SUCCESS);
  const LSTATUS status = key.Write(RawSlotName(slot), value);
  ASSERT_TRUE(status == ERROR_SUCCESS || (!value.present && status == ERROR_FILE_NOT_FOUND));
}

RawValue ProxyTest::ReadRaw(std::size_t slot) {
  RawValue value;
  RegistryKey key;
  if (OpenInternetSettings(KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return value;
  EXPECT_EQ(ReadRawSlot(key, slot, value), 0u);
  return value;
}

RawSlots ProxyTest::ReadAllRaw() {
  RawSlots slots;
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) slots[slot] = ReadRaw(slot);
  return slots;
}

void ProxyTest::WriteAllRaw(const RawSlots& slots) {
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) WriteRaw(slot, slots[slot]);
}

void ProxyTest::DeleteInternetSettingsKey() {
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, kInternetSettingsPath), ERROR_SUCCESS);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kInternetSettingsPath);
}

ProxySnapshot ProxyTest::Settings() {
  ProxySnapshot s;
  s.options = fake_.options();
  s.raw = ReadAllRaw();
  return s;
}

void ProxyTest::SetSettings(const ProxySnapshot& settings) {
  fake_.setOptions(settings.options);
  WriteAllRaw(settings.raw);
}

}  // namespace orv::proxy::test
