// The capture's parser against what a general tool would do with the same
// bytes: (a) mixed adapter traffic through the packet entry point against
// libpcap's filter "host 172.19.0.2 and port 53" on raw IP; (b) the DNS
// messages alone through the DNS-message step against ldns parsing each one.
// A counting allocator watches the measured loops: the parser must not
// allocate. Medians of five repetitions; fixed seed.

#include <benchmark/benchmark.h>
#include <ldns/ldns.h>
#include <pcap/pcap.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "native/dns/capture/capture_packet.h"
#include "native/dns/capture/dns_message.h"
#include "tests/native/dns/capture/dns_packet_builder.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::uint64_t> g_allocations{0};

}  // namespace

// Every heap allocation of the process goes through malloc, calloc or realloc
// (operator new included, and ldns's own); these count while g_counting is set.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}
}

namespace {

using namespace orv::dns::testing;

constexpr std::size_t kTrafficPackets = 20'000;
constexpr std::size_t kRecordResetEvery = 10'000;

struct Traffic {
  std::vector<Bytes> packets;       // (a): 99 % other traffic, 1 % DNS with the server
  std::vector<Bytes> dnsMessages;   // (b): the DNS messages of those packets
  std::vector<orv::dns::DnsMessageOrigin> origins;
};

Address RandomAddress(std::mt19937& random) {
  for (;;) {
    const std::uint32_t value = random();
    Address a = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    if (a != kServer) return a;
  }
}

Bytes OtherPacket(std::mt19937& random) {
  const std::size_t size = std::uniform_int_distribution<std::size_t>(40, 1500)(random);
  const bool tcp = random() & 1;
  const Endpoint source{RandomAddress(random), static_cast<std::uint16_t>(random())};
  const Endpoint destination{RandomAddress(random), static_cast<std::uint16_t>(random())};
  Bytes data(size - (tcp ? 40 : 28));
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  return tcp ? TcpPacket(source, destination, data) : UdpPacket(source, destination, data);
}

const Traffic& TheTraffic() {
  static const Traffic traffic = [] {
    Traffic t;
    std::mt19937 random(20261208);
    const Endpoint server{kServer, 53};
    for (std::size_t i = 0; i < kTrafficPackets; ++i) {
      if (random() % 100 != 0) {
        t.packets.push_back(OtherPacket(random));
        continue;
      }
      const auto id = static_cast<std::uint16_t>(random());
      const std::uint16_t type = random() & 1 ? 1 : 28;
      const bool reply = random() & 1;
      const bool tcp = random() % 4 == 0;
      const Endpoint client{{172, 19, 0, 1}, static_cast<std::uint16_t>(1024 + random() % 60000)};
      Bytes message = reply ? DnsReply(id, "host.test", type) : DnsQuery(id, "host.test", type);
      const Endpoint& from = reply ? server : client;
      const Endpoint& to = reply ? client : server;
      t.packets.push_back(tcp ? TcpPacket(from, to, TcpFramed({message})) : UdpPacket(from, to, message));
      orv::dns::DnsMessageOrigin origin;
      origin.clientAddress = 0xAC130001;
      origin.interfaceIndex = 1;
      origin.clientPort = client.port;
      origin.transport = tcp ? orv::dns::DnsTransport::kTcp : orv::dns::DnsTransport::kUdp;
      origin.stage = reply ? orv::dns::DnsStage::kReply : orv::dns::DnsStage::kQuery;
      t.dnsMessages.push_back(std::move(message));
      t.origins.push_back(origin);
    }
    return t;
  }();
  return traffic;
}

// Allocations seen inside each benchmark's measured loops, all repetitions.
std::map<std::string, std::uint64_t> g_allocationsByBenchmark;

class CountAllocations {
 public:
  explicit CountAllocations(const std::string& name) : name_(name), before_(g_allocations.load()) {
    g_counting = true;
  }
  ~CountAllocations() {
    g_counting = false;
    g_allocationsByBenchmark[name_] += g_allocations.load() - before_;
  }

 private:
  std::string name_;
  std::uint64_t before_;
};

// A fresh record outside the timing and the allocation count.
void ResetRecord(benchmark::State& state, std::unique_ptr<orv::dns::CaptureRecord>& record) {
  state.PauseTiming();
  g_counting = false;
  record = std::make_unique<orv::dns::CaptureRecord>("host.test");
  g_counting = true;
  state.ResumeTiming();
}

// Runs parseOne over items 0..count-1 round and round with a record that is
// made afresh every 10 000 items, so that recording stays in the measurement.
template <typename ParseOne>
void MeasureWithRecord(benchmark::State& state, const char* name, std::size_t count, ParseOne parseOne) {
  auto record = std::make_unique<orv::dns::CaptureRecord>("host.test");
  std::size_t i = 0, sinceReset = 0;
  std::uint64_t timeUs = 1'765'000'000'000'000;
  {
    CountAllocations allocations(name);
    for (auto _ : state) {
      parseOne(*record, i, ++timeUs);
      if (++i == count) i = 0;
      if (++sinceReset == kRecordResetEvery) {
        ResetRecord(state, record);
        sinceReset = 0;
      }
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CapturePacketEntry(benchmark::State& state) {
  const auto& packets = TheTraffic().packets;
  MeasureWithRecord(state, "BM_CapturePacketEntry", packets.size(),
                    [&](orv::dns::CaptureRecord& record, std::size_t i, std::uint64_t timeUs) {
                      orv::dns::ParseCapturedPacket(record, packets[i].data(), packets[i].size(), 1, timeUs);
                    });
}
BENCHMARK(BM_CapturePacketEntry)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_PcapFilter(benchmark::State& state) {
  const auto& packets = TheTraffic().packets;
  pcap_t* dead = pcap_open_dead(DLT_RAW, 65535);
  bpf_program program;
  if (pcap_compile(dead, &program, "host 172.19.0.2 and port 53", 1, PCAP_NETMASK_UNKNOWN) != 0) {
    state.SkipWithError(pcap_geterr(dead));
    pcap_close(dead);
    return;
  }
  std::size_t i = 0, matched = 0;
  {
    CountAllocations count("BM_PcapFilter");
    for (auto _ : state) {
      const Bytes& p = packets[i];
      pcap_pkthdr header{};
      header.caplen = header.len = static_cast<bpf_u_int32>(p.size());
      matched += pcap_offline_filter(&program, &header, p.data()) != 0;
      if (++i == packets.size()) i = 0;
    }
  }
  benchmark::DoNotOptimize(matched);
  pcap_freecode(&program);
  pcap_close(dead);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PcapFilter)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_DnsMessageStep(benchmark::State& state) {
  const auto& traffic = TheTraffic();
  MeasureWithRecord(state, "BM_DnsMessageStep", traffic.dnsMessages.size(),
                    [&](orv::dns::CaptureRecord& record, std::size_t i, std::uint64_t timeUs) {
                      const Bytes& m = traffic.dnsMessages[i];
                      orv::dns::ParseDnsMessage(record, traffic.origins[i], m.data(), m.size(), timeUs);
                    });
}
BENCHMARK(BM_DnsMessageStep)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_LdnsWire2Pkt(benchmark::State& state) {
  const auto& messages = TheTraffic().dnsMessages;
  std::size_t i = 0, parsed = 0;
  {
    CountAllocations count("BM_LdnsWire2Pkt");
    for (auto _ : state) {
      const Bytes& m = messages[i];
      ldns_pkt* packet = nullptr;
      if (ldns_wire2pkt(&packet, m.data(), m.size()) == LDNS_STATUS_OK) {
        ++parsed;
        ldns_pkt_free(packet);
      }
      if (++i == messages.size()) i = 0;
    }
  }
  benchmark::DoNotOptimize(parsed);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LdnsWire2Pkt)->Repetitions(5)->ReportAggregatesOnly(true);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        const auto it = run.counters.find("items_per_second");
        if (it != run.counters.end()) rates_[run.run_name.function_name] = it->second.value;
      }
    }
  }
  void PrintSummary() const {
    std::printf("\nMedian rates (items per second):\n");
    for (const auto& [name, rate] : rates_) std::printf("  %-24s %14.0f\n", name.c_str(), rate);
    Ratio("(a) packet entry / pcap filter", "BM_CapturePacketEntry", "BM_PcapFilter", 1.5);
    Ratio("(b) DNS-message step / ldns", "BM_DnsMessageStep", "BM_LdnsWire2Pkt", 15.0);
    std::printf("Allocations inside the measured loops (all repetitions):\n");
    for (const auto& [name, count] : g_allocationsByBenchmark) {
      std::printf("  %-24s %14llu\n", name.c_str(), static_cast<unsigned long long>(count));
    }
  }

 private:
  void Ratio(const char* label, const char* ours, const char* theirs, double goal) const {
    const auto a = rates_.find(ours), b = rates_.find(theirs);
    if (a == rates_.end() || b == rates_.end() || b->second == 0) return;
    std::printf("%s = %.2f (goal at least %.1f)\n", label, a->second / b->second, goal);
  }
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  TheTraffic();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
