// The DecThread on the real clock: how late records reach the player after
// their delay, and what the thread costs while the ring is empty.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <filesystem>

#include "bench/common/summary.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "session/DecThread.h"
#include "session/StreamRing.h"
#include "tests/doubles/FakePlayer.h"

namespace {

constexpr LONG kDelayMs = 2000;            // the configuration's default delay
constexpr DWORD kRecordIntervalMs = 40;    // 25 records/s, one per video frame
constexpr DWORD kRecords = 750;            // 30 s of stream
constexpr DWORD kRecordBytes = 16 * 1024;  // ~3.3 Mbit/s at 25 records/s

double g_lateP50Ms = 0;
double g_lateP99Ms = 0;
double g_lateMaxMs = 0;
double g_idleCpuPct = 0;

HANDLE StartDecThread(StreamRing* ring) {
  g_pStreamRing = ring;
  fakeplayer::Reset();
  g_lPlayPort = 1;
  g_nDelayMs = kDelayMs;
  InterlockedExchange(&g_bTread, 1);
  return CreateThread(DecThread, nullptr, "DecThread");
}

void StopDecThread(HANDLE dec) {
  InterlockedExchange(&g_bTread, 0);
  CloseHandle(dec);
  g_pStreamRing = nullptr;
}

double Percentile(std::vector<LONG> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t rank = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[rank];
}

// Feed tick - arrival tick - delay for each record of a 30 s stream.
void BM_FeedLateness(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<StreamRing> ring(StreamRing::Create());
    HANDLE dec = StartDecThread(ring.get());
    std::vector<BYTE> payload(kRecordBytes, 0x47);
    std::vector<DWORD> arrivals;
    const DWORD start = GetTickCount();
    for (DWORD i = 0; i < kRecords; ++i) {
      // Paced from the start, so a late wake-up does not shift later records.
      const LONG wait = static_cast<LONG>(start + i * kRecordIntervalMs - GetTickCount());
      if (wait > 0) {
        Sleep(static_cast<DWORD>(wait));
      }
      std::memcpy(payload.data(), &i, sizeof i);
      CSLock lock(g_csStream);
      arrivals.push_back(GetTickCount());
      g_pStreamRing->StoreRecord(arrivals.back(), payload.data(), kRecordBytes);
    }
    while (fakeplayer::CallCount("PlayM4_InputData") < kRecords) {
      Sleep(10);
    }
    StopDecThread(dec);

    std::vector<LONG> lateness;
    for (const auto& call : fakeplayer::Calls("PlayM4_InputData")) {
      DWORD index = 0;
      std::memcpy(&index, call.data.data(), sizeof index);
      lateness.push_back(static_cast<LONG>(call.tick - arrivals[index]) - kDelayMs);
    }
    g_lateP50Ms = Percentile(lateness, 0.50);
    g_lateP99Ms = Percentile(lateness, 0.99);
    g_lateMaxMs = *std::max_element(lateness.begin(), lateness.end());
  }
  state.counters["p50_ms"] = g_lateP50Ms;
  state.counters["p99_ms"] = g_lateP99Ms;
  state.counters["max_ms"] = g_lateMaxMs;
}
BENCHMARK(BM_FeedLateness)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// CPU time (ns) the thread named `name` has run, from its scheduler stats.
uint64_t ThreadCpuNs(const std::string& name) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string taskName;
    std::getline(comm, taskName);
    if (taskName == name) {
      std::ifstream schedstat(task.path() / "schedstat");
      uint64_t ns = 0;
      schedstat >> ns;
      return ns;
    }
  }
  return 0;
}

// The DecThread's CPU use while the ring stays empty, in % of one core.
void BM_IdleCpu(benchmark::State& state) {
  constexpr auto kWindow = std::chrono::seconds(5);
  for (auto _ : state) {
    std::unique_ptr<StreamRing> ring(StreamRing::Create());
    HANDLE dec = StartDecThread(ring.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // past its start
    const uint64_t cpuBefore = ThreadCpuNs("DecThread");
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(kWindow);
    const uint64_t cpuAfter = ThreadCpuNs("DecThread");
    const double wallNs = std::chrono::duration<double, std::nano>(
                              std::chrono::steady_clock::now() - wallBefore).count();
    StopDecThread(dec);
    g_idleCpuPct = 100.0 * static_cast<double>(cpuAfter - cpuBefore) / wallNs;
  }
  state.counters["cpu_pct"] = g_idleCpuPct;
}
BENCHMARK(BM_IdleCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench::WriteSummary("bench_dec_thread", {{"feed_lateness_p50_ms", g_lateP50Ms},
                                           {"feed_lateness_p99_ms", g_lateP99Ms},
                                           {"feed_lateness_max_ms", g_lateMaxMs},
                                           {"dec_idle_cpu_pct", g_idleCpuPct}});
  return 0;
}
