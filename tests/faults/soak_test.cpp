// A hundred start/stop cycles and a hundred snapshots during playback on the
// real layers: nothing may grow, neither threads nor file descriptors nor
// player ports nor resident memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/sys/thread.h"
#include "session/CaptureFolder.h"
#include "session/DecThread.h"
#include "session/StreamIntake.h"
#include "tests/faults/live_fixture.h"
#include "tests/faults/resource_census.h"
#include "tests/faults/scoped_env.h"

namespace faults {
namespace {

using testing_device::WaitFor;

constexpr int kRounds = 100;
// Early rounds fill caches and pools (decoder tables, allocator arenas); growth
// is counted from here on.
constexpr int kWarmUpRounds = 10;
// A leak of one player buffer (1 MiB) or one touched scratch buffer per round
// would pass this by far; allocator noise stays well under it.
constexpr long kResidentGrowthBoundKib = 48 * 1024;
constexpr int kHeaderBoundMs = 10000;
constexpr int kThreadsGoneBoundMs = 2000;

int CountOf(const std::vector<std::string>& log, const std::string& message) {
  int count = 0;
  for (const std::string& m : log) {
    count += m == message ? 1 : 0;
  }
  return count;
}

class Soak : public LiveFixture {
 protected:
  void ExpectNoGrowth(const Census& before) {
    EXPECT_TRUE(WaitFor([&] { return integration::ProcessThreadCount() <= before.threads; },
                        kThreadsGoneBoundMs))
        << integration::ProcessThreadCount() << " threads, " << before.threads << " after warm-up";
    EXPECT_LE(integration::OpenFdCount(), before.fds);
    EXPECT_EQ(FreePlayerPorts(), kPlayerPorts);
    if (kResidentMemoryMeaningful) {
      const long grownKib = ResidentKib() - before.residentKib;
      RecordProperty("resident_growth_kib", static_cast<int>(grownKib));
      EXPECT_LT(grownKib, kResidentGrowthBoundKib);
    }
  }
};

TEST_F(Soak, HundredStartStopCyclesLeaveNothingBehind) {
  Census warm;
  int decThreadsStarted = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    if (round == kWarmUpRounds) {
      warm = TakeCensus();
    }
    OnStartTeaching(*m_dialog);
    ASSERT_TRUE(m_dialog->messages.empty()) << m_dialog->messages.front();
    // Every fourth round stops with the player open and fed; the others stop
    // at once, mostly before the header came, sometimes while it comes.
    if (round % 4 == 3) {
      ASSERT_TRUE(WaitFor([] { return g_hDecThread.load() != nullptr; }, kHeaderBoundMs));
    }
    decThreadsStarted += g_hDecThread.load() != nullptr ? 1 : 0;
    StopSession(*m_dialog);
    ASSERT_EQ(sys::RunningThreadCount(), 0);
    ASSERT_EQ(g_lPlayPort.load(), -1);
  }
  ExpectNoGrowth(warm);
  const std::vector<std::string> log = Log();
  EXPECT_EQ(CountOf(log, "play suc\n"), kRounds);
  EXPECT_EQ(CountOf(log, "logout suc\n"), kRounds);
  EXPECT_GE(CountOf(log, "start  DecThread\n"), decThreadsStarted);
  EXPECT_EQ(CountOf(log, "exit  DecThread\n"), CountOf(log, "start  DecThread\n"));
  // The session still works after all that.
  EXPECT_TRUE(StartAndWaitForPictures(5));
}

TEST_F(Soak, HundredSnapshotsDuringPlaybackLeaveNothingBehind) {
  testutil::TempDir home;
  ScopedEnv homeVariable("HOME", home.Path());
  ScopedEnv configVariable("XDG_CONFIG_HOME", home.Path() + "/.config");  // no user-dirs.dirs
  CreateCaptureDirectory();
  ASSERT_TRUE(StartAndWaitForPictures(5));

  Census warm;
  for (int round = 0; round < kRounds; ++round) {
    if (round == kWarmUpRounds) {
      warm = TakeCensus();
    }
    TakeSnapshot();
  }
  const size_t pictures = m_sink.Count();
  EXPECT_TRUE(PicturesResume(5)) << "playback stalled under the snapshots";
  EXPECT_GT(m_sink.Count(), pictures);
  StopSession(*m_dialog);
  ExpectNoGrowth(warm);

  // Snapshots of one second share a name and replace each other; each that
  // is there is a whole JPEG, and no partial file is left.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CaptureDirectory())) {
    ++files;
    EXPECT_EQ(entry.path().extension(), ".jpg") << entry.path();
    const std::string jpeg = testutil::ReadFile(entry.path().string());
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[jpeg.size() - 2]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[jpeg.size() - 1]), 0xD9);
  }
  EXPECT_GE(files, 1);
  EXPECT_EQ(CountOf(Log(), "get pic szie ,w:320,h:180\n"), 1);
}

}  // namespace
}  // namespace faults
