// The device and player layers against the demo camera shaped like the
// cameras coaches own: H.264 and H.265, parameter sets in band or only in the
// SDP, audio before or after the video, B-frames, 50 frames/s, Digest, Basic
// or no authentication, and a camera that offers one transport only (refusing
// the other with 461, 400 or 501).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/device/device.h"
#include "platform/player/player.h"
#include "tests/device/democam_process.h"
#include "tests/device/device_test_support.h"
#include "tests/device/ts_check.h"

namespace testing_device {
namespace {

constexpr int kWidth = 320;  // small: the H.265 encoder is heavy on shared cores
constexpr int kHeight = 180;

struct Personality {
  const char* name;
  std::vector<std::string> options;
  bool h265;
  DWORD askedLinkMode;
  DWORD usedLinkMode;  // differs where the camera refuses the one asked for
};

class DevicePersonalityTest : public ::testing::TestWithParam<Personality> {
 protected:
  void SetUp() override {
    std::vector<std::string> options = {
        "--size", std::to_string(kWidth) + "x" + std::to_string(kHeight), "--bitrate", "400"};
    options.insert(options.end(), GetParam().options.begin(), GetParam().options.end());
    ASSERT_TRUE(m_camera.Start(0, options));
    ASSERT_TRUE(NET_DVR_Init());
    NET_DVR_SetConnectTime(2000, 1);
  }
  void TearDown() override {
    NET_DVR_Cleanup();
    EXPECT_TRUE(m_camera.Stop());
  }

  DemoCamProcess m_camera;
};

// The picture size once the player has decoded the recorded stream (0 x 0
// when it decoded nothing).
std::pair<LONG, LONG> DecodedSize(const std::string& header, const std::string& data) {
  LONG port = -1;
  std::pair<LONG, LONG> size{0, 0};
  if (!PlayM4_GetPort(&port)) {
    return size;
  }
  auto* head = reinterpret_cast<BYTE*>(const_cast<char*>(header.data()));
  if (PlayM4_SetStreamOpenMode(port, 0) &&
      PlayM4_OpenStream(port, head, static_cast<DWORD>(header.size()), 1 << 20) &&
      PlayM4_Play(port, nullptr)) {
    for (size_t at = 0; at < data.size();) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - at, 64 * 1024));
      auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(data.data() + at));
      if (PlayM4_InputData(port, bytes, piece)) {
        at += piece;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // full: decoder catching up
      }
    }
    WaitFor(
        [&] { return PlayM4_GetPictureSize(port, &size.first, &size.second) && size.first > 0; },
        10000);
  }
  PlayM4_Stop(port);
  PlayM4_CloseStream(port);
  PlayM4_FreePort(port);
  return size;
}

TEST_P(DevicePersonalityTest, LogsInPlaysAndDecodesWithParameterSetsAtEveryKeyFrame) {
  const Personality& p = GetParam();
  NET_DVR_DEVICEINFO_V30 info{};
  const LONG login =
      NET_DVR_Login_V30("127.0.0.1", static_cast<WORD>(m_camera.Port()), "admin", "60917", &info);
  ASSERT_GE(login, 0) << "error " << NET_DVR_GetLastError();
  StreamRecorder recorder;
  NET_DVR_PREVIEWINFO request{};
  request.lChannel = 1;
  request.dwLinkMode = p.askedLinkMode;
  const LONG play = NET_DVR_RealPlay_V40(login, &request, &StreamRecorder::Callback, &recorder);
  ASSERT_GE(play, 0) << "error " << NET_DVR_GetLastError();
  DWORD used = 9;
  EXPECT_TRUE(NET_DVR_GetRealPlayLinkMode(play, &used));
  EXPECT_EQ(used, p.usedLinkMode);

  TsSummary summary;
  EXPECT_TRUE(WaitFor([&] { return (summary = DemuxTs(recorder.Bytes())).keyFrames >= 2; }, 20000));
  EXPECT_TRUE(NET_DVR_StopRealPlay(play));
  EXPECT_EQ(summary.h264, !p.h265);
  EXPECT_EQ(summary.h265, p.h265);
  EXPECT_EQ(summary.keyFramesWithSpsPps, summary.keyFrames);

  const std::string bytes = recorder.Bytes();
  const std::string header = recorder.HeaderBytes();
  const auto size = DecodedSize(header, bytes.substr(header.size()));
  EXPECT_EQ(size.first, kWidth);
  EXPECT_EQ(size.second, kHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, DevicePersonalityTest,
    ::testing::Values(
        Personality{"H265Tcp", {"--codec", "h265"}, true, 0, 0},
        Personality{"H265UdpParamsInSdpBasicAuth",
                    {"--codec", "h265", "--params", "sdp", "--auth", "basic"},
                    true,
                    1,
                    1},
        Personality{"H264AacFirstNoAuthParamsInSdp",
                    {"--audio", "aac", "--auth", "none", "--params", "sdp"},
                    false,
                    1,
                    1},
        Personality{"H264PcmaBframesFifty",
                    {"--audio", "pcma", "--bframes", "2", "--fps", "50"},
                    false,
                    0,
                    0},
        Personality{"H265UdpOnlyAskedTcp", {"--codec", "h265", "--transports", "udp"}, true, 0, 1},
        Personality{"H264TcpOnlyAskedUdp", {"--transports", "tcp"}, false, 1, 0},
        Personality{"H264UdpOnlyRefuses400", {"--transports", "udp", "--refuse-status", "400"},
                    false, 0, 1},
        Personality{"H264TcpOnlyRefuses501", {"--transports", "tcp", "--refuse-status", "501"},
                    false, 1, 0}),
    [](const auto& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace testing_device
