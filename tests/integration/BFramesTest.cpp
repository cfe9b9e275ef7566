// A camera that sends B-frames, end to end on real time: the demo camera with
// two B-frames between reference pictures, at 25 and 50 frames/s, H.264 and
// H.265, over TCP and UDP, through the device layer, the session, the player,
// a clip and a picture step. Every picture keeps its own time: the stream
// carries display-order PTS and increasing DTS, the window gets the pictures
// in display order at the camera's pace, the clip's pictures are evenly
// spaced and a step moves one picture in display order.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "config/LocalConfig.h"
#include "platform/device/device.h"
#include "platform/stream/ts.h"
#include "platform/sys/clock.h"
#include "session/ClipSaver.h"
#include "session/StreamHistory.h"
#include "session/ReplayPlayer.h"
#include "session/SessionControl.h"
#include "session/StreamRing.h"
#include "tests/device/democam_process.h"
#include "tests/device/device_test_support.h"
#include "tests/integration/loopback_dialog.h"
#include "tests/integration/pts_sink.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace {

using testing_device::WaitFor;

constexpr int kDelaySeconds = 1;
constexpr int kClipSeconds = 5;  // the shortest clip: the whole buffer here
constexpr int kPlayMs = 4000;    // of pictures at the window
// Bounds that only catch hangs, never measure speed.
constexpr int kFirstPictureBoundMs = 15000;
constexpr int kStepBoundMs = 5000;

int s_liveAnchor = 0;  // their addresses are the windows' handles
int s_stepAnchor = 0;
HWND LiveWindow() { return reinterpret_cast<HWND>(&s_liveAnchor); }
HWND StepWindow() { return reinterpret_cast<HWND>(&s_stepAnchor); }

struct CameraShape {
  const char* codec;
  int fps;
  int linkMode;  // 0 TCP, 1 UDP
};

// Time stamps of the video pictures in TS bytes, in stream order.
struct Stamps {
  std::vector<int64_t> pts;
  std::vector<int64_t> dts;
};
Stamps StampsOf(const std::vector<HistoryRecordRef>& records) {
  Stamps stamps;
  for (const HistoryRecordRef& record : records) {
    for (size_t at = 0; at + stream::kTsPacketBytes <= record->data.size();
         at += stream::kTsPacketBytes) {
      const uint8_t* packet = record->data.data() + at;
      const auto payload = stream::PacketPayload(packet);
      if (!stream::PacketStartsUnit(packet) || !payload) {
        continue;
      }
      const auto pes = stream::ReadPesHeader(packet + payload->offset, payload->size);
      if (pes && stream::IsVideoStreamId(pes->streamId)) {
        stamps.pts.push_back(pes->pts);
        stamps.dts.push_back(pes->dts);
      }
    }
  }
  return stamps;
}

// The presentation times (90 kHz) of an MP4's pictures as a decoder hands them out.
std::vector<int64_t> DecodedClipTimes(const std::string& path) {
  std::vector<int64_t> times;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) {
    return times;
  }
  const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec =
      video >= 0 ? avcodec_find_decoder(input->streams[video]->codecpar->codec_id) : nullptr;
  AVCodecContext* decoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
  if (decoder != nullptr &&
      avcodec_parameters_to_context(decoder, input->streams[video]->codecpar) >= 0 &&
      avcodec_open2(decoder, codec, nullptr) >= 0) {
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVRational base = input->streams[video]->time_base;
    const auto drain = [&] {
      while (avcodec_receive_frame(decoder, frame) >= 0) {
        times.push_back(av_rescale_q(frame->best_effort_timestamp, base, {1, 90000}));
      }
    };
    while (av_read_frame(input, packet) >= 0) {
      if (packet->stream_index == video && avcodec_send_packet(decoder, packet) >= 0) {
        drain();
      }
      av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
  }
  avcodec_free_context(&decoder);
  avformat_close_input(&input);
  return times;
}

// How many steps between consecutive times are not exactly `step`.
int UnevenSteps(const std::vector<int64_t>& times, int64_t step) {
  int uneven = 0;
  for (size_t i = 1; i < times.size(); ++i) {
    uneven += times[i] - times[i - 1] != step ? 1 : 0;
  }
  return uneven;
}

class BFrames : public ::testing::TestWithParam<CameraShape> {
 protected:
  void SetUp() override {
    const CameraShape& shape = GetParam();
    ASSERT_TRUE(m_camera.Start(0, {"--size", "320x240", "--codec", shape.codec, "--fps",
                                   std::to_string(shape.fps), "--bframes", "2"}));
    g_settings = Settings{};
    g_settings.dwLinkMode = shape.linkMode;
    g_workLog.OpenFile(m_logDir.Path().c_str());
    g_pStreamRing = StreamRing::Create();
    ASSERT_NE(g_pStreamRing, nullptr);
    InitDeviceSdk();
    ASSERT_TRUE(player::RegisterVideoSink(LiveWindow(), &m_live));
    ASSERT_TRUE(player::RegisterVideoSink(StepWindow(), &m_step));
  }
  void TearDown() override {
    m_stepPlayer.Stop();
    EndRunningSession(m_dialog);
    player::UnregisterVideoSink(LiveWindow());
    player::UnregisterVideoSink(StepWindow());
    NET_DVR_Cleanup();
    delete g_pStreamRing;
    g_pStreamRing = nullptr;
    g_workLog.Close();
    g_settings = Settings{};
  }

  testing_device::DemoCamProcess m_camera;
  testutil::TempDir m_logDir;
  integration::PtsSink m_live;
  integration::PtsSink m_step;
  ReplayPlayer m_stepPlayer;
  integration::LoopbackDialog m_dialog{0, kDelaySeconds, LiveWindow()};
};

TEST_P(BFrames, EveryPictureKeepsItsTimeFromCameraToWindowClipAndStep) {
  const int64_t frame90k = 90000 / GetParam().fps;
  m_dialog = integration::LoopbackDialog{m_camera.Port(), kDelaySeconds, LiveWindow()};
  OnStartTeaching(m_dialog);
  ASSERT_TRUE(m_dialog.messages.empty()) << m_dialog.messages.front();
  ASSERT_TRUE(WaitFor([&] { return !m_live.All().empty(); }, kFirstPictureBoundMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(kPlayMs));

  // The stream as it arrived: decode times strictly increase and never pass the
  // presentation times, which run in display order at the camera's rate.
  const HistorySpan fed = g_history.SpanFromKeyBefore(GetTickCount() - 60000, GetTickCount());
  const Stamps stamps = StampsOf(fed.records);
  ASSERT_GT(stamps.pts.size(), 20u);
  int reordered = 0;
  for (size_t i = 0; i < stamps.pts.size(); ++i) {
    EXPECT_LE(stamps.dts[i], stamps.pts[i]) << "picture " << i;
    if (i > 0) {
      EXPECT_GT(stamps.dts[i], stamps.dts[i - 1]) << "picture " << i;
      reordered += stamps.pts[i] < stamps.pts[i - 1] ? 1 : 0;
    }
  }
  EXPECT_GT(reordered, 0) << "no B-frames came: the test proves nothing";
  std::vector<int64_t> displayOrder = stamps.pts;
  std::sort(displayOrder.begin(), displayOrder.end());
  // The newest pictures may still wait for a B-frame that had not come.
  EXPECT_LE(UnevenSteps(displayOrder, frame90k), 1);

  // The window: display order, one picture interval apart, at the camera's pace.
  const std::vector<integration::PtsSink::Seen> seen = m_live.All();
  ASSERT_GT(seen.size(), 20u);
  std::vector<int64_t> shownPts;
  std::vector<double> intervalsMs;
  for (size_t i = 0; i < seen.size(); ++i) {
    shownPts.push_back(seen[i].pts);
    if (i > 0) {
      EXPECT_GT(seen[i].pts, seen[i - 1].pts) << "a step back at picture " << i;
      intervalsMs.push_back(
          std::chrono::duration<double, std::milli>(seen[i].at - seen[i - 1].at).count());
    }
  }
  EXPECT_LE(UnevenSteps(shownPts, frame90k), 1);
  std::nth_element(intervalsMs.begin(), intervalsMs.begin() + intervalsMs.size() / 2,
                   intervalsMs.end());
  const double frameMs = 1000.0 / GetParam().fps;
  EXPECT_NEAR(intervalsMs[intervalsMs.size() / 2], frameMs, 0.25 * frameMs)
      << "median interval between pictures at the window, ms";

  // A clip of what was shown: its pictures decode evenly spaced, in order.
  const std::string clip = m_logDir.Path() + "/clip.mp4";
  ASSERT_TRUE(g_clipSaver.Save(g_history, kClipSeconds, GetTickCount(), clip));
  g_clipSaver.Stop();
  const std::vector<int64_t> clipTimes = DecodedClipTimes(clip);
  ASSERT_GT(clipTimes.size(), 20u);
  EXPECT_EQ(UnevenSteps(clipTimes, frame90k), 0);

  // A step from a picture in the middle: the next one in display order.
  int64_t middle = 0;
  ASSERT_TRUE(g_history.NearestPts(displayOrder[displayOrder.size() / 2], &middle));
  int64_t next = 0;
  ASSERT_TRUE(g_history.StepPts(middle, 1, GetTickCount(), &next));
  EXPECT_EQ(next, middle + frame90k);
  int64_t back = 0;
  ASSERT_TRUE(g_history.StepPts(next, -1, GetTickCount(), &back));
  EXPECT_EQ(back, middle);
  ASSERT_TRUE(m_stepPlayer.Start(g_history.SpanForPts(next), StepWindow(), 0, nullptr));
  EXPECT_TRUE(WaitFor([&] { return m_step.HasPts(next); }, kStepBoundMs))
      << "the step's picture never came out of the decoder";
  StopSession(m_dialog);
}

std::string ShapeName(const ::testing::TestParamInfo<CameraShape>& info) {
  return std::string(info.param.codec) + "_" + std::to_string(info.param.fps) + "fps_" +
         (info.param.linkMode == 0 ? "tcp" : "udp");
}

INSTANTIATE_TEST_SUITE_P(Cameras, BFrames,
                         ::testing::Values(CameraShape{"h264", 25, 0}, CameraShape{"h264", 50, 1},
                                           CameraShape{"h265", 25, 1}, CameraShape{"h265", 50, 0},
                                           CameraShape{"h264", 25, 1}, CameraShape{"h264", 50, 0},
                                           CameraShape{"h265", 25, 0}, CameraShape{"h265", 50, 1}),
                         ShapeName);

}  // namespace
