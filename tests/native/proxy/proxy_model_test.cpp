// Random sequences of every proxy export, edits by other programs, crashes
// and a second kilna.exe, checked after each step against a plain model of
// what the user's settings must be: whatever is in place while none of our
// loopback proxies and no cleanup stands in for them, and exactly that again
// once everything is given back.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "kilna/kilna_exports.h"
#include "native/proxy/applied_proxy.h"
#include "native/proxy/proxy_state.h"
#include "tests/native/proxy/options_in_registry.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

struct ModelCleanup {
  bool open = false;
  int owner = 0;
  int ticket = 0;
  ProxySnapshot prior;
  ProxySnapshot cleaned;
  bool aroundOurs = false;  // begun while our loopback was in effect
};

struct Model {
  ProxySnapshot user;          // what the user gets back once everything is undone
  ProxySnapshot journaled;     // what our restore writes
  std::vector<std::pair<ProxyText, int>> entries;  // applied server, owning process
  ProxyText inEffect;          // our server the options route through, or empty
  ModelCleanup cleanup;
};

class ProxyModelTest : public ProxyTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ProxyTest::SetUp();
    fake_.mirrorToRegistry(GetParam());
  }

  // Before any export: the entries of exited processes are taken over while
  // their server is in effect, dropped otherwise.
  void Adopt(int process) {
    std::vector<std::pair<ProxyText, int>> kept;
    for (auto& [server, owner] : m_.entries) {
      if (processes_.count(owner) != 0) {
        kept.emplace_back(server, owner);
      } else if (server == m_.inEffect) {
        kept.emplace_back(server, process);
      }
    }
    m_.entries = kept;
  }

  bool Owns(int process) const {
    for (const auto& entry : m_.entries) {
      if (entry.second == process) return true;
    }
    return false;
  }

  void Edit(std::mt19937& random) {
    ProxySnapshot now = Settings();
    ProxyOptions& o = now.options;
    const int n = static_cast<int>(random() % 100);
    switch (random() % 6) {
      case 0:
        o.proxyBypass += u";*.other" + ProxyText(1, static_cast<char16_t>(u'a' + n % 26));
        break;
      case 1:
        o.flags |= kProxyTypeAutoDetect;
        m_.inEffect.clear();  // tried before any manual server: the user's choice now
        break;
      case 2:
        o.flags |= kProxyTypeProxy;
        o.proxyServer = u"proxy.other:" + ProxyText(1, static_cast<char16_t>(u'1' + n % 9));
        m_.inEffect.clear();
        break;
      case 3:
        o.flags &= ~kProxyTypeProxy;
        m_.inEffect.clear();
        break;
      case 4:
        o.flags |= kProxyTypeAutoProxyUrl;
        o.autoConfigUrl = u"http://other.example/" + ProxyText(1, static_cast<char16_t>(u'a' + n % 26));
        m_.inEffect.clear();
        break;
      default:
        WriteRaw(random() % kRawSlotCount, n % 3 == 0 ? RawValue{} : Sz(u"edit" + ProxyText(1, static_cast<char16_t>(u'0' + n % 10))));
        return;
    }
    fake_.setOptions(o);
    if (GetParam()) {
      ASSERT_EQ(StoreOptionsInRegistry(o), 0u);
    }
  }

  // `s` as the user owns it: a loopback of ours left in the manual fields (a
  // server of ours, or one with our bypass list) while it carries nothing
  // is not theirs; their own manual proxy, journaled while any of ours is
  // applied, stands in its place, or none.
  ProxySnapshot Own(const ProxySnapshot& s) const {
    const ProxyOptions& o = s.options;
    const bool journaled = std::any_of(m_.entries.begin(), m_.entries.end(), [&](const auto& e) { return e.first == o.proxyServer; });
    const bool ours = (o.flags & kProxyTypeProxy) != 0 && o.proxyServer.starts_with(u"127.0.0.1:") &&
                      (journaled || o.proxyBypass == u"<local>");
    if (!ours || o.proxyServer == m_.inEffect) return s;
    ProxySnapshot own = s;
    if (!m_.entries.empty()) {
      const ProxySnapshot& j = m_.journaled;
      own.options.flags = (o.flags & ~kProxyTypeProxy) | (j.options.flags & kProxyTypeProxy);
      own.options.proxyServer = j.options.proxyServer;
      own.raw[kSlotProxyEnable] = j.raw[kSlotProxyEnable];
      own.raw[kSlotProxyServer] = j.raw[kSlotProxyServer];
      if (o.proxyBypass == u"<local>") {
        own.options.proxyBypass = j.options.proxyBypass;
        own.raw[kSlotProxyOverride] = j.raw[kSlotProxyOverride];
      }
    } else {
      own.options.flags = (o.flags & ~kProxyTypeProxy) | kProxyTypeDirect;
      own.options.proxyServer.clear();
      own.raw[kSlotProxyEnable] = DwordValue(0);
      if (s.raw[kSlotProxyServer] == Sz(o.proxyServer)) own.raw[kSlotProxyServer] = RawValue{};
    }
    return own;
  }

  // What closing the cleanup does to the model, from the settings `before` it.
  void CloseCleanup(bool restore, const ProxySnapshot& before);
  void Step(std::mt19937& random, std::ostringstream& log);
  void UnwindAll(std::ostringstream& log);
  void CheckRest(bool userChanged);

  Model m_;
  int nextProcess_ = 2;
};

ProxySnapshot StartingSettings(unsigned pick) {
  ProxySnapshot s;
  switch (pick % 4) {
    case 0:
      s.options = {1, u"", u"<local>"};
      s.raw = {DwordValue(0), RawValue{}, Sz(u"<local>"), RawValue{}};
      return s;
    case 1:
      return UserProxyAndPac();
    case 2:
      s.options = {5, u"", u"*.corp", u"http://wpad.example/p.pac"};
      s.raw = {DwordValue(0), RawValue{}, Sz(u"*.corp"), Sz(u"http://wpad.example/p.pac")};
      return s;
    default:
      s.options = {3, u"proxy.example:3128", u""};
      s.raw = {TextValue(kRegExpandSz, u" 1 "), Sz(u"proxy.example:3128"), RawValue{}, RawValue{}};
      return s;
  }
}

// While neither our loopback nor an open cleanup stands in for them, the
// settings in place are the user's: edits by others define them, our calls
// keep them.
void ProxyModelTest::CheckRest(bool userChanged) {
  const ProxySnapshot now = Settings();
  const ModelCleanup& c = m_.cleanup;
  if (!m_.inEffect.empty() || (c.open && now == c.cleaned)) return;
  if (userChanged) m_.user = now;
  EXPECT_EQ(now, m_.user);
}

// A cleanup still stands for the user's settings while they are as it left
// them, or while a set made over them journaled them; otherwise someone has
// changed them since and closing it changes nothing.
void ProxyModelTest::CloseCleanup(bool restore, const ProxySnapshot& before) {
  ModelCleanup& c = m_.cleanup;
  if (c.aroundOurs) {
    if (restore && before == c.cleaned) {
      EXPECT_EQ(Settings(), c.prior);
    }
  } else if (!m_.inEffect.empty() && m_.journaled == c.cleaned) {
    m_.user = restore ? c.prior : c.cleaned;
    m_.journaled = m_.user;
  } else if (m_.inEffect.empty() && before == c.cleaned) {
    m_.user = restore ? c.prior : c.cleaned;
    if (restore) {
      EXPECT_EQ(Settings(), c.prior);
    }
  }
  c = ModelCleanup{};
}

void ProxyModelTest::Step(std::mt19937& random, std::ostringstream& log) {
  const int p = current_;
  ModelCleanup& c = m_.cleanup;
  const unsigned op = random() % 13;
  log << ' ' << op << '@' << p;
  if (op <= 1) {
    const std::uint32_t port = std::array<std::uint32_t, 3>{8080, 9090, 1}[random() % 3];
    Adopt(p);
    const ProxySnapshot before = Settings();
    ASSERT_EQ(As(p, [&] { return OrvSetUserProxy(port); }), 0u);
    if (m_.inEffect.empty()) m_.user = m_.journaled = Own(before);
    m_.inEffect = AppliedServer(port);
    m_.entries.emplace_back(m_.inEffect, p);
    EXPECT_EQ(fake_.options(), AppliedOptions(port));
  } else if (op == 2) {
    Adopt(p);
    const ProxyOptions before = fake_.options();
    ASSERT_EQ(As(p, [] { return OrvClearUserProxy(); }), 0u);
    const ProxyText bypass = m_.inEffect.empty() ? before.proxyBypass : m_.journaled.options.proxyBypass;
    EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", bypass, u""}));
    m_.inEffect.clear();
    std::erase_if(m_.entries, [&](const auto& e) { return e.second == p; });
    return CheckRest(true);
  } else if (op <= 4) {
    Adopt(p);
    const bool owned = Owns(p);
    int restored = -1;
    ASSERT_EQ(As(p, [&] { return OrvRestoreUserProxy(&restored); }), 0u);
    EXPECT_EQ(restored, owned ? 1 : 0);
    std::erase_if(m_.entries, [&](const auto& e) { return e.second == p; });
    const bool stillOurs = std::any_of(m_.entries.begin(), m_.entries.end(), [&](const auto& e) { return e.first == m_.inEffect; });
    if (owned && !m_.inEffect.empty() && !stillOurs) {
      EXPECT_EQ(Settings(), m_.journaled);
      m_.inEffect.clear();
    }
  } else if (op == 5) {
    Adopt(p);
    int conflict = -1;
    ASSERT_EQ(As(p, [&] { return OrvReadEffectiveUserProxyConflict(&conflict); }), 0u);
    // A loopback of ours in the manual fields is never the user's proxy.
    const ProxyOptions now = fake_.options();
    const bool journaled = std::any_of(m_.entries.begin(), m_.entries.end(), [&](const auto& e) { return e.first == now.proxyServer; });
    const bool oursInManual = now.proxyServer.starts_with(u"127.0.0.1:") && (journaled || now.proxyBypass == u"<local>");
    const int script = static_cast<int>((now.flags >> 1) & 2);
    EXPECT_EQ(conflict, m_.inEffect.empty() && !oursInManual ? static_cast<int>((now.flags >> 1) & 3) : script)
        << ::testing::PrintToString(now);
  } else if (op <= 7) {
    if (c.open && c.owner != p) return;
    if (!c.open) Adopt(p);  // a busy Begin answers before it looks at anything
    const ProxySnapshot before = Settings();
    int ticket = -1;
    int restoreResult = -1;
    const DWORD result = As(p, [&] { return OrvBeginUserProxyCleanup(&ticket, &restoreResult); });
    if (c.open) {
      EXPECT_EQ(result, static_cast<DWORD>(ERROR_BUSY));
      return;
    }
    ASSERT_EQ(result, 0u);
    EXPECT_EQ(restoreResult, 0);
    int clean = -1;
    ASSERT_EQ(As(p, [&] { return OrvVerifyUserProxyCleanup(0, &clean); }), 0u);
    EXPECT_EQ(clean, 1);  // what Begin left is what Verify calls clean
    if (ticket > 0) c = ModelCleanup{true, p, ticket, Own(before), Settings(), !m_.inEffect.empty()};
  } else if (op <= 9) {
    if (!c.open || c.owner != p) return;
    const bool restore = random() % 4 != 0;
    Adopt(p);
    const ProxySnapshot before = Settings();
    ASSERT_EQ(As(p, [&] { return OrvFinishUserProxyCleanup(c.ticket, restore ? 1 : 0); }), 0u);
    CloseCleanup(restore, before);
  } else if (op <= 11) {
    Edit(random);
    return CheckRest(true);
  } else if (random() % 2 == 0) {
    // The process is killed: its entries wait to be taken over, and its open
    // cleanup is finished by the next process that looks at the journal, as
    // its own Finish with restore would have.
    const bool orphaned = c.open && c.owner == p;
    processes_.erase(p);
    if (processes_.empty()) processes_[nextProcess_++];
    current_ = processes_.begin()->first;
    Adopt(current_);
    const ProxySnapshot before = Settings();
    int conflict = -1;
    ASSERT_EQ(As(current_, [&] { return OrvReadEffectiveUserProxyConflict(&conflict); }), 0u);
    if (orphaned) CloseCleanup(true, before);
  } else {
    if (processes_.size() < 2) processes_[nextProcess_++];
    auto other = std::find_if(processes_.begin(), processes_.end(), [&](const auto& s) { return s.first != p; });
    current_ = other->first;
  }
  CheckRest(false);
}

void ProxyModelTest::UnwindAll(std::ostringstream& log) {
  log << " | unwind";
  ModelCleanup& c = m_.cleanup;
  if (c.open) {
    Adopt(c.owner);
    const ProxySnapshot before = Settings();
    ASSERT_EQ(As(c.owner, [&] { return OrvFinishUserProxyCleanup(c.ticket, 1); }), 0u);
    CloseCleanup(true, before);
  }
  processes_[nextProcess_++];  // a fresh process takes over whatever exited ones left
  for (auto& [process, state] : processes_) {
    int restored = -1;
    ASSERT_EQ(As(process, [&] { return OrvRestoreUserProxy(&restored); }), 0u);
  }
  EXPECT_EQ(Settings(), m_.user);
  EXPECT_FALSE(JournalLeft()) << "the journal outlived the restore";
}

TEST_P(ProxyModelTest, EverySequenceGivesTheUserTheirOwnSettingsBack) {
  for (unsigned seed = 1; seed <= 1000; ++seed) {
    std::mt19937 random(seed);
    m_ = Model{};
    processes_.clear();
    processes_[1];
    current_ = 1;
    nextProcess_ = 2;
    {
      const std::lock_guard<std::mutex> lock(ProxyMutex());
      GuardedProxyState() = ProxyState{};
    }
    m_.user = StartingSettings(random());
    SetSettings(m_.user);
    std::ostringstream log;
    for (int step = 0; step < 20 && !HasFailure(); ++step) Step(random, log);
    if (!HasFailure()) UnwindAll(log);
    ASSERT_FALSE(HasFailure()) << "seed " << seed << ", steps (op@process):" << log.str();
  }
}

INSTANTIATE_TEST_SUITE_P(Store, ProxyModelTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "MirroredIntoTheRegistry" : "OptionsOnly");
                         });

}  // namespace
}  // namespace orv::proxy::test
