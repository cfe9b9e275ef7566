// Places the program writes to that refuse it: a log folder that cannot be
// made or a log file whose writes fail, and a capture folder that is missing
// or read-only. Log entries are dropped silently, snapshots leave no file, and
// the session goes on as if nothing happened. The tests may run as root, where
// permission bits stop no write, so each place refuses by its nature: a path
// through a regular file, the full device, or a folder of the proc filesystem.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "session/CaptureFolder.h"
#include "session/Snapshot.h"
#include "session/StreamIntake.h"
#include "tests/device/device_test_support.h"
#include "tests/faults/fake_session_fixture.h"
#include "tests/faults/scoped_env.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

constexpr int kFedBoundMs = 10000;
const std::vector<BYTE> kJpeg = {0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9};

class UnwritablePlaces : public FakeSessionFixture {
 protected:
  void TearDown() override {
    FakeSessionFixture::TearDown();
    FreeSnapshotBuffer();
  }

  // A whole session on the real clock: start, header, a piece, fed after the
  // 1 s delay, a snapshot while it plays, stop.
  void RunSession() {
    OnStartTeaching(m_dialog);
    ASSERT_TRUE(m_dialog.messages.empty());
    fakedevice::Deliver(kStreamHeader, {0x47, 0x40, 0, 0x10});
    fakedevice::Deliver(kStreamData, {0x47, 0x01, 0, 0x11});
    ASSERT_TRUE(testing_device::WaitFor(
        [] { return fakeplayer::CallCount("PlayM4_InputData") == 2; }, kFedBoundMs))
        << "the session did not go on";
    TakeSnapshot();
    StopSession(m_dialog);
    EXPECT_TRUE(m_dialog.startEnabled);
    EXPECT_FALSE(m_dialog.cancelEnabled);
    EXPECT_EQ(g_lPlayPort.load(), -1);
    EXPECT_EQ(g_hDecThread.load(), nullptr);
  }

  // Points the capture folder into a fresh home with `picturesDir` as the
  // desktop's pictures folder.
  void UseHome(const std::string& picturesDir) {
    m_homeVariable.emplace("HOME", m_scratch.Path());
    m_configVariable.emplace("XDG_CONFIG_HOME", m_scratch.Path() + "/.config");
    fs::create_directories(m_scratch.Path() + "/.config");
    testutil::WriteFile(m_scratch.Path() + "/.config/user-dirs.dirs",
                        "XDG_PICTURES_DIR=\"" + picturesDir + "\"\n");
  }

  testutil::TempDir m_scratch;
  std::optional<ScopedEnv> m_homeVariable;
  std::optional<ScopedEnv> m_configVariable;
};

TEST_F(UnwritablePlaces, LogFolderThatCannotBeMadeDropsEntriesAndTheSessionGoesOn) {
  g_workLog.Close();
  testutil::WriteFile(m_scratch.Path() + "/log", "a file where the folder should be");
  EXPECT_EQ(g_workLog.OpenFile(m_scratch.Path().c_str()), nullptr);
  RunSession();
  EXPECT_EQ(testutil::ReadFile(m_scratch.Path() + "/log"), "a file where the folder should be");
  EXPECT_FALSE(fs::exists(m_scratch.Path() + "/log/Tarnview.txt"));
  // The device and player saw the whole session all the same.
  EXPECT_EQ(fakeplayer::CallCount("PlayM4_FreePort"), 1u);
}

TEST_F(UnwritablePlaces, LogOnAFullDiskLosesEntriesButNothingElse) {
  g_workLog.Close();
  fs::create_directory(m_scratch.Path() + "/log");
  fs::create_symlink("/dev/full", m_scratch.Path() + "/log/Tarnview.txt");
  ASSERT_NE(g_workLog.OpenFile(m_scratch.Path().c_str()), nullptr);
  RunSession();
  EXPECT_EQ(fakeplayer::CallCount("PlayM4_FreePort"), 1u);
}

TEST_F(UnwritablePlaces, MissingCaptureFolderWritesNoSnapshotAndLosesNothingElse) {
  // The pictures folder is a regular file: nothing can be made beneath it.
  testutil::WriteFile(m_scratch.Path() + "/Pictures", "not a folder");
  UseHome(m_scratch.Path() + "/Pictures");
  CreateCaptureDirectory();
  ASSERT_FALSE(fs::is_directory(CaptureDirectory()));
  fakeplayer::SetPicture(640, 360, kJpeg);
  RunSession();
  EXPECT_EQ(testutil::ReadFile(m_scratch.Path() + "/Pictures"), "not a folder");
  EXPECT_EQ(fakeplayer::CallCount("PlayM4_GetJPEG"), 1u) << "the snapshot was not tried";
  // The log went on past the failed snapshot.
  const std::vector<std::string> log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "logout suc\n");
}

TEST_F(UnwritablePlaces, CaptureFolderThatRefusesFilesWritesNoSnapshot) {
  // The capture folder is a folder of the proc filesystem, which no one, root
  // included, can create files in.
  UseHome(m_scratch.Path() + "/Pictures");
  fs::create_directories(m_scratch.Path() + "/Pictures");
  fs::create_directory_symlink("/proc/self/fdinfo", CaptureDirectory());
  CreateCaptureDirectory();
  ASSERT_TRUE(fs::is_directory(CaptureDirectory()));
  fakeplayer::SetPicture(640, 360, kJpeg);
  RunSession();
  EXPECT_EQ(fakeplayer::CallCount("PlayM4_GetJPEG"), 1u) << "the snapshot was not tried";
  for (const auto& entry : fs::directory_iterator(CaptureDirectory())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".jpg"), std::string::npos) << name;
  }
  EXPECT_EQ(Log().back(), "logout suc\n");
}

TEST_F(UnwritablePlaces, ReadOnlyCaptureFolderKeepsTheSnapshotsAlreadyThere) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root writes through permission bits; the proc folder case covers it";
  }
  UseHome(m_scratch.Path() + "/Pictures");
  CreateCaptureDirectory();
  const std::string earlier = CaptureDirectory() + "/2024-03-05-14-07-09.jpg";
  testutil::WriteFile(earlier, "earlier snapshot");
  ASSERT_EQ(chmod(CaptureDirectory().c_str(), 0555), 0);
  fakeplayer::SetPicture(640, 360, kJpeg);
  RunSession();
  chmod(CaptureDirectory().c_str(), 0755);
  EXPECT_EQ(testutil::ReadFile(earlier), "earlier snapshot");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(CaptureDirectory())) {
    ++files;
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace faults
