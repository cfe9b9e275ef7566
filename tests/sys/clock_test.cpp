#include <gtest/gtest.h>

#include <vector>

#include "platform/sys/clock.h"

namespace {

class VirtualClock : public ::testing::Test {
 protected:
  void TearDown() override { sys::UseRealClock(); }
};

TEST_F(VirtualClock, SleepAdvancesTheTickAtOnce) {
  sys::UseVirtualClock(1000);
  EXPECT_EQ(GetTickCount(), 1000u);
  Sleep(45000);
  EXPECT_EQ(GetTickCount(), 46000u);
  sys::AdvanceVirtualClock(5);
  EXPECT_EQ(GetTickCount(), 46005u);
}

TEST_F(VirtualClock, TickWrapsAt32Bits) {
  sys::UseVirtualClock(0xFFFFFFF0u);
  Sleep(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u);
  // Differences modulo 2^32, read as signed, still give the elapsed time.
  EXPECT_EQ(static_cast<int32_t>(GetTickCount() - 0xFFFFFFF0u), 0x20);
}

TEST_F(VirtualClock, SleepHookSeesEveryNewTick) {
  sys::UseVirtualClock(0);
  std::vector<DWORD> seen;
  sys::SetVirtualSleepHook([&](DWORD tick) { seen.push_back(tick); });
  Sleep(10);
  Sleep(10);
  EXPECT_EQ(seen, (std::vector<DWORD>{10, 20}));
  sys::UseRealClock();
  EXPECT_FALSE(sys::IsVirtualClock());
}

TEST(RealClock, TickMovesForwardWithRealSleep) {
  sys::UseRealClock();
  const DWORD before = GetTickCount();
  Sleep(20);
  EXPECT_GE(static_cast<int32_t>(GetTickCount() - before), 19);
}

}  // namespace
