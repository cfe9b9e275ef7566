#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "session/CaptureFolder.h"
#include "session/Snapshot.h"
#include "tests/session_control/SessionFixture.h"

namespace {

namespace fs = std::filesystem;

// 2024-03-05 14:07:09 UTC; the tests run in UTC so local time is the same.
constexpr std::time_t kMoment = 1709647629;

class SnapshotTest : public SessionFixture {
 protected:
  void SetUp() override {
    SessionFixture::SetUp();
    m_oldHome = std::getenv("HOME");
    setenv("HOME", m_home.Path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("TZ", "UTC", 1);
    tzset();
    sys::UseFixedWallClock(kMoment);
    CreateCaptureDirectory();
    g_lPlayPort = 3;
    fakeplayer::SetPicture(1280, 720, {0xFF, 0xD8, 1, 2, 0xFF, 0xD9});
  }

  void TearDown() override {
    g_lPlayPort = -1;
    FreeSnapshotBuffer();
    sys::UseRealWallClock();
    setenv("HOME", m_oldHome.c_str(), 1);
    SessionFixture::TearDown();
  }

  std::string Expected() const {
    return m_home.Path() + "/Pictures/Capture/2024-03-05-14-07-09.jpg";
  }

  testutil::TempDir m_home;
  std::string m_oldHome;
};

TEST_F(SnapshotTest, WritesThePlayersJpegUnderTheLocalTimeInThePicturesFolder) {
  EXPECT_EQ(CaptureDirectory(), m_home.Path() + "/Pictures/Capture");
  TakeSnapshot();
  EXPECT_EQ(testutil::ReadFile(Expected()), std::string("\xFF\xD8\x01\x02\xFF\xD9"));
  EXPECT_EQ(g_nJpegBufSize, 1280 * 720 * 3 / 2);
  EXPECT_THAT(LogMessages(), ::testing::ElementsAre("get pic szie ,w:1280,h:720\n"));
  // Nothing but the JPEG is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_home.Path() + "/Pictures/Capture"),
                          fs::directory_iterator()),
            1);
}

TEST_F(SnapshotTest, FollowsTheDesktopsPicturesFolder) {
  fs::create_directories(m_home.Path() + "/.config");
  testutil::WriteFile(m_home.Path() + "/.config/user-dirs.dirs",
                      "# comment\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(CaptureDirectory(), m_home.Path() + "/Bilder/Capture");
  testutil::WriteFile(m_home.Path() + "/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/\"\n");
  EXPECT_EQ(CaptureDirectory(), m_home.Path() + "/Pictures/Capture");
}

TEST_F(SnapshotTest, SameSecondReplacesTheFirst) {
  TakeSnapshot();
  fakeplayer::SetPicture(1280, 720, {0xFF, 0xD8, 9, 0xFF, 0xD9});
  TakeSnapshot();
  EXPECT_EQ(testutil::ReadFile(Expected()), std::string("\xFF\xD8\x09\xFF\xD9"));
}

TEST_F(SnapshotTest, BufferIsMadeOncePerPictureSize) {
  TakeSnapshot();
  const BYTE* first = g_pJpegBuf;
  TakeSnapshot();
  EXPECT_EQ(g_pJpegBuf, first);
  fakeplayer::SetPicture(1280, 960, {0xFF, 0xD8, 0xFF, 0xD9});
  TakeSnapshot();
  EXPECT_EQ(g_nPicHeight, 960);
  EXPECT_EQ(g_nJpegBufSize, 1280 * 960 * 3 / 2);
  EXPECT_THAT(LogMessages(), ::testing::ElementsAre("get pic szie ,w:1280,h:720\n",
                                                    "get pic szie ,w:1280,h:960\n"));
  const auto jpegCalls = fakeplayer::Calls("PlayM4_GetJPEG");
  ASSERT_EQ(jpegCalls.size(), 3u);
  EXPECT_EQ(jpegCalls[2].args[0], 1280 * 960 * 3 / 2);
}

TEST_F(SnapshotTest, FailedSizeQueryKeepsTheBufferAndStillAsksForTheJpeg) {
  fakeplayer::SetResult("PlayM4_GetPictureSize", 0);
  TakeSnapshot();
  EXPECT_EQ(g_pJpegBuf, nullptr);
  const auto jpegCalls = fakeplayer::Calls("PlayM4_GetJPEG");
  ASSERT_EQ(jpegCalls.size(), 1u);
  EXPECT_EQ(jpegCalls[0].args[0], 0);
  EXPECT_FALSE(fs::exists(Expected()));
}

TEST_F(SnapshotTest, WritesNothingWithoutAPortAFailedJpegOrAFolder) {
  g_lPlayPort = -1;
  TakeSnapshot();
  EXPECT_TRUE(fakeplayer::Calls().empty());
  EXPECT_FALSE(fs::exists(Expected()));

  g_lPlayPort = 3;
  fakeplayer::SetResult("PlayM4_GetJPEG", 0);
  TakeSnapshot();
  EXPECT_FALSE(fs::exists(Expected()));

  fakeplayer::SetResult("PlayM4_GetJPEG", 1);
  fs::remove_all(m_home.Path() + "/Pictures");
  TakeSnapshot();
  EXPECT_FALSE(fs::exists(m_home.Path() + "/Pictures"));
}

TEST_F(SnapshotTest, TearDownFreesTheBufferAndForgetsItsSize) {
  TakeSnapshot();
  FreeSnapshotBuffer();
  EXPECT_EQ(g_pJpegBuf, nullptr);
  EXPECT_EQ(g_nJpegBufSize, 0);
  // The next snapshot makes a buffer again rather than offer a size without one.
  TakeSnapshot();
  EXPECT_NE(g_pJpegBuf, nullptr);
  EXPECT_EQ(testutil::ReadFile(Expected()).size(), 6u);
}

}  // namespace
