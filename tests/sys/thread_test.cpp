#include <gtest/gtest.h>

#include <atomic>

#include "platform/sys/lock.h"
#include "platform/sys/thread.h"

namespace {

DWORD WaitForFlag(void* param) {
  auto* flag = static_cast<INTERLOCKED_LONG*>(param);
  while (InterlockedRead(flag) != 0) {
  }
  return 7;
}

TEST(Thread, BoundedWaitTimesOutThenSeesTheEndAndExitCode) {
  INTERLOCKED_LONG run{1};
  HANDLE thread = CreateThread(WaitForFlag, &run, "waiter");
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(sys::RunningThreadCount(), 1);

  EXPECT_EQ(InterlockedExchange(&run, 0), 1);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(CloseHandle(thread), TRUE);
  EXPECT_EQ(sys::RunningThreadCount(), 0);
}

TEST(Thread, NullHandleIsHarmless) {
  EXPECT_EQ(WaitForSingleObject(nullptr, 10), WAIT_OBJECT_0);
  EXPECT_EQ(CloseHandle(nullptr), FALSE);
}

struct Counter {
  CRITICAL_SECTION cs;
  long value = 0;
};

DWORD AddMany(void* param) {
  auto* counter = static_cast<Counter*>(param);
  for (int i = 0; i < 100000; ++i) {
    CSLock lock(counter->cs);
    ++counter->value;
  }
  return 1;
}

TEST(Lock, CriticalSectionKeepsIncrementsWhole) {
  Counter counter;
  HANDLE a = CreateThread(AddMany, &counter, "adder-a");
  HANDLE b = CreateThread(AddMany, &counter, "adder-b");
  CloseHandle(a);
  CloseHandle(b);
  EXPECT_EQ(counter.value, 200000);
}

}  // namespace
