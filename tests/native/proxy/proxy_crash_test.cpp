// A kill at any instant of any proxy call: for every n, the calling process is
// dropped just before the n-th write of the call (to the options, a raw value
// or the journal), as TerminateProcess would drop it, and a new process looks
// at the journal. The user's settings must then be exactly what they would be
// had the process died just before the call or just after it, and unwinding
// from there must give the user their own settings back and leave no journal.

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

#include "kilna/kilna_exports.h"
#include "native/proxy/applied_proxy.h"
#include "native/proxy/proxy_state.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

struct Killed {};

// Everything a kill and a restart see: the settings, the journal, and the
// processes with their in-memory cleanup state.
struct World {
  ProxySnapshot settings;
  std::optional<std::vector<std::uint8_t>> journal;
  ProxyState running;  // process 1's, the one that calls and is killed
};

enum class Op { kSet, kRestore, kClear, kBegin, kFinish, kConflict };

struct Call {
  Op op = Op::kConflict;
  std::uint32_t port = 0;
  bool restore = true;
};

class ProxyCrashTest : public ProxyTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ProxyTest::SetUp();
    fake_.mirrorToRegistry(GetParam());
    platform().beforeWrite = [this] {
      if (killAt_ != 0 && ++writes_ == killAt_) throw Killed{};
    };
  }

  World Capture() {
    World world{Settings(), ReadJournalBytes(), {}};
    const std::lock_guard<std::mutex> lock(ProxyMutex());
    world.running = GuardedProxyState();
    return world;
  }

  void Put(const World& world) {
    SetSettings(world.settings);
    WriteJournalBytes(world.journal);
    processes_.clear();
    processes_[1];
    const std::lock_guard<std::mutex> lock(ProxyMutex());
    GuardedProxyState() = world.running;
  }

  // Runs `call` as process 1; true when it ran to its end.
  bool Run(const Call& call, std::uint32_t killAt) {
    writes_ = 0;
    killAt_ = killAt;
    int out1 = 0;
    int out2 = 0;
    switch (call.op) {
      case Op::kSet:
        OrvSetUserProxy(call.port);
        break;
      case Op::kRestore:
        OrvRestoreUserProxy(&out1);
        break;
      case Op::kClear:
        OrvClearUserProxy();
        break;
      case Op::kBegin:
        OrvBeginUserProxyCleanup(&out1, &out2);
        break;
      case Op::kFinish:
        OrvFinishUserProxyCleanup(static_cast<int>(OpenTicket()), call.restore ? 1 : 0);
        break;
      case Op::kConflict:
        OrvReadEffectiveUserProxyConflict(&out1);
        break;
    }
    const bool whole = killAt == 0 || writes_ < killAt;
    killAt_ = 0;
    return whole;
  }

  std::uint32_t OpenTicket() {
    const std::lock_guard<std::mutex> lock(ProxyMutex());
    return GuardedProxyState().cleanup.openTicket;
  }

  // Process 1 is gone with whatever it held in memory; a new kilna.exe reads
  // the journal. The settings it leaves.
  ProxySnapshot DieAndRecover() {
    processes_.erase(1);
    {
      const std::lock_guard<std::mutex> lock(ProxyMutex());
      GuardedProxyState() = ProxyState{};
    }
    const int next = nextProcess_++;
    Start(next);
    int conflict = 0;
    EXPECT_EQ(As(next, [&] { return OrvReadEffectiveUserProxyConflict(&conflict); }), 0u);
    recovering_ = next;
    return Settings();
  }

  // The recovering process gives back whatever it took over.
  ProxySnapshot Unwind() {
    int restored = 0;
    EXPECT_EQ(As(recovering_, [&] { return OrvRestoreUserProxy(&restored); }), 0u);
    EXPECT_FALSE(JournalLeft()) << "a journal outlived the restore";
    const ProxySnapshot now = Settings();
    EXPECT_EQ(now.options.proxyServer.find(u"127.0.0.1"), ProxyText::npos) << "our loopback was left behind";
    return now;
  }

  Call Pick(std::mt19937& random) {
    Call call;
    const unsigned pick = random() % 8;
    const bool open = OpenTicket() != 0;
    if (pick <= 1) {
      call.op = Op::kSet;
      call.port = std::array<std::uint32_t, 3>{8080, 9090, 1}[random() % 3];
    } else if (pick <= 3) {
      call.op = open ? Op::kFinish : Op::kRestore;
      call.restore = random() % 4 != 0;
    } else if (pick == 4) {
      call.op = open ? Op::kConflict : Op::kClear;
    } else if (pick <= 6) {
      call.op = open ? Op::kFinish : Op::kBegin;
    } else {
      call.op = Op::kConflict;
    }
    return call;
  }

  std::uint32_t writes_ = 0;
  std::uint32_t killAt_ = 0;
  int nextProcess_ = 100;
  int recovering_ = 0;
};

// The options the user must end with once every process is gone, written
// from what each call means to the user alone: a set and a restore leave
// them; a clear makes them a direct connection with the user's bypass list;
// a cleanup closed without its restore leaves the user's manual proxy and
// setup script off, unless it only ever saw our own proxy.
struct PlainUser {
  ProxyOptions options;
  bool oursApplied = false;
  bool cleanupAroundOurs = false;

  void After(const Call& call, bool ticketOpened) {
    switch (call.op) {
      case Op::kSet:
        oursApplied = true;
        break;
      case Op::kRestore:
        oursApplied = false;
        break;
      case Op::kClear:
        options = {kProxyTypeDirect, u"", options.proxyBypass, u""};
        oursApplied = false;
        break;
      case Op::kBegin:
        if (ticketOpened) cleanupAroundOurs = oursApplied;
        break;
      case Op::kFinish:
        if (!call.restore && !cleanupAroundOurs) {
          if ((options.flags & (kProxyTypeProxy | kProxyTypeAutoProxyUrl)) != 0) {
            options.flags = (options.flags & ~(kProxyTypeProxy | kProxyTypeAutoProxyUrl)) | kProxyTypeDirect;
            options.proxyServer.clear();
          }
          options.autoConfigUrl.clear();
        }
        break;
      case Op::kConflict:
        break;
    }
  }
};

ProxySnapshot StartingSettings(unsigned pick) {
  ProxySnapshot s;
  switch (pick % 3) {
    case 0:
      return UserProxyAndPac();
    case 1:
      s.options = {9, u"", u"*.corp", u""};
      s.raw = {DwordValue(0), RawValue{}, Sz(u"*.corp"), RawValue{}};
      return s;
    default:
      s.options = {3, u"proxy.example:3128", u""};
      s.raw = {TextValue(kRegExpandSz, u" 1 "), Sz(u"proxy.example:3128"), RawValue{}, RawValue{}};
      return s;
  }
}

TEST_P(ProxyCrashTest, AKillAtAnyWriteLeavesTheSettingsAsBeforeOrAfterTheCall) {
  for (const unsigned seed : {1u, 2u, 3u, 5u, 8u, 13u, 21u, 34u, 55u, 89u, 144u, 233u}) {
    std::mt19937 random(seed);
    const ProxySnapshot start = StartingSettings(random());
    Put(World{start, std::nullopt, {}});
    PlainUser user{start.options};
    std::ostringstream log;
    for (int step = 0; step < 8 && !HasFailure(); ++step) {
      const Call call = Pick(random);
      log << ' ' << static_cast<int>(call.op);
      const World before = Capture();
      ASSERT_TRUE(Run(call, 0));
      const World after = Capture();
      user.After(call, after.running.cleanup.openTicket != before.running.cleanup.openTicket);
      // What a death just before and just after the call leaves, and what
      // unwinding from each gives the user.
      Put(before);
      const ProxySnapshot diedBefore = DieAndRecover();
      const ProxySnapshot unwoundBefore = Unwind();
      Put(after);
      const ProxySnapshot diedAfter = DieAndRecover();
      const ProxySnapshot unwoundAfter = Unwind();
      EXPECT_EQ(unwoundAfter.options, user.options) << "what the user ends with after " << log.str();
      for (std::uint32_t n = 1; !HasFailure(); ++n) {
        Put(before);
        if (Run(call, n)) break;  // fewer than n writes: every instant tried
        const ProxySnapshot recovered = DieAndRecover();
        const bool asBefore = recovered == diedBefore;
        EXPECT_TRUE(asBefore || recovered == diedAfter)
            << "killed before write " << n << ": " << ::testing::PrintToString(recovered) << "\nnot "
            << ::testing::PrintToString(diedBefore) << "\nnor " << ::testing::PrintToString(diedAfter);
        EXPECT_EQ(Unwind(), asBefore ? unwoundBefore : unwoundAfter) << "killed before write " << n;
      }
      Put(after);
    }
    ASSERT_FALSE(HasFailure()) << "seed " << seed << ", calls:" << log.str();
  }
}

INSTANTIATE_TEST_SUITE_P(Store, ProxyCrashTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "MirroredIntoTheRegistry" : "OptionsOnly");
                         });

}  // namespace
}  // namespace orv::proxy::test
