#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sys/clock.h"
#include "session/ClipSaver.h"
#include "session/StreamHistory.h"
#include "tests/player/ts_maker.h"
#include "tests/worklog/LogReader.h"
#include "tests/worklog/RunProgram.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 640;   // pixels
constexpr int kHeight = 360;  // pixels
constexpr int kFramesPerSecond = 25;
constexpr int kStreamSeconds = 40;

// ffprobe's "key=value" lines for `file`.
std::string Probe(const std::string& file) {
  return testutil::RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0",
                               "-show_entries",
                               "format=format_name,duration:stream=width,height:frame=pts", "-of",
                               "default=nw=1", file});
}

struct ProbedClip {
  std::string format;
  int width = 0, height = 0;
  double durationSeconds = 0;
  std::vector<long long> pts;  // of each picture, in the order decoded
};

ProbedClip ProbeClip(const std::string& file) {
  ProbedClip clip;
  std::istringstream lines(Probe(file));
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "format_name") clip.format = value;
    if (key == "width") clip.width = std::stoi(value);
    if (key == "height") clip.height = std::stoi(value);
    if (key == "duration") clip.durationSeconds = std::stod(value);
    if (key == "pts" && value != "N/A") clip.pts.push_back(std::stoll(value));
  }
  return clip;
}

// A stream history holding 40 s of a 25 pictures/s stream as it arrived, a key frame every 2 s, on the virtual clock.
class ClipTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    playertest::EncodeSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.keyInterval = 2 * kFramesPerSecond;
    s_stream = new playertest::TsStream(playertest::MakeStream(
        settings, kStreamSeconds * kFramesPerSecond, playertest::PaintPattern));
  }
  static void TearDownTestSuite() { delete s_stream; }

  void SetUp() override {
    ASSERT_FALSE(s_stream->chunks.empty());
    ASSERT_NE(g_workLog.OpenFile(m_dir.Path().c_str()), nullptr);
    sys::UseVirtualClock(1000);
    m_buffer.Restart(s_stream->header.data(), static_cast<DWORD>(s_stream->header.size()));
    for (const std::vector<uint8_t>& chunk : s_stream->chunks) {
      ASSERT_TRUE(m_buffer.Append(chunk.data(), static_cast<DWORD>(chunk.size()), GetTickCount()));
      sys::AdvanceVirtualClock(1000 / kFramesPerSecond);
    }
  }
  void TearDown() override {
    m_saver.Stop();
    sys::UseRealClock();
    g_workLog.Close();
  }

  std::vector<std::string> FilesInDir(const std::string& dir) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  static playertest::TsStream* s_stream;
  testutil::TempDir m_dir;
  StreamHistory m_buffer;
  ClipSaver m_saver;
};

playertest::TsStream* ClipTest::s_stream = nullptr;

TEST_F(ClipTest, ClipIsAnMp4OfTheCamerasSizeLastingTheSecondsAskedWithPicturesInOrder) {
  for (DWORD seconds : {20u, 5u}) {
    const std::string path = m_dir.Path() + "/clip-" + std::to_string(seconds) + ".mp4";
    ASSERT_TRUE(m_saver.Save(m_buffer, seconds, GetTickCount(), path));
    m_saver.Stop();
    const ProbedClip clip = ProbeClip(path);
    EXPECT_NE(clip.format.find("mp4"), std::string::npos) << seconds;
    EXPECT_EQ(clip.width, kWidth);
    EXPECT_EQ(clip.height, kHeight);
    EXPECT_NEAR(clip.durationSeconds, seconds, 1.0);
    ASSERT_GE(clip.pts.size(), (seconds - 1) * kFramesPerSecond);
    for (size_t i = 1; i < clip.pts.size(); ++i) {
      ASSERT_LT(clip.pts[i - 1], clip.pts[i]) << "picture " << i;
    }
    EXPECT_FALSE(fs::exists(path + ".part"));
  }
  EXPECT_EQ(testutil::LogMessages(m_dir.Path()),
            (std::vector<std::string>{"save clip clip-20.mp4\n", "save clip clip-5.mp4\n"}));
}

TEST_F(ClipTest, SecondClipOfTheSameNameReplacesTheFirstWhole) {
  const std::string path = m_dir.Path() + "/same.mp4";
  ASSERT_TRUE(m_saver.Save(m_buffer, 20, GetTickCount(), path));
  ASSERT_TRUE(m_saver.Save(m_buffer, 5, GetTickCount(), path));
  m_saver.Stop();
  EXPECT_EQ(m_saver.SavedCount(), 2);
  EXPECT_NEAR(ProbeClip(path).durationSeconds, 5, 1.0);
  std::vector<std::string> files = FilesInDir(m_dir.Path());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"log", "same.mp4"}));
}

TEST_F(ClipTest, FailureLeavesNoFileAndNoLogEntry) {
  const std::string missing = m_dir.Path() + "/no-such-folder/clip.mp4";
  ASSERT_TRUE(m_saver.Save(m_buffer, 20, GetTickCount(), missing));
  m_saver.Stop();
  EXPECT_EQ(m_saver.SavedCount(), 0);
  EXPECT_FALSE(fs::exists(m_dir.Path() + "/no-such-folder"));
  EXPECT_TRUE(testutil::LogMessages(m_dir.Path()).empty());
}

TEST_F(ClipTest, NothingHeldSavesNothing) {
  StreamHistory empty;
  EXPECT_FALSE(m_saver.Save(empty, 20, GetTickCount(), m_dir.Path() + "/none.mp4"));
}

}  // namespace
