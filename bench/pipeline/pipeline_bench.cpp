// The whole pipeline on loopback: demo camera (720p25, its own process) ->
// device layer -> intake -> ring -> DecThread (delay 5 s) -> player -> sink.
//
//  e2e_lateness_p50/p99/max_ms  how late each picture reaches the sink beyond
//                               its frame's arrival plus the delay
//  pipeline_cpu_pct             CPU of this process (everything but the camera),
//                               % of one core, from the first picture on
//  pipeline_peak_rss_mb         peak resident memory (VmHWM)
//
// And a camera that sends B-frames: 1080p at 50 frames/s with two B-frames
// between reference pictures, over UDP, through the whole session:
//  bframes_sink_interval_p99_dev_ms  deviation of the interval between pictures
//                                    at the sink from the frame interval, p99
//  bframes_backward_steps            pictures whose time stamp is below the one
//                                    before at the sink
//
// Arrival: real play is requested with a callback of our own that reads the
// tick of each piece and then hands it to StreamDataProc, which stamps the
// record from the same clock at once after. Each frame's arrival is the tick
// of the piece with its last byte (frame_arrivals.h); pictures are matched to
// frames by order (lateness.h).
//
// Seconds measured after the first picture: TARNVIEW_PIPELINE_SECONDS
// (default 60, and 30 for B-frames), e.g. 5 for a quick check.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "bench/common/summary.h"
#include "bench/pipeline/frame_arrivals.h"
#include "bench/pipeline/lateness.h"
#include "config/LocalConfig.h"
#include "platform/device/device.h"
#include "platform/sys/clock.h"
#include "session/DecThread.h"
#include "session/SessionControl.h"
#include "session/StreamIntake.h"
#include "session/StreamRing.h"
#include "tests/device/democam_process.h"
#include "tests/integration/counting_sink.h"
#include "tests/integration/loopback_dialog.h"
#include "tests/integration/pts_sink.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDelaySeconds = 5;
constexpr int kDefaultSeconds = 60;
constexpr int kBFramesSeconds = 30;
constexpr int kFirstPictureBoundSeconds = 20;  // delay plus camera and player start-up

std::map<std::string, double> g_figures;
pipeline::FrameArrivals g_arrivals;

int s_displayAnchor = 0;  // its address is the display window's handle
HWND DisplayWindow() { return reinterpret_cast<HWND>(&s_displayAnchor); }

int MeasuredSeconds(int byDefault = kDefaultSeconds) {
  const char* text = std::getenv("TARNVIEW_PIPELINE_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : byDefault;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// VmHWM of /proc/self/status, in MiB.
double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::atof(line.c_str() + 6) / 1024.0;  // the line gives kB
    }
  }
  return 0;
}

// Stamps every piece on arrival, then hands it on as session control would.
void StampedDataProc(LONG realHandle, DWORD dataType, BYTE* buffer, DWORD size, void* /*user*/) {
  const DWORD tick = GetTickCount();
  g_arrivals.OnPiece(buffer, size, tick);
  StreamDataProc(realHandle, dataType, buffer, size, nullptr);
}

// The pictures that came before the stop began. The stop feeds the record the
// DecThread holds without waiting for it to come due, so a picture after that
// may be early by design and is no measure of lateness.
std::vector<DWORD> PicturesBefore(std::vector<DWORD> ticks, DWORD stopTick) {
  while (!ticks.empty() && static_cast<LONG>(ticks.back() - stopTick) >= 0) {
    ticks.pop_back();
  }
  return ticks;
}

bool WaitForFirstPicture(const integration::CountingSink& sink) {
  const auto deadline = Clock::now() + std::chrono::seconds(kFirstPictureBoundSeconds);
  while (sink.Count() == 0) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void BM_Pipeline720p25(benchmark::State& state) {
  testing_device::DemoCamProcess camera;
  if (!camera.Start(0, {"--size", "1280x720", "--fps", "25"})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  g_pStreamRing = StreamRing::Create();
  InitDeviceSdk();
  integration::CountingSink sink;
  player::RegisterVideoSink(DisplayWindow(), &sink);
  integration::LoopbackDialog dialog(camera.Port(), kDelaySeconds, DisplayWindow());

  for (auto _ : state) {
    // What OnStartTeaching does, with the stamping callback in place of the intake.
    NET_DVR_DEVICEINFO_V30 info{};
    g_lUserID = NET_DVR_Login_V30("127.0.0.1", static_cast<WORD>(camera.Port()), "admin", "60917",
                                  &info);
    g_nDelayMs = kDelaySeconds * 1000;
    g_hPlayWnd = DisplayWindow();
    NET_DVR_PREVIEWINFO request{};
    request.lChannel = 1;
    InterlockedExchange(&g_bTread, 1);
    g_lRealHandle = NET_DVR_RealPlay_V40(g_lUserID, &request, StampedDataProc, nullptr);
    if (g_lUserID < 0 || g_lRealHandle < 0 || !WaitForFirstPicture(sink)) {
      StopSession(dialog);
      state.SkipWithError("no picture from the camera");
      break;
    }
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(MeasuredSeconds()));
    const double cpuSeconds = ProcessCpuSeconds() - cpu0;
    const double wallSeconds = std::chrono::duration<double>(Clock::now() - wall0).count();
    const DWORD stopTick = GetTickCount();
    StopSession(dialog);

    const std::vector<pipeline::FrameArrival> frames = g_arrivals.Complete();
    const std::vector<DWORD> pictures = PicturesBefore(sink.Ticks(), stopTick);
    const pipeline::LatenessResult lateness =
        pipeline::MatchPicturesToFrames(frames, pictures, g_nDelayMs);
    if (!lateness.error.empty()) {
      state.SkipWithError(lateness.error.c_str());
      break;
    }
    g_figures["e2e_lateness_p50_ms"] = pipeline::Percentile(lateness.latenessMs, 0.50);
    g_figures["e2e_lateness_p99_ms"] = pipeline::Percentile(lateness.latenessMs, 0.99);
    g_figures["e2e_lateness_max_ms"] = pipeline::Percentile(lateness.latenessMs, 1.0);
    g_figures["pipeline_cpu_pct"] = cpuSeconds / wallSeconds * 100.0;
    g_figures["pipeline_peak_rss_mb"] = PeakRssMb();
    for (const auto& [name, value] : g_figures) {
      state.counters[name] = value;
    }
    state.counters["pictures"] = static_cast<double>(pictures.size());
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["pictures_per_s"] = static_cast<double>(pictures.size()) / wallSeconds;
  }
  player::UnregisterVideoSink(DisplayWindow());
  NET_DVR_Cleanup();
  delete g_pStreamRing;
  g_pStreamRing = nullptr;
}

BENCHMARK(BM_Pipeline720p25)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_PipelineBFrames1080p50(benchmark::State& state) {
  constexpr int kFps = 50;
  constexpr double kFrameMs = 1000.0 / kFps;
  testing_device::DemoCamProcess camera;
  // The clock as a strip only: its text costs the camera most of a core at
  // 1080p50, which a 2-core machine cannot spare beside the player.
  if (!camera.Start(0, {"--size", "1920x1080", "--fps", std::to_string(kFps), "--bframes", "2",
                        "--bitrate", "8000", "--clock", "strip"})) {
    state.SkipWithError("demo camera did not start");
    return;
  }
  g_pStreamRing = StreamRing::Create();
  g_settings.dwLinkMode = 1;  // UDP
  InitDeviceSdk();
  integration::PtsSink sink;
  player::RegisterVideoSink(DisplayWindow(), &sink);
  integration::LoopbackDialog dialog(camera.Port(), kDelaySeconds, DisplayWindow());
  for (auto _ : state) {
    OnStartTeaching(dialog);
    const auto deadline = Clock::now() + std::chrono::seconds(kFirstPictureBoundSeconds);
    while (sink.All().empty() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!dialog.messages.empty() || sink.All().empty()) {
      StopSession(dialog);
      state.SkipWithError("no picture from the camera");
      break;
    }
    sink.Clear();
    std::this_thread::sleep_for(std::chrono::seconds(MeasuredSeconds(kBFramesSeconds)));
    const std::vector<integration::PtsSink::Seen> seen = sink.All();
    StopSession(dialog);
    std::vector<double> deviationsMs;
    int backward = 0;
    for (size_t i = 1; i < seen.size(); ++i) {
      const double intervalMs =
          std::chrono::duration<double, std::milli>(seen[i].at - seen[i - 1].at).count();
      deviationsMs.push_back(std::abs(intervalMs - kFrameMs));
      backward += seen[i].pts < seen[i - 1].pts ? 1 : 0;
    }
    std::sort(deviationsMs.begin(), deviationsMs.end());
    g_figures["bframes_sink_interval_p99_dev_ms"] =
        deviationsMs.empty() ? -1 : deviationsMs[deviationsMs.size() * 99 / 100];
    g_figures["bframes_backward_steps"] = backward;
    g_figures["bframes_pictures_per_s"] =
        static_cast<double>(seen.size()) / MeasuredSeconds(kBFramesSeconds);
    state.counters["interval_p99_dev_ms"] = g_figures["bframes_sink_interval_p99_dev_ms"];
    if (!deviationsMs.empty()) {
      state.counters["interval_p50_dev_ms"] = deviationsMs[deviationsMs.size() / 2];
      state.counters["interval_p90_dev_ms"] = deviationsMs[deviationsMs.size() * 9 / 10];
      state.counters["interval_max_dev_ms"] = deviationsMs.back();
    }
    state.counters["backward_steps"] = backward;
    state.counters["pictures_per_s"] = g_figures["bframes_pictures_per_s"];
  }
  player::UnregisterVideoSink(DisplayWindow());
  NET_DVR_Cleanup();
  g_settings.dwLinkMode = 0;
  delete g_pStreamRing;
  g_pStreamRing = nullptr;
}

BENCHMARK(BM_PipelineBFrames1080p50)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench::WriteSummary("pipeline_bench", g_figures);
  return 0;
}
