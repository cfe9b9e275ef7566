// A live session on the real layers for the fault tests: the demo camera on
// loopback, the device layer, session control, the ring, the DecThread and the
// real player drawing into a counting sink; the dialog is a stand-in. Each test
// gets its own camera, so that one that kills or freezes it harms no other.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/device/device.h"
#include "platform/player/player.h"
#include "session/SessionControl.h"
#include "session/Snapshot.h"
#include "session/StreamRing.h"
#include "tests/device/democam_process.h"
#include "tests/device/device_test_support.h"
#include "tests/integration/counting_sink.h"
#include "tests/integration/loopback_dialog.h"
#include "tests/worklog/LogReader.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace faults {

// A small picture keeps the camera cheap on a shared machine.
inline const std::vector<std::string> kSmallCamera = {"--size", "320x180"};
constexpr int kDelaySeconds = 1;  // the shortest delay: the faults, not the delay, are tested
// Bounds that only catch hangs, never measure speed.
constexpr int kPicturesBoundMs = 15000;
constexpr int kStopBoundMs = 5000;  // DecThread wait (3 s) is never reached; a hang is

inline int s_displayAnchor = 0;  // its address is the display window's handle
inline HWND DisplayWindow() { return reinterpret_cast<HWND>(&s_displayAnchor); }

class LiveFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_camera.Start(0, kSmallCamera)) << "the demo camera did not start";
    m_dialog = std::make_unique<integration::LoopbackDialog>(m_camera.Port(), kDelaySeconds,
                                                             DisplayWindow());
    g_workLog.OpenFile(m_logDir.Path().c_str());
    g_pStreamRing = StreamRing::Create();
    ASSERT_NE(g_pStreamRing, nullptr);
    InitDeviceSdk();
    player::RegisterVideoSink(DisplayWindow(), &m_sink);
  }
  void TearDown() override {
    EndRunningSession(*m_dialog);
    player::UnregisterVideoSink(DisplayWindow());
    NET_DVR_Cleanup();
    delete g_pStreamRing;
    g_pStreamRing = nullptr;
    FreeSnapshotBuffer();
    g_workLog.Close();
    m_camera.Stop();
  }

  // Starts a session and waits until `count` pictures more than now have come.
  bool StartAndWaitForPictures(size_t count) {
    OnStartTeaching(*m_dialog);
    return m_dialog->messages.empty() && PicturesResume(count);
  }
  bool PicturesResume(size_t count) {
    const size_t from = m_sink.Count();
    return testing_device::WaitFor([&] { return m_sink.Count() >= from + count; },
                                   kPicturesBoundMs);
  }
  std::vector<std::string> Log() const { return testutil::LogMessages(m_logDir.Path()); }

  testing_device::DemoCamProcess m_camera;
  integration::CountingSink m_sink;
  testutil::TempDir m_logDir;
  std::unique_ptr<integration::LoopbackDialog> m_dialog;
};

}  // namespace faults
