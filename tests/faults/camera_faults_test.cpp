// The camera fails during a live session: it vanishes and comes back, it never
// comes back, or it freezes with its connection open. The session must say so
// in the log where the system says it, show pictures again when it can, and
// always stop cleanly within a bound.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "platform/sys/thread.h"
#include "session/DecThread.h"
#include "session/StreamIntake.h"
#include "tests/faults/live_fixture.h"

namespace faults {
namespace {

using testing_device::ElapsedMs;
using testing_device::WaitFor;

// Shorter than the program's 10 s so a test waits less; the path is the same.
constexpr DWORD kTestReconnectMs = 300;
// Silence after which a stream counts as broken (the device layer's read
// deadline follows the connect time).
constexpr DWORD kTestDeadlineMs = 1000;
constexpr int kReconnectBoundMs = 20000;
constexpr size_t kHeldPictures = 2;  // pictures still in the pipeline when a stream ends
constexpr char kReconnectPrefix[] = "----------reconnect--------";

// Seconds of each reconnect line, in order.
std::vector<long> ReconnectSeconds(const std::vector<std::string>& log) {
  std::vector<long> seconds;
  const std::string prefix = kReconnectPrefix;
  for (const std::string& message : log) {
    if (message.rfind(prefix, 0) == 0) {
      seconds.push_back(std::stol(message.substr(prefix.size())));
    }
  }
  return seconds;
}

class CameraFaults : public LiveFixture {
 protected:
  void SetUp() override {
    LiveFixture::SetUp();
    NET_DVR_SetReconnect(kTestReconnectMs, TRUE);
  }

  // The stop after a fault: bounded, every thread ended, the port given back,
  // and the three stop lines written.
  void ExpectCleanStop() {
    const auto began = std::chrono::steady_clock::now();
    StopSession(*m_dialog);
    const long stopMs = ElapsedMs(began);
    RecordProperty("stop_ms", static_cast<int>(stopMs));
    EXPECT_LT(stopMs, kStopBoundMs) << "the stop hung";
    EXPECT_EQ(sys::RunningThreadCount(), 0);
    EXPECT_EQ(g_hDecThread.load(), nullptr);
    EXPECT_EQ(g_lPlayPort.load(), -1);
    EXPECT_TRUE(m_dialog->startEnabled);
    const std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "stop DecThread\n");
    EXPECT_EQ(log[log.size() - 2], "stopplay suc\n");
    EXPECT_EQ(log[log.size() - 1], "logout suc\n");
  }
};

TEST_F(CameraFaults, CameraThatVanishesAndComesBackIsLoggedAndThePictureResumes) {
  ASSERT_TRUE(StartAndWaitForPictures(5));
  const int port = m_camera.Port();
  ASSERT_TRUE(m_camera.Stop());
  // A few failed attempts while it is away; nothing to report yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(4 * kTestReconnectMs));
  EXPECT_TRUE(ReconnectSeconds(Log()).empty());

  const long before = static_cast<long>(std::time(nullptr));
  ASSERT_TRUE(m_camera.Start(port, kSmallCamera));
  ASSERT_TRUE(WaitFor([&] { return !ReconnectSeconds(Log()).empty(); }, kReconnectBoundMs))
      << "no reconnect line";
  const long after = static_cast<long>(std::time(nullptr));
  const std::vector<long> seconds = ReconnectSeconds(Log());
  ASSERT_EQ(seconds.size(), 1u);
  EXPECT_GE(seconds[0], before);
  EXPECT_LE(seconds[0], after);
  // The same player port goes on: the new connection's key frames decode.
  EXPECT_TRUE(PicturesResume(10)) << "no pictures after the reconnection";
  ExpectCleanStop();
}

TEST_F(CameraFaults, CameraThatNeverComesBackStillStopsCleanlyAndQuickly) {
  ASSERT_TRUE(StartAndWaitForPictures(5));
  ASSERT_TRUE(m_camera.Stop());
  // Long enough for several refused attempts and for the ring to run dry.
  std::this_thread::sleep_for(std::chrono::milliseconds(kDelaySeconds * 1000 + 500));
  const size_t pictures = m_sink.Count();
  EXPECT_TRUE(ReconnectSeconds(Log()).empty());
  ExpectCleanStop();
  EXPECT_EQ(m_sink.Count(), pictures);
}

TEST_F(CameraFaults, FrozenCameraIsNoticedByTheReadDeadlineAndTheStopStaysClean) {
  NET_DVR_SetConnectTime(kTestDeadlineMs, 1);
  ASSERT_TRUE(StartAndWaitForPictures(5));
  m_camera.Freeze();  // the connection stays open, nothing arrives
  // The delay drains what was held, then the pictures stop (with room for a
  // decoder that lags on a loaded machine).
  std::this_thread::sleep_for(std::chrono::milliseconds(kDelaySeconds * 1000 + 1500));
  const size_t frozenAt = m_sink.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kTestDeadlineMs + 500));
  // A picture the remuxer still held may come when the dead connection is
  // given up; a live camera would have sent dozens meanwhile.
  EXPECT_LE(m_sink.Count(), frozenAt + kHeldPictures) << "pictures from a frozen camera";
  EXPECT_TRUE(ReconnectSeconds(Log()).empty());
  m_camera.Thaw();
  // Only a read deadline that ended the dead connection brings a reconnection.
  ASSERT_TRUE(WaitFor([&] { return !ReconnectSeconds(Log()).empty(); }, kReconnectBoundMs))
      << "the frozen stream was never given up";
  EXPECT_TRUE(PicturesResume(10));
  ExpectCleanStop();
}

TEST_F(CameraFaults, StopWhileTheCameraIsFrozenIsBoundedByTheDeadline) {
  NET_DVR_SetConnectTime(kTestDeadlineMs, 1);
  ASSERT_TRUE(StartAndWaitForPictures(5));
  m_camera.Freeze();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the receive thread now waits
  ExpectCleanStop();
  m_camera.Thaw();
}

TEST_F(CameraFaults, StopDuringAReconnectionToAFrozenCameraIsBounded) {
  NET_DVR_SetConnectTime(kTestDeadlineMs, 1);
  ASSERT_TRUE(StartAndWaitForPictures(5));
  m_camera.Freeze();
  // Past the deadline the stream is given up and reopened; the frozen camera's
  // kernel still accepts the connection, so the reopening waits for an answer.
  std::this_thread::sleep_for(std::chrono::milliseconds(kTestDeadlineMs + 2 * kTestReconnectMs));
  ExpectCleanStop();
  m_camera.Thaw();
}

}  // namespace
}  // namespace faults
