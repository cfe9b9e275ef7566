// Device layer figures on loopback against the demo camera:
//  device_cpu_pct_720p / _1080p  receive + remux CPU, % of one core, 4 Mbit/s
//  login_ms                      mean login time
//  reconnect_notice_ms           camera ready again -> 0x8005 notice, with a
//                                100 ms reconnect interval
//  login_ms_udp_only             mean login time, camera offering RTP over UDP only
//  reconnect_to_picture_ms       camera restarted and ready -> first picture of the
//                                new connection at the data callback, with the
//                                program's settings (2000 ms connect, 10000 ms interval)
//  login_peak_rss_growth_mb      resident memory grown during a login to a device
//                                announcing a 2 GB reply
//  personality_<camera>_<tcp|udp>_{login_ms,first_picture_ms,play_to_picture_ms,cpu_pct}
//                                per camera shape and link mode: login, header ->
//                                first picture, real-play call -> first picture (it
//                                waits for the camera's next key frame), receive +
//                                remux CPU % of one core
//  udp_reorder_ns_per_packet     putting UDP packets back in order: CPU per
//                                1,400-byte packet, one pair in 50 swapped
//  fallback_ms_setup400 / _461   real-play call over TCP to a 720p camera that
//                                serves UDP only and answers a TCP SETUP 400 (461)
//                                -> first picture at the data callback over UDP,
//                                mean of 10
//  keepalive_stale_reconnects    reconnections in a 120 s play of a scripted device
//                                whose Digest nonce goes stale every 30 s, with
//                                keep-alives every 2 s (session timeout 4 s)
// plus callback sizes and rates as counters.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/summary.h"
#include "platform/device/device.h"
#include "platform/device/rtp_reorder.h"
#include "platform/device/rtsp_source.h"

extern "C" {
#include <libavcodec/packet.h>
}
#include "tests/device/democam_process.h"
#include "tests/device/scripted_device.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_device::DemoCamProcess;

std::map<std::string, double> g_figures;

constexpr int kMeasureSeconds = 10;  // long enough to hold five key-frame intervals

struct Counts {
  std::atomic<long> calls{0};
  std::atomic<long long> headerUs{0};        // steady clock at the header callback
  std::atomic<long long> firstPictureUs{0};  // ... at the first picture after it
  std::atomic<long> bytes{0};
  std::atomic<long> largest{0};
  std::atomic<long> frames{0};  // PES starts on the video PID
  std::atomic<int> reconnects{0};
};

void CountData(LONG, DWORD type, BYTE* data, DWORD size, void* user) {
  auto* counts = static_cast<Counts*>(user);
  counts->calls.fetch_add(1);
  counts->bytes.fetch_add(size);
  long largest = counts->largest.load();
  while (static_cast<long>(size) > largest &&
         !counts->largest.compare_exchange_weak(largest, size)) {
  }
  const long long nowUs =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
          .count();
  if (type == NET_DVR_SYSHEAD) {
    counts->headerUs.store(nowUs);
  }
  for (DWORD at = 0; at + 188 <= size; at += 188) {
    const BYTE* p = data + at;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    if (pid == 0x100 && (p[1] & 0x40) != 0) {
      counts->frames.fetch_add(1);
      long long none = 0;
      counts->firstPictureUs.compare_exchange_strong(none, nowUs);
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

LONG Play(LONG login, Counts* counts, DWORD linkMode = 0) {
  NET_DVR_PREVIEWINFO request{};
  request.lChannel = 1;
  request.dwLinkMode = linkMode;
  return NET_DVR_RealPlay_V40(login, &request, &CountData, counts);
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Mean login time over `logins` logins; negative when one failed.
double MeanLoginMs(int port, int logins) {
  double totalMs = 0;
  for (int i = 0; i < logins; ++i) {
    const auto start = Clock::now();
    const LONG login = Login(port);
    totalMs += MsSince(start);
    if (login < 0) {
      return -1;
    }
    NET_DVR_Logout(login);
  }
  return totalMs / logins;
}

long CurrentRssKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
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

void BM_LoginUdpOnly(benchmark::State& state) {
  DemoCamProcess camera;
  if (!camera.Start(0, {"--size", "640x360", "--transports", "udp"})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  NET_DVR_Init();
  for (auto _ : state) {
    const double ms = MeanLoginMs(camera.Port(), 20);
    if (ms < 0) {
      state.SkipWithError("login failed");
      break;
    }
    state.counters["mean_ms"] = ms;
    g_figures["login_ms_udp_only"] = ms;
  }
  NET_DVR_Cleanup();
}

void BM_LoginHugeReplyMemory(benchmark::State& state) {
  testing_device::ScriptedDevice device({"", false, false, 2000000000LL});
  NET_DVR_Init();
  NET_DVR_SetConnectTime(2000, 1);
  for (auto _ : state) {
    const long baseKb = CurrentRssKb();
    std::atomic<long> peakKb{baseKb};
    std::atomic<bool> done{false};
    std::thread sampler([&] {
      while (!done.load()) {
        peakKb.store(std::max(peakKb.load(), CurrentRssKb()));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    const auto start = Clock::now();
    const LONG login = Login(device.Port());
    const double ms = MsSince(start);
    done.store(true);
    sampler.join();
    state.counters["refused"] = login < 0 ? 1 : 0;
    state.counters["login_ms"] = ms;
    state.counters["rss_growth_mb"] = static_cast<double>(peakKb.load() - baseKb) / 1024.0;
    g_figures["login_peak_rss_growth_mb"] = static_cast<double>(peakKb.load() - baseKb) / 1024.0;
  }
  NET_DVR_Cleanup();
}

void BM_ReconnectToPicture(benchmark::State& state) {
  DemoCamProcess camera;
  const std::vector<std::string> options = {"--size", "640x360"};
  if (!camera.Start(0, options)) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  const int port = camera.Port();
  NET_DVR_Init();
  NET_DVR_SetConnectTime(2000, 1);  // the program's settings
  NET_DVR_SetReconnect(10000, TRUE);
  Counts counts;
  const LONG play = Play(Login(port), &counts);
  double totalMs = 0;
  int restarts = 0;
  for (auto _ : state) {
    if (play < 0) {
      state.SkipWithError("real play failed");
      break;
    }
    camera.Stop();
    if (!camera.Start(port, options)) {
      state.SkipWithError("demo camera did not restart");
      break;
    }
    const auto ready = Clock::now();
    const long frames = counts.frames.load();
    while (counts.frames.load() == frames && Clock::now() - ready < std::chrono::seconds(30)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    totalMs += MsSince(ready);
    ++restarts;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  if (restarts > 0) {
    state.counters["mean_ms"] = totalMs / restarts;
    g_figures["reconnect_to_picture_ms"] = totalMs / restarts;
  }
  NET_DVR_Cleanup();
}

// One camera shape over one link mode: login, header to first picture, CPU.
void Personality(benchmark::State& state, const std::string& name, std::vector<std::string> options,
                 DWORD linkMode) {
  options.insert(options.end(), {"--size", "1280x720", "--bitrate", "2048"});
  DemoCamProcess camera;
  if (!camera.Start(0, options)) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  NET_DVR_Init();
  NET_DVR_SetConnectTime(2000, 1);
  const std::string prefix = "personality_" + name + (linkMode == 1 ? "_udp_" : "_tcp_");
  for (auto _ : state) {
    const double loginMs = MeanLoginMs(camera.Port(), 5);
    Counts counts;
    const LONG login = loginMs < 0 ? -1 : Login(camera.Port());
    const long long playUs =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
            .count();
    const LONG play = login < 0 ? -1 : Play(login, &counts, linkMode);
    if (play < 0) {
      state.SkipWithError("login or real play failed");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpuPct = (ProcessCpuSeconds() - cpu0) / (MsSince(wall0) / 1000.0) * 100.0;
    NET_DVR_StopRealPlay(play);
    const double firstMs =
        counts.firstPictureUs.load() > 0
            ? static_cast<double>(counts.firstPictureUs.load() - counts.headerUs.load()) / 1000.0
            : -1;
    const double playMs = counts.firstPictureUs.load() > 0
                              ? static_cast<double>(counts.firstPictureUs.load() - playUs) / 1000.0
                              : -1;
    state.counters["login_ms"] = loginMs;
    state.counters["first_picture_ms"] = firstMs;
    state.counters["play_to_picture_ms"] = playMs;
    g_figures[prefix + "play_to_picture_ms"] = playMs;
    state.counters["cpu_pct"] = cpuPct;
    g_figures[prefix + "login_ms"] = loginMs;
    g_figures[prefix + "first_picture_ms"] = firstMs;
    g_figures[prefix + "cpu_pct"] = cpuPct;
  }
  NET_DVR_Cleanup();
}

// A camera that serves UDP only and refuses a TCP SETUP with `status`: each
// real play asks for TCP, falls back, and its first picture is timed.
void BM_FallbackToPicture(benchmark::State& state, int status) {
  constexpr int kPlays = 10;
  DemoCamProcess camera;
  if (!camera.Start(0, {"--size", "1280x720", "--transports", "udp", "--refuse-status",
                        std::to_string(status)})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  NET_DVR_Init();
  NET_DVR_SetConnectTime(2000, 1);  // the program's settings
  const LONG login = Login(camera.Port());
  double totalMs = 0;
  int plays = 0;
  for (auto _ : state) {
    for (; plays < kPlays && login >= 0; ++plays) {
      Counts counts;
      const auto start = Clock::now();
      const LONG play = Play(login, &counts, 0);
      DWORD used = 0;
      if (play < 0 || !NET_DVR_GetRealPlayLinkMode(play, &used) || used != 1) {
        break;
      }
      while (counts.firstPictureUs.load() == 0 && Clock::now() - start < std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (counts.firstPictureUs.load() == 0) {
        NET_DVR_StopRealPlay(play);
        break;
      }
      const long long startUs =
          std::chrono::duration_cast<std::chrono::microseconds>(start.time_since_epoch()).count();
      totalMs += static_cast<double>(counts.firstPictureUs.load() - startUs) / 1000.0;
      NET_DVR_StopRealPlay(play);
    }
  }
  if (plays < kPlays) {
    state.SkipWithError("login, real play or the fallback to UDP failed");
  } else {
    state.counters["mean_ms"] = totalMs / kPlays;
    g_figures["fallback_ms_setup" + std::to_string(status)] = totalMs / kPlays;
  }
  NET_DVR_Cleanup();
}
BENCHMARK_CAPTURE(BM_FallbackToPicture, setup400, 400)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FallbackToPicture, setup461, 461)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Two minutes of play from a device whose nonce goes stale every 30 s: each
// stale keep-alive is answered again at once, without a new session. The
// scripted device's session timeout of 4 s makes keep-alives come every 2 s
// (a camera's 60 s would give two in the whole play).
void BM_KeepAliveStaleNonce(benchmark::State& state) {
  testing_device::ScriptedAnswers answers{testing_device::SdpWithAudioFirst(0)};
  answers.sessionTimeoutS = 4;
  answers.streamEveryMs = 40;
  answers.staleNonceEveryMs = 30000;
  testing_device::ScriptedDevice device(answers);
  NET_DVR_Init();
  NET_DVR_SetConnectTime(2000, 1);
  NET_DVR_SetReconnect(1000, TRUE);
  Counts counts;
  NET_DVR_SetExceptionCallBack_V30(0, nullptr, &CountException, &counts);
  const LONG play = Play(Login(device.Port()), &counts);
  for (auto _ : state) {
    if (play < 0) {
      state.SkipWithError("login or real play failed");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(120));
    state.counters["reconnects"] = counts.reconnects.load();
    state.counters["new_sessions"] = device.Setups() - 1;
    state.counters["stale_refusals"] = device.StaleRefusals();
    state.counters["frames_per_s"] = static_cast<double>(counts.frames.load()) / 120;
    g_figures["keepalive_stale_reconnects"] = counts.reconnects.load();
    g_figures["keepalive_stale_refusals"] = device.StaleRefusals();
  }
  NET_DVR_StopRealPlay(play);
  NET_DVR_Cleanup();
}
BENCHMARK(BM_KeepAliveStaleNonce)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A Wi-Fi bridge's late bursts over real UDP sockets: each packet leaves the
// device up to 150 ms after its turn, at random, so that packets overtake one
// another; the reorder holds a gap up to 200 ms and loses none of them.
void BM_JitterNoLoss(benchmark::State& state) {
  constexpr int kSeconds = 20;
  constexpr int kPacketEveryMs = 5;  // 200 packets a second: many overtake
  testing_device::ScriptedAnswers answers{testing_device::SdpWithAudioFirst(0)};
  answers.streamEveryMs = kPacketEveryMs;
  answers.udpJitterMs = 150;
  testing_device::ScriptedDevice device(answers);
  for (auto _ : state) {
    device::RtspSource source(nullptr);
    const device::Outcome opened =
        source.Open({{"127.0.0.1", device.Port(), "admin", "60917", "/ch1/main"}, true, 3000, 1},
                    false);
    AVPacket* packet = av_packet_alloc();
    long units = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds);
    while (opened.Ok() && std::chrono::steady_clock::now() < end && source.Read(packet).Ok()) {
      av_packet_unref(packet);
      ++units;
    }
    av_packet_free(&packet);
    if (!opened.Ok() || !source.Udp()) {
      state.SkipWithError("no UDP stream from the scripted device");
      break;
    }
    const device::ReorderCounts counts = source.ReorderTotals();
    g_figures["jitter_lost_packets_200ms"] = static_cast<double>(counts.lost);
    g_figures["jitter_reordered_packets"] = static_cast<double>(counts.reordered);
    state.counters["lost"] = static_cast<double>(counts.lost);
    state.counters["late"] = static_cast<double>(counts.late);
    state.counters["reordered"] = static_cast<double>(counts.reordered);
    state.counters["pictures"] = static_cast<double>(units);
  }
}
BENCHMARK(BM_JitterNoLoss)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The reorder's cost on the UDP path, without the network: a 1080p stream at
// 8 Mbit/s is about 700 packets a second.
void BM_ReorderPerPacket(benchmark::State& state) {
  constexpr int kPackets = 1000000;
  constexpr int kSwapEvery = 50;
  std::vector<uint8_t> packet(1400);
  std::vector<uint8_t> out;
  long given = 0;
  for (auto _ : state) {
    device::RtpReorder reorder;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPackets; ++i) {
      const int swapped = i % kSwapEvery == 1 ? i + 1 : i % kSwapEvery == 2 ? i - 1 : i;
      packet[2] = static_cast<uint8_t>(swapped >> 8);
      packet[3] = static_cast<uint8_t>(swapped);
      given += reorder.Offer(packet, start) ? 1 : 0;
      while (reorder.Pop(&out, start)) {
        ++given;
      }
    }
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() -
                                                               start).count();
    g_figures["udp_reorder_ns_per_packet"] = ns / kPackets;
    state.counters["ns_per_packet"] = ns / kPackets;
  }
  benchmark::DoNotOptimize(given);
}
BENCHMARK(BM_ReorderPerPacket)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_CAPTURE(Personality, h264_tcp, "h264", {}, 0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h264_udp, "h264", {}, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h265_tcp, "h265", {"--codec", "h265"}, 0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h265_udp, "h265", {"--codec", "h265"}, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h264_aac_sdp_noauth_tcp, "h264_aac_sdp_noauth",
                  {"--audio", "aac", "--params", "sdp", "--auth", "none"}, 0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h264_aac_sdp_noauth_udp, "h264_aac_sdp_noauth",
                  {"--audio", "aac", "--params", "sdp", "--auth", "none"}, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h265_pcma_basic_tcp, "h265_pcma_basic",
                  {"--codec", "h265", "--audio", "pcma", "--auth", "basic"}, 0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Personality, h265_pcma_basic_udp, "h265_pcma_basic",
                  {"--codec", "h265", "--audio", "pcma", "--auth", "basic"}, 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LoginUdpOnly)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoginHugeReplyMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReconnectToPicture)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
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
