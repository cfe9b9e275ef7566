// Device layer figures on loopback against the demo camera:
//  device_cpu_pct_720p / _1080p  receive + remux CPU, % of one core, 4 Mbit/s
//  login_ms                      mean login time
//  reconnect_notice_ms           camera ready again -> 0x8005 notice, with a
//                                100 ms reconnect interval
// plus callback sizes and rates as counters.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "bench/common/summary.h"
#include "platform/device/device.h"
#include "tests/device/democam_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_device::DemoCamProcess;

std::map<std::string, double> g_figures;

constexpr int kMeasureSeconds = 10;  // long enough to hold five key-frame intervals

struct Counts {
  std::atomic<long> calls{0};
  std::atomic<long> bytes{0};
  std::atomic<long> largest{0};
  std::atomic<long> frames{0};  // PES starts on the video PID
  std::atomic<int> reconnects{0};
};

void CountData(LONG, DWORD, BYTE* data, DWORD size, void* user) {
  auto* counts = static_cast<Counts*>(user);
  counts->calls.fetch_add(1);
  counts->bytes.fetch_add(size);
  long largest = counts->largest.load();
  while (static_cast<long>(size) > largest &&
         !counts->largest.compare_exchange_weak(largest, size)) {
  }
  for (DWORD at = 0; at + 188 <= size; at += 188) {
    const BYTE* p = data + at;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    if (pid == 0x100 && (p[1] & 0x40) != 0) {
      counts->frames.fetch_add(1);
    }
  }
}

void CountException(DWORD type, LONG, LONG, void* user) {
  if (type == EXCEPTION_RECONNECT_SUCCEEDED) {
    static_cast<Counts*>(user)->reconnects.fetch_add(1);
  }
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

LONG Login(int port) {
  NET_DVR_DEVICEINFO_V30 info{};
  return NET_DVR_Login_V30("127.0.0.1", static_cast<WORD>(port), "admin", "60917", &info);
}

LONG Play(LONG login, Counts* counts) {
  NET_DVR_PREVIEWINFO request{};
  request.lChannel = 1;
  return NET_DVR_RealPlay_V40(login, &request, &CountData, counts);
}

// Figures: device_cpu_pct_<label>, device_callbacks_per_s_<label>,
// device_frames_per_s_<label>.
void ReceiveCpu(benchmark::State& state, const char* size, const std::string& label) {
  DemoCamProcess camera;
  if (!camera.Start(0, {"--size", size, "--bitrate", "4000"})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  NET_DVR_Init();
  Counts counts;
  const LONG play = Play(Login(camera.Port()), &counts);
  if (play < 0) {
    state.SkipWithError("real play failed");
    NET_DVR_Cleanup();
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));  // past the first key frame
  for (auto _ : state) {
    const long calls0 = counts.calls.load();
    const long bytes0 = counts.bytes.load();
    const long frames0 = counts.frames.load();
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kMeasureSeconds));
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpuPct = (ProcessCpuSeconds() - cpu0) / wall * 100.0;
    const double calls = static_cast<double>(counts.calls.load() - calls0);
    const double bytes = static_cast<double>(counts.bytes.load() - bytes0);
    state.counters["cpu_pct"] = cpuPct;
    state.counters["callbacks_per_s"] = calls / wall;
    state.counters["bytes_per_callback"] = calls > 0 ? bytes / calls : 0;
    state.counters["largest_callback_bytes"] = static_cast<double>(counts.largest.load());
    state.counters["frames_per_s"] = static_cast<double>(counts.frames.load() - frames0) / wall;
    state.counters["ts_mbit_per_s"] = bytes * 8 / wall / 1e6;
    g_figures["device_cpu_pct_" + label] = cpuPct;
    g_figures["device_callbacks_per_s_" + label] = calls / wall;
    g_figures["device_bytes_per_callback_" + label] = calls > 0 ? bytes / calls : 0;
    g_figures["device_frames_per_s_" + label] =
        static_cast<double>(counts.frames.load() - frames0) / wall;
  }
  NET_DVR_StopRealPlay(play);
  NET_DVR_Cleanup();
}

void BM_ReceiveCpu720p(benchmark::State& state) { ReceiveCpu(state, "1280x720", "720p"); }
void BM_ReceiveCpu1080p(benchmark::State& state) { ReceiveCpu(state, "1920x1080", "1080p"); }

void BM_Login(benchmark::State& state) {
  DemoCamProcess camera;
  if (!camera.Start(0, {"--size", "640x360"})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  NET_DVR_Init();
  double totalMs = 0;
  double worstMs = 0;
  long logins = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const LONG login = Login(camera.Port());
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (login < 0) {
      state.SkipWithError("login failed");
      break;
    }
    NET_DVR_Logout(login);
    totalMs += ms;
    worstMs = std::max(worstMs, ms);
    ++logins;
  }
  if (logins > 0) {
    state.counters["mean_ms"] = totalMs / static_cast<double>(logins);
    state.counters["worst_ms"] = worstMs;
    g_figures["login_ms"] = totalMs / static_cast<double>(logins);
  }
  NET_DVR_Cleanup();
}

void BM_ReconnectNotice(benchmark::State& state) {
  constexpr DWORD kIntervalMs = 100;
  DemoCamProcess camera;
  if (!camera.Start(0, {"--size", "640x360"})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  const int port = camera.Port();
  NET_DVR_Init();
  NET_DVR_SetReconnect(kIntervalMs, TRUE);
  Counts counts;
  NET_DVR_SetExceptionCallBack_V30(0, nullptr, &CountException, &counts);
  const LONG play = Play(Login(port), &counts);
  double totalMs = 0;
  int restarts = 0;
  for (auto _ : state) {
    if (play < 0) {
      state.SkipWithError("real play failed");
      break;
    }
    const int before = counts.reconnects.load();
    camera.Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!camera.Start(port, {"--size", "640x360"})) {
      state.SkipWithError("demo camera did not restart");
      break;
    }
    const auto ready = Clock::now();
    while (counts.reconnects.load() == before && Clock::now() - ready < std::chrono::seconds(20)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    totalMs += std::chrono::duration<double, std::milli>(Clock::now() - ready).count();
    ++restarts;
  }
  if (restarts > 0) {
    state.counters["mean_ms"] = totalMs / restarts;
    g_figures["reconnect_notice_ms"] = totalMs / restarts;
  }
  NET_DVR_Cleanup();
}

BENCHMARK(BM_ReceiveCpu720p)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_ReceiveCpu1080p)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Login)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReconnectNotice)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench::WriteSummary("device_bench", g_figures);
  return 0;
}
