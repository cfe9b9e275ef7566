// Critical sections and interlocked 32-bit values.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/sys/types.h"

// A lock that one thread takes at a time; not re-entrant (the program never
// takes one twice on a thread).
struct CRITICAL_SECTION {
  std::mutex mutex;
};

inline void InitializeCriticalSection(CRITICAL_SECTION*) {}
inline void DeleteCriticalSection(CRITICAL_SECTION*) {}
inline void EnterCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.lock(); }
inline void LeaveCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.unlock(); }

// Scope guard for a critical section.
class CSLock {
 public:
  explicit CSLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
  ~CSLock() { LeaveCriticalSection(&m_cs); }
  CSLock(const CSLock&) = delete;
  CSLock& operator=(const CSLock&) = delete;

 private:
  CRITICAL_SECTION& m_cs;
};

// A 32-bit value written with interlocked exchanges and read atomically by
// pollers on other threads.
using INTERLOCKED_LONG = std::atomic<LONG>;

inline LONG InterlockedExchange(INTERLOCKED_LONG* target, LONG value) {
  return target->exchange(value, std::memory_order_acq_rel);
}

inline LONG InterlockedRead(const INTERLOCKED_LONG* target) {
  return target->load(std::memory_order_acquire);
}
