// Shared set-up for the DecThread tests: a fresh ring in g_pStreamRing, the
// player double reset, the work log in a temporary directory, and helpers to
// store records and read the log back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "session/DecThread.h"
#include "session/StreamRing.h"
#include "tests/doubles/FakePlayer.h"
#include "tests/worklog/LogReader.h"
#include "worklog/WorkLog.h"

inline constexpr const char* kStartLine = "start  DecThread\n";
inline constexpr const char* kBreakLine = "in DecThread,nTSpan >40000 || !g_bTread break\n";
inline constexpr const char* kExitLine = "exit  DecThread\n";
inline constexpr LONG kTestPort = 7;

class DecThreadFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/tarnview-dec-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    m_dir = dirTemplate;
    ASSERT_NE(g_workLog.OpenFile(m_dir.c_str()), nullptr);
    m_ring = StreamRing::Create();
    ASSERT_NE(m_ring, nullptr);
    g_pStreamRing = m_ring;
    fakeplayer::Reset();
    g_lPlayPort = kTestPort;
    g_nDelayMs = 0;
  }

  void TearDown() override {
    InterlockedExchange(&g_bTread, 0);
    CloseHandle(m_thread);
    sys::UseRealClock();
    g_pStreamRing = nullptr;
    delete m_ring;
    g_workLog.Close();
    std::filesystem::remove_all(m_dir);
  }

  // Stores one record as the intake does, under g_csStream.
  static BOOL Store(DWORD tick, const std::vector<BYTE>& payload) {
    CSLock lock(g_csStream);
    return g_pStreamRing->StoreRecord(tick, payload.data(), static_cast<DWORD>(payload.size()));
  }

  void StartDecThread() {
    InterlockedExchange(&g_bTread, 1);
    m_thread = CreateThread(DecThread, nullptr, "DecThread");
    ASSERT_NE(m_thread, nullptr);
  }

  // Waits for the DecThread to end by itself and checks its exit code.
  void JoinDecThread() {
    ASSERT_EQ(WaitForSingleObject(m_thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(m_thread, &code));
    EXPECT_EQ(code, 1u);
    CloseHandle(m_thread);
    m_thread = nullptr;
  }

  std::vector<std::string> LogMessages() const { return testutil::LogMessages(m_dir); }

  std::string m_dir;
  StreamRing* m_ring = nullptr;
  HANDLE m_thread = nullptr;
};
