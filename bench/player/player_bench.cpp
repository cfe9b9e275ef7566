// Playback library figures on realistic streams (moving pattern with noise,
// 10 s each): demux + decode CPU beside `ffmpeg -threads 1` (H.264 720p
// and 1080p, H.265 1080p; medians of three runs each); fed as the program feeds, the latency from the
// InputData call that completes a picture to the decoder's output and to the
// sink, and the evenness of the pictures at the sink beside that of the
// feed; GetJPEG at 1080p; the memory one open port holds; 4K pictures per
// second, H.264 and H.265.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/summary.h"
#include "platform/player/decoded_picture.h"
#include "platform/player/player.h"
#include "platform/player/stage_stats.h"
#include "platform/player/video_sink.h"
#include "tests/player/ts_maker.h"

namespace {

using Clock = std::chrono::steady_clock;
using playertest::TsStream;

constexpr int kFramesPerSecond = 25;
constexpr int kStreamSeconds = 10;  // long enough that ffmpeg's start-up is small beside it
constexpr int kPictures = kFramesPerSecond * kStreamSeconds;
constexpr int kJpegRepeats = 30;
constexpr DWORD kProgramBufferBytes = 1 << 20;  // what the program opens a port with

struct StreamFile {
  TsStream stream;
  std::string path;
};

StreamFile MakeStreamFile(playertest::Codec codec, int width, int height, int64_t bitRate,
                          int pictures = kPictures) {
  playertest::EncodeSettings settings;
  settings.codec = codec;
  settings.width = width;
  settings.height = height;
  settings.bitRate = bitRate;
  settings.keyInterval = 2 * kFramesPerSecond;
  // CABAC and deblocking (H.264), SAO and deblocking (H.265), as cameras send;
  // x265's veryfast would take minutes to make the stream on two cores.
  settings.preset = codec == playertest::Codec::kH265 ? "superfast" : "veryfast";
  settings.threads = 2;
  StreamFile file;
  file.stream = playertest::MakeStream(settings, pictures, [](int index, AVFrame& frame) {
    playertest::PaintNoisyMotion(index, frame, 99);
  });
  file.path = "/tmp/tarnview-bench-player-" + std::to_string(height) + "p-" +
              playertest::CodecName(codec) + ".ts";
  std::ofstream out(file.path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.stream.header.data()),
            static_cast<std::streamsize>(file.stream.header.size()));
  for (const auto& chunk : file.stream.chunks) {
    out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
  }
  return file;
}

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

size_t HeapBytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Counts pictures and notes when each arrived. It takes the decoded picture
// as the display window does, so the player's figures hold what the player
// does for the window: demux, decode, present (the window converts once, at
// the size it paints, on its own thread).
class TimingSink : public player::VideoSink {
 public:
  bool TakesDecodedPictures() const override { return true; }
  void OnDecodedPicture(const player::PictureRef&) override {
    const auto now = Clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      arrivals_.push_back(now);
      count_.store(static_cast<int>(arrivals_.size()));
    }
    arrived_.notify_all();
  }
  int Count() const { return count_.load(); }
  // Until `count` pictures came, at most 60 s. It sleeps rather than polls:
  // the waiting would otherwise count as the player's CPU.
  bool WaitFor(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(60),
                             [&] { return static_cast<int>(arrivals_.size()) >= count; });
  }
  std::vector<Clock::time_point> Arrivals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Clock::time_point> arrivals_;  // guarded by mutex_
  std::atomic<int> count_{0};
};

LONG Open(const TsStream& stream, DWORD bufferBytes) {
  LONG port = -1;
  if (!PlayM4_GetPort(&port) || !PlayM4_SetStreamOpenMode(port, 0) ||
      !PlayM4_OpenStream(port, stream.header.data(), static_cast<DWORD>(stream.header.size()),
                         bufferBytes)) {
    std::fprintf(stderr, "cannot open a port\n");
    std::exit(1);
  }
  return port;
}

void Close(LONG port) {
  PlayM4_Stop(port);
  PlayM4_CloseStream(port);
  PlayM4_FreePort(port);
}

// CPU seconds the player spends on the whole stream, fed at once so that
// decoding runs flat out.
double PlayerCpuSeconds(const StreamFile& file) {
  TimingSink sink;
  const HWND window = reinterpret_cast<HWND>(0xB00);
  player::RegisterVideoSink(window, &sink);
  const LONG port = Open(file.stream, 64u << 20);
  for (const auto& chunk : file.stream.chunks) {
    PlayM4_InputData(port, chunk.data(), static_cast<DWORD>(chunk.size()));
  }
  const double before = CpuSeconds(RUSAGE_SELF);
  PlayM4_Play(port, window);
  const bool all = sink.WaitFor(kPictures);
  const double used = CpuSeconds(RUSAGE_SELF) - before;
  Close(port);
  player::UnregisterVideoSink(window);
  if (!all) {
    std::fprintf(stderr, "only %d of %d pictures\n", sink.Count(), kPictures);
  }
  return used;
}

double FfmpegCpuSeconds(const std::string& path, bool onePictureOnly) {
  const std::string command = "ffmpeg -v error -nostdin -threads 1 -i " + path +
                              (onePictureOnly ? " -frames:v 1" : "") + " -f null -";
  const double before = CpuSeconds(RUSAGE_CHILDREN);
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "ffmpeg failed: %s\n", command.c_str());
  }
  return CpuSeconds(RUSAGE_CHILDREN) - before;
}

struct CpuFigures {
  double ratio = 0;           // player CPU / ffmpeg CPU for the same stream
  double playerMsPerPicture = 0;
  double playerCorePercent = 0;  // CPU per second of stream, in % of one core
  double ffmpegCorePercent = 0;  // ffmpeg's CPU per second of stream, in % of one core
};

double Percentile(std::vector<double> values, double fraction);

// Either side's CPU moves by about a tenth between single runs on a busy
// machine: each is the median of this many.
constexpr int kCpuRuns = 3;

CpuFigures CompareCpu(const StreamFile& file) {
  std::vector<double> players;
  std::vector<double> ffmpegs;
  std::vector<double> startUps;
  for (int run = 0; run < kCpuRuns; ++run) {
    players.push_back(PlayerCpuSeconds(file));
    // ffmpeg's own start-up (probing, opening) is taken off: the comparison
    // is per second of stream.
    startUps.push_back(FfmpegCpuSeconds(file.path, true));
    ffmpegs.push_back(FfmpegCpuSeconds(file.path, false) - startUps.back());
  }
  const double player = Percentile(players, 0.5);
  const double ffmpeg = Percentile(ffmpegs, 0.5);
  const double ffmpegStartUp = Percentile(startUps, 0.5);
  CpuFigures figures;
  figures.ratio = player / ffmpeg;
  figures.playerMsPerPicture = player * 1000.0 / kPictures;
  figures.playerCorePercent = player * 100.0 / kStreamSeconds;
  figures.ffmpegCorePercent = ffmpeg * 100.0 / kStreamSeconds;
  std::printf("%s: player %.3f s CPU, ffmpeg %.3f s CPU (start-up %.3f s taken off), ratio %.2f\n",
              file.path.c_str(), player, ffmpeg, ffmpegStartUp, figures.ratio);
  return figures;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
  return values[index];
}

// A PES longer than its 16-bit length field can say is sent with length 0;
// such pictures (large key frames) are timed apart, as they used to wait for
// the next picture.
constexpr size_t kPesLengthLimitBytes = 65535;
// The feed as the program makes it: the camera's 40 ms, +-15 ms of network
// jitter, then the DecThread's 10 ms sleep steps; each picture in the
// device's pieces of at most 64 TS packets.
constexpr int kJitterMs = 15;
constexpr int kFeedStepMs = 10;
constexpr size_t kDevicePieceBytes = 188 * 64;

struct LatencyFigures {
  double p50Ms = 0, p99Ms = 0;  // InputData completing a picture to the picture decoded
  double sinkP50Ms = 0, sinkP99Ms = 0, sinkMaxMs = 0;  // ... to the sink (presentation included)
  double sinkP99BoundedPesMs = 0;  // p99 to the sink of the pictures whose PES carries its length
  double sinkLongPesMs = 0;        // median to the sink of the pictures whose PES does not
  double sinkIntervalP99DevMs = 0;  // |interval between pictures at the sink - 40 ms|, p99
  double fedIntervalP99DevMs = 0;   // the same of the feed: what an unpaced player shows
  double portMemoryMb = 0;
  double jpegMs = 0, jpegKb = 0;
};

double IntervalP99DevMs(const std::vector<Clock::time_point>& times, double expectedMs) {
  std::vector<double> deviations;
  for (size_t i = 1; i < times.size(); ++i) {
    const double ms = std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count();
    deviations.push_back(std::abs(ms - expectedMs));
  }
  return deviations.empty() ? 0 : Percentile(deviations, 0.99);
}

// Feeds the stream as the program does (in the program's 1 MiB buffer) and
// times each picture from the InputData call carrying its last bytes to the
// decoder's output (stage statistics) and to the sink. Then, with the port
// still open, its heap and GetJPEG.
LatencyFigures MeasureLatency(const StreamFile& file) {
  LatencyFigures figures;
  TimingSink sink;
  const HWND window = reinterpret_cast<HWND>(0xB01);
  player::RegisterVideoSink(window, &sink);
  const size_t heapBefore = HeapBytesInUse();
  const LONG port = Open(file.stream, kProgramBufferBytes);
  PlayM4_Play(port, window);
  std::minstd_rand random(5);
  std::uniform_int_distribution<int> jitter(-kJitterMs, kJitterMs);
  const auto start = Clock::now() + std::chrono::milliseconds(100);
  auto due = start;
  std::vector<Clock::time_point> fed;
  for (size_t i = 0; i < file.stream.chunks.size(); ++i) {
    const int sentMs = static_cast<int>(i) * (1000 / kFramesPerSecond) + kJitterMs + jitter(random);
    const int fedMs = (sentMs + kFeedStepMs - 1) / kFeedStepMs * kFeedStepMs;
    due = std::max(due, start + std::chrono::milliseconds(fedMs));  // records go in order
    std::this_thread::sleep_until(due);
    const auto& chunk = file.stream.chunks[i];
    for (size_t at = 0; at < chunk.size(); at += kDevicePieceBytes) {
      PlayM4_InputData(port, chunk.data() + at,
                       static_cast<DWORD>(std::min(kDevicePieceBytes, chunk.size() - at)));
    }
    fed.push_back(Clock::now());
  }
  sink.WaitFor(kPictures);
  player::StageStats stats;
  player::ReadStageStats(port, &stats);
  figures.p50Ms = stats.latencyP50Ms;
  figures.p99Ms = stats.latencyP99Ms;
  const std::vector<Clock::time_point> arrivals = sink.Arrivals();
  std::vector<double> latencies, boundedPes, longPes;
  for (size_t i = 0; i < std::min(arrivals.size(), fed.size()); ++i) {
    const double ms = std::chrono::duration<double, std::milli>(arrivals[i] - fed[i]).count();
    latencies.push_back(ms);
    (file.stream.chunks[i].size() > kPesLengthLimitBytes ? longPes : boundedPes).push_back(ms);
  }
  if (arrivals.size() != fed.size()) {
    std::fprintf(stderr, "%zu pictures for %zu fed\n", arrivals.size(), fed.size());
  }
  figures.sinkP50Ms = Percentile(latencies, 0.50);
  figures.sinkP99Ms = Percentile(latencies, 0.99);
  figures.sinkMaxMs = Percentile(latencies, 1.0);
  figures.sinkP99BoundedPesMs = boundedPes.empty() ? 0 : Percentile(boundedPes, 0.99);
  figures.sinkLongPesMs = longPes.empty() ? 0 : Percentile(longPes, 0.5);
  figures.sinkIntervalP99DevMs = IntervalP99DevMs(arrivals, 1000.0 / kFramesPerSecond);
  figures.fedIntervalP99DevMs = IntervalP99DevMs(fed, 1000.0 / kFramesPerSecond);
  std::printf("%zu of %zu pictures in PES without a length\n", longPes.size(), latencies.size());
  figures.portMemoryMb = static_cast<double>(HeapBytesInUse() - heapBefore) / (1 << 20);

  LONG width = 0, height = 0;
  PlayM4_GetPictureSize(port, &width, &height);
  std::vector<BYTE> jpeg(static_cast<size_t>(width) * height * 3 / 2);  // as the program sizes it
  std::vector<double> times;
  DWORD jpegBytes = 0;
  for (int i = 0; i < kJpegRepeats; ++i) {
    const auto started = Clock::now();
    if (!PlayM4_GetJPEG(port, jpeg.data(), static_cast<DWORD>(jpeg.size()), &jpegBytes)) {
      std::fprintf(stderr, "GetJPEG failed\n");
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  figures.jpegMs = Percentile(times, 0.5);
  figures.jpegKb = jpegBytes / 1024.0;
  Close(port);
  player::UnregisterVideoSink(window);
  return figures;
}

// 4K: pictures per second the player decodes and hands to a sink when the
// whole stream is there at once (at least 25 means it keeps up with a camera),
// and the heap the port then holds (decoder, frame threads, pictures waiting).
constexpr int k4kPictures = 75;  // 3 s: x265 makes 4K slowly

struct FourKFigures {
  double fps = 0;
  double heapMb = 0;  // heap the port holds after playing, its input buffer left out
};

FourKFigures FlatOut4k(const StreamFile& file) {
  TimingSink sink;
  const HWND window = reinterpret_cast<HWND>(0xB02);
  player::RegisterVideoSink(window, &sink);
  size_t streamBytes = 0;
  for (const auto& chunk : file.stream.chunks) {
    streamBytes += chunk.size();
  }
  const auto bufferBytes = static_cast<DWORD>(streamBytes + file.stream.header.size());
  const size_t heapBefore = HeapBytesInUse();
  const LONG port = Open(file.stream, bufferBytes);  // the whole stream fits
  for (const auto& chunk : file.stream.chunks) {
    PlayM4_InputData(port, chunk.data(), static_cast<DWORD>(chunk.size()));
  }
  const auto started = Clock::now();
  PlayM4_Play(port, window);
  // Frame threads keep the last pictures until more come: count to the few before.
  constexpr int kHeldBack = 4;
  const int wanted = static_cast<int>(file.stream.chunks.size()) - kHeldBack;
  sink.WaitFor(wanted);
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  player::StageStats stats;
  player::ReadStageStats(port, &stats);
  FourKFigures figures;
  figures.fps = sink.Count() / seconds;
  figures.heapMb = static_cast<double>(HeapBytesInUse() - heapBefore - bufferBytes) / (1 << 20);
  std::printf("%s: %d pictures at the sink in %.2f s, %llu dropped, %d decoder threads, "
              "decode p50 %.1f ms, port heap %.1f MiB\n",
              file.path.c_str(), sink.Count(), seconds,
              static_cast<unsigned long long>(stats.picturesDropped), stats.decoderThreads,
              stats.decodeP50Ms, figures.heapMb);
  Close(port);
  player::UnregisterVideoSink(window);
  return figures;
}

// Google Benchmark view of one GetJPEG on a 1080p picture.
void BM_GetJpeg1080p(benchmark::State& state, const StreamFile* file) {
  const LONG port = Open(file->stream, 64u << 20);
  PlayM4_Play(port, nullptr);
  for (size_t i = 0; i < 10; ++i) {
    PlayM4_InputData(port, file->stream.chunks[i].data(),
                     static_cast<DWORD>(file->stream.chunks[i].size()));
  }
  LONG width = 0, height = 0;
  while (!PlayM4_GetPictureSize(port, &width, &height)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::vector<BYTE> jpeg(static_cast<size_t>(width) * height * 3 / 2);
  DWORD jpegBytes = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        PlayM4_GetJPEG(port, jpeg.data(), static_cast<DWORD>(jpeg.size()), &jpegBytes));
  }
  state.counters["jpeg_bytes"] = jpegBytes;
  Close(port);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("making the 720p (4 Mbit/s) and 1080p (8 Mbit/s) streams...\n");
  using playertest::Codec;
  const StreamFile hd = MakeStreamFile(Codec::kH264, 1280, 720, 4'000'000);
  const StreamFile fullHd = MakeStreamFile(Codec::kH264, 1920, 1080, 8'000'000);
  const StreamFile fullHdHevc = MakeStreamFile(Codec::kH265, 1920, 1080, 8'000'000);

  const CpuFigures cpu720 = CompareCpu(hd);
  const CpuFigures cpu1080 = CompareCpu(fullHd);
  const CpuFigures cpu1080Hevc = CompareCpu(fullHdHevc);
  const LatencyFigures latency = MeasureLatency(fullHd);
  std::printf("1080p latency to decoded p50 %.2f ms, p99 %.2f ms; to the sink p50 %.2f ms, "
              "p99 %.2f ms, max %.2f ms (p99 with PES length %.2f ms, median without %.2f ms); "
              "sink interval deviation p99 %.2f ms (fed %.2f ms); port heap %.1f MiB; "
              "GetJPEG %.2f ms, %.0f KiB\n",
              latency.p50Ms, latency.p99Ms, latency.sinkP50Ms, latency.sinkP99Ms,
              latency.sinkMaxMs, latency.sinkP99BoundedPesMs, latency.sinkLongPesMs,
              latency.sinkIntervalP99DevMs, latency.fedIntervalP99DevMs, latency.portMemoryMb,
              latency.jpegMs, latency.jpegKb);
  std::remove(hd.path.c_str());
  std::printf("making the 4K (16 Mbit/s) streams...\n");
  const StreamFile uhd = MakeStreamFile(Codec::kH264, 3840, 2160, 16'000'000, k4kPictures);
  const FourKFigures uhdH264 = FlatOut4k(uhd);
  std::remove(uhd.path.c_str());
  const StreamFile uhdHevc = MakeStreamFile(Codec::kH265, 3840, 2160, 16'000'000, k4kPictures);
  const FourKFigures uhdH265 = FlatOut4k(uhdHevc);
  std::remove(uhdHevc.path.c_str());

  benchmark::RegisterBenchmark("BM_GetJpeg1080p", BM_GetJpeg1080p, &fullHd)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  bench::WriteSummary("bench_player", {
      {"player_cpu_vs_ffmpeg_720p", cpu720.ratio},
      {"player_cpu_vs_ffmpeg_1080p", cpu1080.ratio},
      {"player_cpu_vs_ffmpeg_1080p_h265", cpu1080Hevc.ratio},
      {"player_ms_per_picture_1080p_h265", cpu1080Hevc.playerMsPerPicture},
      {"player_core_percent_1080p_h265", cpu1080Hevc.playerCorePercent},
      {"ffmpeg_core_percent_1080p_h265", cpu1080Hevc.ffmpegCorePercent},
      {"player_ms_per_picture_720p", cpu720.playerMsPerPicture},
      {"player_ms_per_picture_1080p", cpu1080.playerMsPerPicture},
      {"player_core_percent_720p", cpu720.playerCorePercent},
      {"player_core_percent_1080p", cpu1080.playerCorePercent},
      {"ffmpeg_core_percent_720p", cpu720.ffmpegCorePercent},
      {"ffmpeg_core_percent_1080p", cpu1080.ffmpegCorePercent},
      {"player_latency_p50_ms", latency.p50Ms},
      {"player_latency_p99_ms", latency.p99Ms},
      {"player_sink_latency_p50_ms", latency.sinkP50Ms},
      {"player_sink_latency_p99_ms", latency.sinkP99Ms},
      {"player_latency_max_ms", latency.sinkMaxMs},
      {"player_latency_p99_pes_with_length_ms", latency.sinkP99BoundedPesMs},
      {"player_latency_pes_without_length_ms", latency.sinkLongPesMs},
      {"sink_interval_p99_dev_ms", latency.sinkIntervalP99DevMs},
      {"fed_interval_p99_dev_ms", latency.fedIntervalP99DevMs},
      {"player_4k_h264_fps", uhdH264.fps},
      {"player_4k_h265_fps", uhdH265.fps},
      {"port_memory_4k_h264_mb", uhdH264.heapMb},
      {"port_memory_4k_h265_mb", uhdH265.heapMb},
      {"jpeg_1080p_ms", latency.jpegMs},
      {"jpeg_1080p_kb", latency.jpegKb},
      {"port_memory_mb", latency.portMemoryMb},
  });
  std::remove(fullHd.path.c_str());
  std::remove(fullHdHevc.path.c_str());
  return 0;
}
