#include "native/proxy/proxy_journal.h"

#include <algorithm>

#include "native/proxy/applied_proxy.h"

namespace orv::proxy {
namespace {

constexpr std::uint8_t kTag[4] = {'K', 'P', 'J', '3'};
// As earlier versions wrote it: without changes under way, or without cleanups either.
constexpr std::uint8_t kTagWithoutChanges[4] = {'K', 'P', 'J', '2'};
constexpr std::uint8_t kTagWithoutCleanups[4] = {'K', 'P', 'J', '1'};
constexpr std::uint32_t kMaxText = 0x8000;       // code units
constexpr std::uint32_t kMaxRawBytes = 0x10000;  // per value
constexpr std::uint32_t kMaxEntries = 256;

std::uint64_t Checksum(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
  return hash;
}

class Writer {
 public:
  void U8(std::uint8_t v) { bytes.push_back(v); }
  void U32(std::uint32_t v) { Little(v, 4); }
  void U64(std::uint64_t v) { Little(v, 8); }
  void Text(const ProxyText& text) {
    U32(static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) Little(unit, 2);
  }
  void Raw(const RawValue& value) {
    U8(value.present ? 1 : 0);
    if (!value.present) return;
    U32(value.type);
    U32(static_cast<std::uint32_t>(value.data.size()));
    bytes.insert(bytes.end(), value.data.begin(), value.data.end());
  }
  std::vector<std::uint8_t> bytes;

 private:
  void Little(std::uint64_t v, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
};

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool U8(std::uint8_t& v) {
    std::uint64_t x = 0;
    if (!Little(x, 1)) return false;
    v = static_cast<std::uint8_t>(x);
    return true;
  }
  bool U32(std::uint32_t& v) {
    std::uint64_t x = 0;
    if (!Little(x, 4)) return false;
    v = static_cast<std::uint32_t>(x);
    return true;
  }
  bool U64(std::uint64_t& v) { return Little(v, 8); }
  bool Text(ProxyText& text) {
    std::uint32_t count = 0;
    if (!U32(count) || count > kMaxText) return false;
    text.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint64_t unit = 0;
      if (!Little(unit, 2)) return false;
      text.push_back(static_cast<char16_t>(unit));
    }
    return true;
  }
  bool Raw(RawValue& value) {
    std::uint8_t present = 0;
    value = RawValue{};
    if (!U8(present) || present > 1) return false;
    if (present == 0) return true;
    std::uint32_t size = 0;
    if (!U32(value.type) || !U32(size) || size > kMaxRawBytes || size > size_ - at_) return false;
    value.present = true;
    value.data.assign(data_ + at_, data_ + at_ + size);
    at_ += size;
    return true;
  }
  bool AtEnd() const { return at_ == size_; }

 private:
  bool Little(std::uint64_t& v, int count) {
    if (size_ - at_ < static_cast<std::size_t>(count)) return false;
    v = 0;
    for (int i = count; i-- > 0;) v = (v << 8) | data_[at_ + i];
    at_ += count;
    return true;
  }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

constexpr std::uint32_t kKnownFlags =
    kProxyTypeDirect | kProxyTypeProxy | kProxyTypeAutoProxyUrl | kProxyTypeAutoDetect;
constexpr std::uint32_t kRegDwordBigEndian = 5;

// WinINet hands the options over as NUL-terminated text, so none holds a NUL.
bool OptionTextSound(const ProxyText& text) { return text.find(u'\0') == ProxyText::npos; }

// A value as the registry could have held it: a type it knows, with the size
// that type has (strings in whole UTF-16 units).
bool RawValueSound(const RawValue& value) {
  if (!value.present) return true;
  switch (value.type) {
    case kRegDword:
    case kRegDwordBigEndian:
      return value.data.size() == 4;
    case kRegQword:
      return value.data.size() == 8;
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz:
      return value.data.size() % 2 == 0;
    default:
      return value.type <= kRegQword;
  }
}

bool SnapshotSound(const ProxySnapshot& snapshot) {
  const ProxyOptions& options = snapshot.options;
  return (options.flags & ~kKnownFlags) == 0 && OptionTextSound(options.proxyServer) &&
         OptionTextSound(options.proxyBypass) && OptionTextSound(options.autoConfigUrl) &&
         std::all_of(snapshot.raw.begin(), snapshot.raw.end(), RawValueSound);
}

bool ReadOptions(Reader& in, ProxyOptions& options) {
  return in.U32(options.flags) && in.Text(options.proxyServer) && in.Text(options.proxyBypass) &&
         in.Text(options.autoConfigUrl);
}

bool ReadSnapshot(Reader& in, ProxySnapshot& snapshot) {
  if (!ReadOptions(in, snapshot.options)) return false;
  for (RawValue& value : snapshot.raw) {
    if (!in.Raw(value)) return false;
  }
  return true;
}

void WriteSnapshot(Writer& out, const ProxySnapshot& snapshot) {
  const ProxyOptions& options = snapshot.options;
  out.U32(options.flags);
  out.Text(options.proxyServer);
  out.Text(options.proxyBypass);
  out.Text(options.autoConfigUrl);
  for (const RawValue& value : snapshot.raw) out.Raw(value);
}

bool ReadCleanup(Reader& in, JournaledCleanup& cleanup) {
  std::uint8_t stage = 0;
  if (!in.U32(cleanup.owner.processId) || !in.U64(cleanup.owner.createdAt) || !in.U8(stage)) return false;
  if (stage < static_cast<std::uint8_t>(CleanupStage::kCleaning) ||
      stage > static_cast<std::uint8_t>(CleanupStage::kRestoring) || cleanup.owner.processId == 0) {
    return false;
  }
  cleanup.stage = static_cast<CleanupStage>(stage);
  return ReadSnapshot(in, cleanup.prior) && ReadSnapshot(in, cleanup.cleaned) && SnapshotSound(cleanup.prior) &&
         SnapshotSound(cleanup.cleaned);
}

bool Journaled(const ProxyText& server, const ProxyJournal& journal) {
  return std::any_of(journal.entries.begin(), journal.entries.end(),
                     [&](const JournalEntry& entry) { return entry.server == server; });
}

bool ReadChange(Reader& in, JournaledChange& change) {
  std::uint8_t kind = 0;
  if (!in.U32(change.owner.processId) || !in.U64(change.owner.createdAt) || !in.U8(kind)) return false;
  if (kind < static_cast<std::uint8_t>(ChangeKind::kRestore) || kind > static_cast<std::uint8_t>(ChangeKind::kClear) ||
      change.owner.processId == 0) {
    return false;
  }
  change.kind = static_cast<ChangeKind>(kind);
  return ReadSnapshot(in, change.from) && ReadSnapshot(in, change.to) && SnapshotSound(change.from) &&
         SnapshotSound(change.to);
}

}  // namespace

bool RoutesThroughServer(const ProxyOptions& options, const ProxyText& server) {
  // A setup script or automatic detection is tried before the manual server:
  // whoever turned either on chose these settings, and they are theirs even
  // while our loopback still sits in the manual fields.
  if ((options.flags & (kProxyTypeAutoProxyUrl | kProxyTypeAutoDetect)) != 0) return false;
  return (options.flags & kProxyTypeProxy) != 0 && !server.empty() && options.proxyServer == server;
}

bool RoutesThroughProgram(const ProxyOptions& options, const ProxyJournal& journal) {
  return std::any_of(journal.entries.begin(), journal.entries.end(),
                     [&](const JournalEntry& entry) { return RoutesThroughServer(options, entry.server); });
}

bool OwnsEntry(const ProxyJournal& journal, const JournalOwner& owner) {
  return std::any_of(journal.entries.begin(), journal.entries.end(),
                     [&](const JournalEntry& entry) { return entry.owner == owner; });
}

void DropEntries(ProxyJournal& journal, const JournalOwner& owner) {
  std::erase_if(journal.entries, [&](const JournalEntry& entry) { return entry.owner == owner; });
}

void AddEntry(ProxyJournal& journal, const ProxyText& server, const JournalOwner& owner) {
  const JournalEntry entry{server, owner};
  if (std::find(journal.entries.begin(), journal.entries.end(), entry) == journal.entries.end()) {
    journal.entries.push_back(entry);
  }
}

JournaledCleanup* FindCleanup(ProxyJournal& journal, const JournalOwner& owner) {
  const auto found = std::find_if(journal.cleanups.begin(), journal.cleanups.end(),
                                  [&](const JournaledCleanup& cleanup) { return cleanup.owner == owner; });
  return found == journal.cleanups.end() ? nullptr : &*found;
}

void PutCleanup(ProxyJournal& journal, const JournaledCleanup& cleanup) {
  if (JournaledCleanup* kept = FindCleanup(journal, cleanup.owner)) {
    *kept = cleanup;
  } else {
    journal.cleanups.push_back(cleanup);
  }
}

void DropCleanup(ProxyJournal& journal, const JournalOwner& owner) {
  std::erase_if(journal.cleanups, [&](const JournaledCleanup& cleanup) { return cleanup.owner == owner; });
}

const JournaledChange* FindChange(const ProxyJournal& journal, const JournalOwner& owner) {
  const auto found = std::find_if(journal.changes.begin(), journal.changes.end(),
                                  [&](const JournaledChange& change) { return change.owner == owner; });
  return found == journal.changes.end() ? nullptr : &*found;
}

void PutChange(ProxyJournal& journal, const JournaledChange& change) {
  DropChange(journal, change.owner);
  journal.changes.push_back(change);
}

void DropChange(ProxyJournal& journal, const JournalOwner& owner) {
  std::erase_if(journal.changes, [&](const JournaledChange& change) { return change.owner == owner; });
}

bool ManualProxyIsOurs(const ProxyOptions& options, const ProxyJournal& journal) {
  return (options.flags & kProxyTypeProxy) != 0 && IsAppliedServer(options.proxyServer) &&
         (Journaled(options.proxyServer, journal) || options.proxyBypass == kAppliedBypass);
}

ProxySnapshot UsersOwnSettings(const ProxySnapshot& snapshot, const ProxyJournal& journal) {
  if (!ManualProxyIsOurs(snapshot.options, journal) || RoutesThroughProgram(snapshot.options, journal)) {
    return snapshot;
  }
  ProxySnapshot own = snapshot;
  ProxyOptions& options = own.options;
  if (!journal.entries.empty()) {
    const ProxySnapshot& users = journal.prior;
    options.flags = (options.flags & ~kProxyTypeProxy) | (users.options.flags & kProxyTypeProxy);
    options.proxyServer = users.options.proxyServer;
    own.raw[kSlotProxyEnable] = users.raw[kSlotProxyEnable];
    own.raw[kSlotProxyServer] = users.raw[kSlotProxyServer];
    if (options.proxyBypass == kAppliedBypass) {
      options.proxyBypass = users.options.proxyBypass;
      own.raw[kSlotProxyOverride] = users.raw[kSlotProxyOverride];
    }
    return own;
  }
  options.flags = (options.flags & ~kProxyTypeProxy) | kProxyTypeDirect;
  options.proxyServer.clear();
  own.raw[kSlotProxyEnable] = DwordValue(0);
  ProxyText server;
  if (RawValueText(snapshot.raw[kSlotProxyServer], server) && server == snapshot.options.proxyServer) {
    own.raw[kSlotProxyServer] = RawValue{};
  }
  return own;
}

std::vector<std::uint8_t> EncodeJournal(const ProxyJournal& journal) {
  Writer out;
  out.bytes.assign(std::begin(kTag), std::end(kTag));
  WriteSnapshot(out, journal.prior);
  out.U32(static_cast<std::uint32_t>(journal.entries.size()));
  for (const JournalEntry& entry : journal.entries) {
    out.Text(entry.server);
    out.U32(entry.owner.processId);
    out.U64(entry.owner.createdAt);
  }
  out.U32(static_cast<std::uint32_t>(journal.cleanups.size()));
  for (const JournaledCleanup& cleanup : journal.cleanups) {
    out.U32(cleanup.owner.processId);
    out.U64(cleanup.owner.createdAt);
    out.U8(static_cast<std::uint8_t>(cleanup.stage));
    WriteSnapshot(out, cleanup.prior);
    WriteSnapshot(out, cleanup.cleaned);
  }
  out.U32(static_cast<std::uint32_t>(journal.changes.size()));
  for (const JournaledChange& change : journal.changes) {
    out.U32(change.owner.processId);
    out.U64(change.owner.createdAt);
    out.U8(static_cast<std::uint8_t>(change.kind));
    WriteSnapshot(out, change.from);
    WriteSnapshot(out, change.to);
  }
  out.U64(Checksum(out.bytes.data(), out.bytes.size()));
  return std::move(out.bytes);
}

bool DecodeJournal(const std::vector<std::uint8_t>& bytes, ProxyJournal& journal) {
  if (bytes.size() < sizeof(kTag) + 8) return false;
  const bool withChanges = std::equal(std::begin(kTag), std::end(kTag), bytes.begin());
  const bool withCleanups =
      withChanges || std::equal(std::begin(kTagWithoutChanges), std::end(kTagWithoutChanges), bytes.begin());
  if (!withCleanups && !std::equal(std::begin(kTagWithoutCleanups), std::end(kTagWithoutCleanups), bytes.begin())) {
    return false;
  }
  const std::size_t bodySize = bytes.size() - 8;
  Reader tail(bytes.data() + bodySize, 8);
  std::uint64_t stored = 0;
  if (!tail.U64(stored) || stored != Checksum(bytes.data(), bodySize)) return false;

  Reader in(bytes.data() + sizeof(kTag), bodySize - sizeof(kTag));
  ProxyJournal read;
  if (!ReadSnapshot(in, read.prior)) return false;
  std::uint32_t count = 0;
  if (!in.U32(count) || count > kMaxEntries) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    JournalEntry entry;
    if (!in.Text(entry.server) || !in.U32(entry.owner.processId) || !in.U64(entry.owner.createdAt)) return false;
    if (!IsAppliedServer(entry.server) || entry.owner.processId == 0) return false;
    // Entries are added once each: a repeated one was not written by us.
    if (std::find(read.entries.begin(), read.entries.end(), entry) != read.entries.end()) return false;
    read.entries.push_back(std::move(entry));
  }
  std::uint32_t cleanups = 0;
  if (withCleanups && (!in.U32(cleanups) || cleanups > kMaxEntries)) return false;
  for (std::uint32_t i = 0; i < cleanups; ++i) {
    JournaledCleanup cleanup;
    if (!ReadCleanup(in, cleanup) || FindCleanup(read, cleanup.owner) != nullptr) return false;
    read.cleanups.push_back(std::move(cleanup));
  }
  std::uint32_t changes = 0;
  if (withChanges && (!in.U32(changes) || changes > kMaxEntries)) return false;
  for (std::uint32_t i = 0; i < changes; ++i) {
    JournaledChange change;
    if (!ReadChange(in, change) || FindChange(read, change.owner) != nullptr) return false;
    read.changes.push_back(std::move(change));
  }
  // An empty journal is removed, never written.
  if (read.empty()) return false;
  // The saved settings are the user's: ones that route through us are not,
  // and neither is anything the store could not have read.
  if (!in.AtEnd() || !SnapshotSound(read.prior) || RoutesThroughProgram(read.prior.options, read)) return false;
  journal = std::move(read);
  return true;
}

}  // namespace orv::proxy
