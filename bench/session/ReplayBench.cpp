// The stream history and clips at 1080p, 8 Mbit/s, 25 pictures/s:
//   clip_save_ms_1080p  a 20 s clip remuxed to MP4 on the ClipThread, from S
//                       to the renamed file (median of kClipRuns)
//   history_rss_mb_120s_8mbit  the process's peak resident memory grown while
//                       the history takes in 120 s of that stream (payload,
//                       each record's bookkeeping, the allocator's share)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/common/summary.h"
#include "platform/sys/clock.h"
#include "session/ClipSaver.h"
#include "session/StreamHistory.h"
#include "tests/player/ts_maker.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace {

constexpr int kFramesPerSecond = 25;
constexpr int kEncodedSeconds = 24;  // enough for a 20 s clip from a key frame
constexpr int kHistorySeconds = 120;  // the encoded stream fed again and again
constexpr int kClipRuns = 5;
constexpr int64_t kBitRate = 8'000'000;  // bits/s

playertest::TsStream* g_stream = nullptr;
double g_clipMs = 0;
double g_historyMb = 0;

// The stream as the intake keeps it, one record a picture, 40 ms apart on the
// virtual clock, `seconds` long (the encoded pictures repeated).
void Feed(StreamHistory& history, int seconds) {
  history.Restart(g_stream->header.data(), static_cast<DWORD>(g_stream->header.size()));
  for (int i = 0; i < seconds * kFramesPerSecond; ++i) {
    const auto& chunk = g_stream->chunks[static_cast<size_t>(i) % g_stream->chunks.size()];
    history.Append(chunk.data(), static_cast<DWORD>(chunk.size()), GetTickCount());
    sys::AdvanceVirtualClock(1000 / kFramesPerSecond);
  }
}

// VmHWM or VmRSS of /proc/self/status, in MiB.
double StatusMb(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) {
      return std::atof(line.c_str() + std::strlen(field)) / 1024.0;  // the line gives kB
    }
  }
  return 0;
}

void BM_ClipSave1080p(benchmark::State& state) {
  testutil::TempDir dir;
  StreamHistory buffer;
  sys::UseVirtualClock(1000);
  Feed(buffer, kEncodedSeconds);
  std::vector<double> runs;
  for (auto _ : state) {
    ClipSaver saver;
    const std::string path = dir.Path() + "/clip.mp4";
    const auto start = std::chrono::steady_clock::now();
    if (!saver.Save(buffer, 20, GetTickCount(), path)) {
      state.SkipWithError("no clip");
      break;
    }
    saver.Stop();  // returns once the clip is renamed
    runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    std::remove(path.c_str());
  }
  sys::UseRealClock();
  std::sort(runs.begin(), runs.end());
  if (!runs.empty()) {
    g_clipMs = runs[runs.size() / 2];
  }
  state.counters["clip_ms_median"] = g_clipMs;
}

void BM_StreamHistoryPeak(benchmark::State& state) {
  for (auto _ : state) {
    const double before = StatusMb("VmRSS:");
    StreamHistory history;
    sys::UseVirtualClock(1000);
    Feed(history, kHistorySeconds);
    sys::UseRealClock();
    g_historyMb = StatusMb("VmHWM:") - before;
    state.counters["payload_mb"] = static_cast<double>(history.PeakBytes()) / (1 << 20);
  }
  state.counters["history_rss_mb"] = g_historyMb;
}

}  // namespace

int main(int argc, char** argv) {
  playertest::EncodeSettings settings;
  settings.width = 1920;
  settings.height = 1080;
  settings.bitRate = kBitRate;
  settings.keyInterval = 2 * kFramesPerSecond;  // as the demo camera
  playertest::TsStream stream = playertest::MakeStream(
      settings, kEncodedSeconds * kFramesPerSecond,
      [](int index, AVFrame& frame) { playertest::PaintNoisyMotion(index, frame, 7); });
  if (stream.chunks.empty()) {
    std::fprintf(stderr, "bench_replay: the test stream could not be encoded\n");
    return 1;
  }
  g_stream = &stream;
  size_t bytes = 0;
  for (const auto& chunk : stream.chunks) {
    bytes += chunk.size();
  }
  std::printf("stream: %.2f Mbit/s\n", static_cast<double>(bytes) * 8 / kEncodedSeconds / 1e6);
  testutil::TempDir logDir;
  g_workLog.OpenFile(logDir.Path().c_str());
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("BM_ClipSave1080p", BM_ClipSave1080p)->Iterations(kClipRuns)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_StreamHistoryPeak", BM_StreamHistoryPeak)->Iterations(1)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  g_workLog.Close();
  bench::WriteSummary("bench_replay",
                      {{"clip_save_ms_1080p", g_clipMs}, {"history_rss_mb_120s_8mbit", g_historyMb}});
  return 0;
}
