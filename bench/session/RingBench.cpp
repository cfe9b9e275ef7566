// StreamRing throughput beside plain memcpy, and the producer's longest wait
// for g_csStream while the DecThread takes records on another thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/summary.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "session/DecThread.h"
#include "session/StreamRing.h"
#include "tests/doubles/FakePlayer.h"

namespace {

std::vector<BYTE> Bytes(size_t len) {
  std::vector<BYTE> bytes(len);
  for (size_t i = 0; i < len; ++i) {
    bytes[i] = static_cast<BYTE>(i * 7);
  }
  return bytes;
}

// Store one record as the intake does and take it as the DecThread does.
void BM_RingStoreTake(benchmark::State& state) {
  const DWORD len = static_cast<DWORD>(state.range(0));
  std::unique_ptr<StreamRing> ring(StreamRing::Create());
  const std::vector<BYTE> src = Bytes(len);
  std::vector<BYTE> dst(len);
  for (auto _ : state) {
    {
      CSLock lock(g_csStream);
      ring->StoreRecord(GetTickCount(), src.data(), len);
    }
    StreamRecordHeader header{0, 0};
    {
      CSLock lock(g_csStream);
      ring->TakeRecordHeader(&header);
      ring->Read(dst.data(), header.dwLen);
    }
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * len);
}

void BM_Memcpy(benchmark::State& state) {
  const size_t len = static_cast<size_t>(state.range(0));
  const std::vector<BYTE> src = Bytes(len);
  std::vector<BYTE> dst(len);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), len);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

// The ring's two copies without the ring: in to a 30 MiB block at a moving
// offset and out again. Plain memcpy of one hot buffer stays in the cache,
// while the ring's stores walk 30 MiB through memory; this baseline tells the
// cost of that walk from the cost of the ring's own work (locks, header).
void BM_TwoCopiesThroughBlock(benchmark::State& state) {
  const size_t len = static_cast<size_t>(state.range(0));
  const std::vector<BYTE> src = Bytes(len);
  std::vector<BYTE> dst(len);
  std::vector<BYTE> block(StreamRing::kRingBytes);
  size_t pos = 0;
  for (auto _ : state) {
    if (pos + len > block.size()) {
      pos = 0;
    }
    std::memcpy(block.data() + pos, src.data(), len);
    std::memcpy(dst.data(), block.data() + pos, len);
    pos += len + kRecordHeaderBytes;
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

#define RECORD_SIZES Arg(1024)->Arg(16 * 1024)->Arg(64 * 1024)->Arg(1024 * 1024)
BENCHMARK(BM_RingStoreTake)->RECORD_SIZES;
BENCHMARK(BM_Memcpy)->RECORD_SIZES;
BENCHMARK(BM_TwoCopiesThroughBlock)->RECORD_SIZES;

double g_producerWaitMaxUs = 0;  // longest wait for g_csStream, µs

// The benchmark thread stores 16 KiB records at full speed, as the intake
// would; the DecThread (no delay, real clock) takes them and feeds the
// player double. Bytes counted are those stored (refused records not counted).
void BM_ProducerConsumer(benchmark::State& state) {
  constexpr DWORD kLen = 16 * 1024;
  std::unique_ptr<StreamRing> ring(StreamRing::Create());
  g_pStreamRing = ring.get();
  fakeplayer::Reset();
  fakeplayer::SetKeepData(false);
  g_lPlayPort = 1;
  g_nDelayMs = 0;
  InterlockedExchange(&g_bTread, 1);
  HANDLE dec = CreateThread(DecThread, nullptr, "DecThread");

  const std::vector<BYTE> payload = Bytes(kLen);
  int64_t storedBytes = 0;
  int64_t refused = 0;
  std::chrono::nanoseconds longestWait{0};
  for (auto _ : state) {
    const auto before = std::chrono::steady_clock::now();
    EnterCriticalSection(&g_csStream);
    longestWait = std::max(longestWait, std::chrono::steady_clock::now() - before);
    const BOOL stored = g_pStreamRing->StoreRecord(GetTickCount(), payload.data(), kLen);
    LeaveCriticalSection(&g_csStream);
    storedBytes += stored ? kLen : 0;
    refused += stored ? 0 : 1;
  }
  while (g_pStreamRing->GetDataLen() != 0) {
    std::this_thread::yield();
  }
  InterlockedExchange(&g_bTread, 0);
  CloseHandle(dec);
  g_pStreamRing = nullptr;
  fakeplayer::Reset();

  state.SetBytesProcessed(storedBytes);
  state.counters["refused"] = static_cast<double>(refused);
  g_producerWaitMaxUs = std::chrono::duration<double, std::micro>(longestWait).count();
  state.counters["producer_wait_max_us"] = g_producerWaitMaxUs;
}
BENCHMARK(BM_ProducerConsumer)->Iterations(200000)->UseRealTime();

// Keeps each run's bytes per second by name for the ratios.
class CapturingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) {
        bytesPerSecond[run.benchmark_name()] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> bytesPerSecond;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CapturingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::map<std::string, double> figures;
  const auto ratio = [&](const char* baseline, const char* size) {
    const double ring = reporter.bytesPerSecond[std::string("BM_RingStoreTake/") + size];
    const double plain = reporter.bytesPerSecond[std::string(baseline) + "/" + size];
    return plain > 0 ? ring / plain : 0;
  };
  const std::map<std::string, const char*> sizes = {
      {"1k", "1024"}, {"16k", "16384"}, {"64k", "65536"}, {"1m", "1048576"}};
  for (const auto& [suffix, size] : sizes) {
    figures["ring_vs_memcpy_" + suffix] = ratio("BM_Memcpy", size);
    figures["ring_vs_block_copies_" + suffix] = ratio("BM_TwoCopiesThroughBlock", size);
  }
  figures["producer_consumer_mib_s"] =
      reporter.bytesPerSecond["BM_ProducerConsumer/iterations:200000/real_time"] / (1024 * 1024);
  figures["producer_wait_max_us"] = g_producerWaitMaxUs;
  bench::WriteSummary("bench_ring", figures);
  return 0;
}
