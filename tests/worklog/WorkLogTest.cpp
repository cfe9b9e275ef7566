#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sys/wallclock.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace {

constexpr std::time_t kNewYearsEve2023At2330Utc = 1704065400;  // 2023-12-31 23:30:00 UTC
constexpr std::time_t kMarch5At155959Utc = 1709654399;         // 2024-03-05 15:59:59 UTC
constexpr char kNewYearStamp[] = "2024-01-01 07:30:00  ";

// The log opened in a fresh temp directory, stamps on a pinned wall clock.
class WorkLogTest : public ::testing::Test {
 protected:
  void SetUp() override { sys::UseFixedWallClock(kNewYearsEve2023At2330Utc); }
  void TearDown() override {
    g_workLog.Close();
    sys::UseRealWallClock();
  }
  void Open() { ASSERT_NE(g_workLog.OpenFile(m_dir.Path().c_str()), nullptr); }
  std::string LogPath() const { return m_dir.Path() + "/log/Tarnview.txt"; }
  std::string Log() const { return testutil::ReadFile(LogPath()); }

  testutil::TempDir m_dir;
};

using WorkLogStamp = WorkLogTest;

TEST_F(WorkLogStamp, EightHoursLaterCarriesIntoNextYear) {
  Open();
  g_workLog.WriteLog("Init suc!\n");
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + "Init suc!\n");
}

TEST_F(WorkLogStamp, DayChangesAtSixteenHundredUtc) {
  Open();
  sys::UseFixedWallClock(kMarch5At155959Utc);
  g_workLog.WriteLog("a\n");
  sys::UseFixedWallClock(kMarch5At155959Utc + 1);
  g_workLog.WriteLog("b\n");
  EXPECT_EQ(Log(), "2024-03-05 23:59:59  a\n2024-03-06 00:00:00  b\n");
}

TEST_F(WorkLogStamp, MachineTimeZonePlaysNoPart) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz != nullptr ? oldTz : "";
  setenv("TZ", "EST5", 1);  // POSIX form: needs no zone database
  tzset();
  Open();
  g_workLog.WriteLog("x\n");
  if (oldTz != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + "x\n");
}

using WorkLogEntries = WorkLogTest;

TEST_F(WorkLogEntries, NothingIsAddedAfterTheMessage) {
  Open();
  g_workLog.WriteLog("no line end");
  g_workLog.WriteLog("stop %d\n ", 7);
  g_workLog.WriteLog("%s", "");
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + "no line end" + kNewYearStamp + "stop 7\n " +
                       kNewYearStamp);
}

TEST_F(WorkLogEntries, OverLongMessageIsCutTo2047Characters) {
  Open();
  const std::string longMessage(5000, 'm');
  g_workLog.WriteLog("%s", longMessage.c_str());
  g_workLog.WriteLog("next\n");
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + std::string(2047, 'm') + kNewYearStamp + "next\n");
}

TEST_F(WorkLogEntries, EntriesWhileClosedAreDropped) {
  g_workLog.WriteLog("before open\n");
  Open();
  g_workLog.WriteLog("open\n");
  g_workLog.Close();
  g_workLog.WriteLog("after close\n");
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + "open\n");
}

TEST_F(WorkLogEntries, ReopeningAppendsToTheSameFile) {
  Open();
  g_workLog.WriteLog("first run\n");
  g_workLog.Close();
  Open();
  g_workLog.WriteLog("second run\n");
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + "first run\n" + kNewYearStamp + "second run\n");
}

TEST_F(WorkLogEntries, NullDirectoryMeansHomeDirectory) {
  const char* oldHome = std::getenv("HOME");
  const std::string saved = oldHome != nullptr ? oldHome : "";
  setenv("HOME", m_dir.Path().c_str(), 1);
  FILE* file = g_workLog.OpenFile(nullptr);
  if (oldHome != nullptr) {
    setenv("HOME", saved.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  ASSERT_NE(file, nullptr);
  g_workLog.WriteLog("home\n");
  EXPECT_EQ(Log(), std::string(kNewYearStamp) + "home\n");
}

using WorkLogFailures = WorkLogTest;

// Permission bits do not stop root, so the directory is made impossible:
// its parent is missing, or the path runs through a regular file.
TEST_F(WorkLogFailures, MissingParentDropsEntriesSilently) {
  const std::string missing = m_dir.Path() + "/no/such";
  EXPECT_EQ(g_workLog.OpenFile(missing.c_str()), nullptr);
  g_workLog.WriteLog("lost\n");
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() + "/no"));
}

TEST_F(WorkLogFailures, PathThroughRegularFileDropsEntriesSilently) {
  const std::string file = m_dir.Path() + "/plain";
  testutil::WriteFile(file, "unchanged");
  EXPECT_EQ(g_workLog.OpenFile(file.c_str()), nullptr);
  g_workLog.WriteLog("lost\n");
  EXPECT_EQ(testutil::ReadFile(file), "unchanged");
}

TEST_F(WorkLogFailures, OverLongDirectoryIsNotOpened) {
  // Cutting the path would name some other file; nothing is created at all.
  const std::string longDir = m_dir.Path() + "/" + std::string(5000, 'd');
  EXPECT_EQ(g_workLog.OpenFile(longDir.c_str()), nullptr);
  g_workLog.WriteLog("lost\n");
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
}

TEST_F(WorkLogTest, EntriesFromSeveralThreadsNeverInterleave) {
  Open();
  constexpr int kThreads = 8;
  constexpr int kEntriesPerThread = 300;
  constexpr size_t kBodyChars = 1500;  // several entries exceed one stdio buffer
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      const std::string body(kBodyChars, static_cast<char>('a' + t));
      for (int i = 0; i < kEntriesPerThread; ++i) {
        g_workLog.WriteLog("%d %s\n", t, body.c_str());
      }
    });
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  std::istringstream lines(Log());
  std::string line;
  std::vector<int> counts(kThreads, 0);
  while (std::getline(lines, line)) {
    const std::string prefix = kNewYearStamp;
    ASSERT_EQ(line.substr(0, prefix.size()), prefix);
    const int t = line[prefix.size()] - '0';
    ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 40);
    ASSERT_EQ(line.substr(prefix.size()), std::to_string(t) + " " +
                                              std::string(kBodyChars, static_cast<char>('a' + t)));
    ++counts[t];
  }
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(counts[t], kEntriesPerThread) << "thread " << t;
  }
}

}  // namespace
