// Configuration files no one meant to write: ten megabytes of it, or binary
// garbage. The program must load defaults or the values it finds, quickly
// (bounded only to catch a hang), and never crash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>

#include "config/LocalConfig.h"
#include "tests/device/device_test_support.h"
#include "tests/worklog/TempDir.h"

namespace faults {
namespace {

constexpr size_t kHugeBytes = 10 * 1024 * 1024;
constexpr size_t kGarbageBytes = 256 * 1024;
constexpr long kLoadBoundMs = 30000;  // catches a hang or a quadratic scan, nothing finer
constexpr char kValues[] =
    "[SysParam]\r\nip=10.1.2.3\r\nport=554\r\nusr=coach\r\npwd=pool\r\ndelaytime=7\r\n"
    "dwStreamType=1\r\ndwLinkMode=1\r\n";

// Runs ReadLocalConfig on `text` as ./config.ini in a fresh folder.
class ConfigFaults : public ::testing::Test {
 protected:
  void Load(const std::string& text) {
    testutil::WriteFile(m_dir.Path() + "/config.ini", text);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
    const auto began = std::chrono::steady_clock::now();
    ReadLocalConfig();
    m_loadMs = testing_device::ElapsedMs(began);
    ASSERT_EQ(chdir(cwd), 0);
    RecordProperty("load_ms", static_cast<int>(m_loadMs));
    EXPECT_LT(m_loadMs, kLoadBoundMs);
  }
  static void ExpectDefaults() {
    EXPECT_EQ(g_settings.ip, kDefaultDeviceAddress);
    EXPECT_EQ(g_settings.port, "8000");
    EXPECT_EQ(g_settings.usr, "admin");
    EXPECT_EQ(g_settings.pwd, "60917");
    EXPECT_EQ(g_settings.delaytime, 2);
    EXPECT_EQ(g_settings.dwStreamType, 0);
    EXPECT_EQ(g_settings.dwLinkMode, 0);
  }
  static void ExpectValues() {
    EXPECT_EQ(g_settings.ip, "10.1.2.3");
    EXPECT_EQ(g_settings.port, "554");
    EXPECT_EQ(g_settings.usr, "coach");
    EXPECT_EQ(g_settings.pwd, "pool");
    EXPECT_EQ(g_settings.delaytime, 7);
    EXPECT_EQ(g_settings.dwStreamType, 1);
    EXPECT_EQ(g_settings.dwLinkMode, 1);
  }

  testutil::TempDir m_dir;
  long m_loadMs = 0;
};

// Bytes of every value, without '=' so that no line can set a key.
std::string Garbage(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
    if (c == '=') {
      c = '\0';
    }
  }
  return bytes;
}

TEST_F(ConfigFaults, TenMegabytesOfCommentLinesThenTheValues) {
  std::string text;
  text.reserve(kHugeBytes + sizeof kValues);
  while (text.size() < kHugeBytes) {
    text += "; the coach's notes on every dive of the season, line after line\r\n";
  }
  Load(text + kValues);
  ExpectValues();
}

TEST_F(ConfigFaults, TenMegabyteLineWithoutALineEnd) {
  Load(std::string(kHugeBytes, 'x'));
  ExpectDefaults();
}

TEST_F(ConfigFaults, TenMegabyteValueIsTakenWithoutCrashing) {
  Load(std::string("[SysParam]\nusr=") + std::string(kHugeBytes, 'u') + "\nport=554\n");
  EXPECT_EQ(g_settings.usr.size(), kHugeBytes);
  EXPECT_EQ(g_settings.port, "554");
  EXPECT_EQ(g_settings.pwd, "60917");
}

TEST_F(ConfigFaults, BinaryGarbageGivesTheDefaults) {
  Load(Garbage(kGarbageBytes, 1));
  ExpectDefaults();
  Load(std::string("[SysParam]\n") + Garbage(kGarbageBytes, 2));
  ExpectDefaults();
}

TEST_F(ConfigFaults, BinaryGarbageBeforeTheSectionStillGivesTheValues) {
  Load(Garbage(kGarbageBytes, 3) + "\n" + kValues);
  ExpectValues();
}

}  // namespace
}  // namespace faults
