#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <utility>
#include <string>

#include "config/LocalConfig.h"
#include "platform/sys/wallclock.h"
#include "tests/worklog/TempDir.h"
#include "worklog/WorkLog.h"

namespace {

constexpr std::time_t kNoon2024UtcSeconds = 1718452800;  // 2024-06-15 12:00:00 UTC
constexpr char kStamp[] = "2024-06-15 20:00:00  ";       // the same moment in UTC+8

// Runs ReadLocalConfig with a fresh temp directory as current directory and
// the work log open in it, so the log holds exactly this load's entries.
class ReadLocalConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    m_oldCwd = cwd;
    ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
    sys::UseFixedWallClock(kNoon2024UtcSeconds);
    ASSERT_NE(g_workLog.OpenFile(m_dir.Path().c_str()), nullptr);
    g_settings = Settings{};
  }
  void TearDown() override {
    g_workLog.Close();
    sys::UseRealWallClock();
    ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
  }
  void Load(const std::string& config) {
    testutil::WriteFile("config.ini", config);
    ReadLocalConfig();
  }
  std::string Log() const { return testutil::ReadFile(m_dir.Path() + "/log/Tarnview.txt"); }
  void ExpectDefaults() const {
    EXPECT_EQ(g_settings.ip, "127.0.0.1");
    EXPECT_EQ(g_settings.port, "8000");
    EXPECT_EQ(g_settings.usr, "admin");
    EXPECT_EQ(g_settings.pwd, "60917");
    EXPECT_EQ(g_settings.delaytime, 2);
    EXPECT_EQ(g_settings.dwStreamType, 0);
    EXPECT_EQ(g_settings.dwLinkMode, 0);
  }

  testutil::TempDir m_dir;
  std::string m_oldCwd;
};

const std::string kDefaultSummary = std::string(kStamp) +
    "ReadLocalConfig,ip:127.0.0.1,port:8000,usr:admin,pwd:******,dt:2,st:0,lm:0\n";

TEST_F(ReadLocalConfigTest, NoFileTakesDefaultsAndLogsBothEntries) {
  ReadLocalConfig();
  ExpectDefaults();
  EXPECT_EQ(Log(), std::string(kStamp) + "can't open configfile\n" + kDefaultSummary);
}

TEST_F(ReadLocalConfigTest, ConfigFileThatIsADirectoryCannotBeOpened) {
  ASSERT_EQ(mkdir("config.ini", 0755), 0);
  ReadLocalConfig();
  ExpectDefaults();
  EXPECT_EQ(Log(), std::string(kStamp) + "can't open configfile\n" + kDefaultSummary);
}

TEST_F(ReadLocalConfigTest, EmptyFileTakesDefaultsWithoutCantOpenEntry) {
  Load("");
  ExpectDefaults();
  EXPECT_EQ(Log(), kDefaultSummary);
}

TEST_F(ReadLocalConfigTest, OtherSectionOnlyTakesDefaults) {
  Load("[Other]\nip=10.0.0.1\nport=9000\ndelaytime=9\n");
  ExpectDefaults();
  EXPECT_EQ(Log(), kDefaultSummary);
}

TEST_F(ReadLocalConfigTest, CompleteFileIsReadAndPasswordMasked) {
  Load("[SysParam]\r\nip=10.0.0.5\r\nport=8001\r\nusr=coach\r\npwd=s3cret-pass\r\n"
       "delaytime=90\r\ndwStreamType=1\r\ndwLinkMode=5\r\n");
  EXPECT_EQ(g_settings.ip, "10.0.0.5");
  EXPECT_EQ(g_settings.port, "8001");
  EXPECT_EQ(g_settings.usr, "coach");
  EXPECT_EQ(g_settings.pwd, "s3cret-pass");
  EXPECT_EQ(g_settings.delaytime, 90);
  EXPECT_EQ(g_settings.dwStreamType, 1);
  EXPECT_EQ(g_settings.dwLinkMode, 5);
  EXPECT_EQ(Log(), std::string(kStamp) +
                       "ReadLocalConfig,ip:10.0.0.5,port:8001,usr:coach,pwd:******,dt:90,st:1,lm:5\n");
}

TEST_F(ReadLocalConfigTest, MaskHidesPasswordLength) {
  Load("[SysParam]\npwd=x\n");
  EXPECT_EQ(g_settings.pwd, "x");
  EXPECT_NE(Log().find("pwd:******,"), std::string::npos);
  EXPECT_EQ(Log().find("pwd:x"), std::string::npos);
}

TEST_F(ReadLocalConfigTest, SpacesAreTrimmedAndEmptyOrBlankValuesTakeDefaults) {
  Load("[SysParam]\nip=   \nport=\nusr=  \npwd= \n");
  ExpectDefaults();
  Load("[SysParam]\nip =  10.0.0.7  \n");
  EXPECT_EQ(g_settings.ip, "10.0.0.7");
}

TEST_F(ReadLocalConfigTest, MinusOneMarksANumberAsMissing) {
  Load("[SysParam]\ndelaytime=-1\ndwStreamType=-1\ndwLinkMode=-1\n");
  EXPECT_EQ(g_settings.delaytime, 2);
  EXPECT_EQ(g_settings.dwStreamType, 0);
  EXPECT_EQ(g_settings.dwLinkMode, 0);
}

TEST_F(ReadLocalConfigTest, NumbersAreStoredAsReadWithoutRangeChecks) {
  Load("[SysParam]\ndelaytime=abc\ndwStreamType=7x\ndwLinkMode=-3\n");
  EXPECT_EQ(g_settings.delaytime, 0);
  EXPECT_EQ(g_settings.dwStreamType, 7);
  EXPECT_EQ(g_settings.dwLinkMode, -3);
  Load("[SysParam]\ndelaytime=\n");
  EXPECT_EQ(g_settings.delaytime, 0);  // empty converts to 0, not the marker
}

TEST_F(ReadLocalConfigTest, KeyBeforeTheSectionIsIgnored) {
  Load("port=9000\n[SysParam]\nusr=bob\n");
  EXPECT_EQ(g_settings.port, "8000");
  EXPECT_EQ(g_settings.usr, "bob");
}

TEST_F(ReadLocalConfigTest, FormatCharactersInValuesAreLoggedLiterally) {
  Load("[SysParam]\nusr=%s%n%d\n");
  EXPECT_EQ(g_settings.usr, "%s%n%d");
  EXPECT_NE(Log().find("usr:%s%n%d,"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(ReadLocalConfigTest, OptionalRtspPathIsReadWithoutChangingTheSummary) {
  Load("[SysParam]\nrtspPath=/Streaming/Channels/{ch}0{streamno}\nip=10.0.0.9\n");
  EXPECT_EQ(g_settings.rtspPath, "/Streaming/Channels/{ch}0{streamno}");
  EXPECT_EQ(g_settings.ip, "10.0.0.9");
  EXPECT_EQ(Log(), std::string(kStamp) +
                       "ReadLocalConfig,ip:10.0.0.9,port:8000,usr:admin,pwd:******,dt:2,st:0,lm:0\n");
  Load("[SysParam]\nip=10.0.0.9\n");
  EXPECT_EQ(g_settings.rtspPath, "");
}

TEST_F(ReadLocalConfigTest, OptionalRingSizeIsKeptWithinItsRangeWithoutChangingTheSummary) {
  const std::pair<const char*, int32_t> cases[] = {
      {"", 30},          {"ringMB=64\n", 64}, {"ringMB=16\n", 16}, {"ringMB=512\n", 512},
      {"ringMB=4\n", 16}, {"ringMB=0\n", 16}, {"ringMB=4096\n", 512}, {"ringMB=-1\n", 30}};
  for (const auto& [line, megabytes] : cases) {
    const size_t logged = Log().size();
    Load(std::string("[SysParam]\n") + line);
    EXPECT_EQ(g_settings.ringMB, megabytes) << line;
    EXPECT_EQ(Log().substr(logged), kDefaultSummary) << line;
  }
}

TEST_F(ReadLocalConfigTest, HistoryAndWebKeysAreKeptWithinTheirRangesWithoutChangingTheSummary) {
  struct Case {
    const char* lines;
    int32_t historyMB;
    int32_t webListen;
  };
  const Case cases[] = {
      {"", 128, 8080},
      {"historyMB=256\nwebListen=9000\n", 256, 9000},
      {"historyMB=8\nwebListen=0\n", 32, 0},  // 0 turns the web screens off
      {"historyMB=4096\nwebListen=70000\n", 1024, 65535},
      {"historyMB=-1\nwebListen=-1\n", 128, 8080},
      // Neither key is found inside another's name, nor any other key inside theirs.
      {"ringMB=100\nhistoryMB=64\nwebListen=8081\n", 64, 8081}};
  for (const Case& c : cases) {
    const size_t logged = Log().size();
    Load(std::string("[SysParam]\nip=127.0.0.1\n") + c.lines);
    EXPECT_EQ(g_settings.historyMB, c.historyMB) << c.lines;
    EXPECT_EQ(g_settings.webListen, c.webListen) << c.lines;
    EXPECT_EQ(g_settings.ip, "127.0.0.1") << c.lines;
    EXPECT_EQ(Log().substr(logged), kDefaultSummary) << c.lines;
  }
}

TEST_F(ReadLocalConfigTest, ReplayKeysAreKeptWithinTheirRangesWithoutChangingTheSummary) {
  struct Case {
    const char* lines;
    int32_t replaySeconds;
    double replaySpeed;
    int32_t clipSeconds;
  };
  const Case cases[] = {
      {"", 8, 0.5, 20},
      {"replaySeconds=12\nreplaySpeed=0.75\nclipSeconds=45\n", 12, 0.75, 45},
      {"replaySeconds=1\nreplaySpeed=0.1\nclipSeconds=4\n", 2, 0.25, 5},
      {"replaySeconds=31\nreplaySpeed=2\nclipSeconds=61\n", 30, 1.0, 60},
      {"replaySeconds=-1\nreplaySpeed=fast\nclipSeconds=-1\n", 8, 0.5, 20}};
  for (const Case& c : cases) {
    const size_t logged = Log().size();
    // The address first: a key is found by substring, and "clipSeconds" holds "ip".
    Load(std::string("[SysParam]\nip=127.0.0.1\n") + c.lines);
    EXPECT_EQ(g_settings.replaySeconds, c.replaySeconds) << c.lines;
    EXPECT_DOUBLE_EQ(g_settings.replaySpeed, c.replaySpeed) << c.lines;
    EXPECT_EQ(g_settings.clipSeconds, c.clipSeconds) << c.lines;
    EXPECT_EQ(Log().substr(logged), kDefaultSummary) << c.lines;
  }
}

}  // namespace
