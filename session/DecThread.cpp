#include "session/DecThread.h"

#include <memory>
#include <new>

#include "platform/player/player.h"
#include "platform/sys/clock.h"
#include "session/StreamRing.h"
#include "worklog/WorkLog.h"

INTERLOCKED_LONG g_bTread{0};
LONG g_nDelayMs = 0;
std::atomic<LONG> g_lPlayPort{-1};

namespace {

// Age of a record in ms: the tick difference modulo 2^32 read as signed, so
// the wrap of the tick every 49.7 days does not disturb the timing.
LONG AgeMs(DWORD dwTick) { return static_cast<LONG>(GetTickCount() - dwTick); }

// Takes one whole record under g_csStream; its payload goes to scratch.
// Returns 1 when a payload is in hand to feed. A payload larger than the
// scratch buffer cannot come from the intake (StoreRecord refuses it); should
// one ever be found, it is taken out and dropped so the ring stays at a record
// boundary.
BOOL TakeRecord(BYTE* scratch, StreamRecordHeader* header) {
  CSLock lock(g_csStream);
  if (!g_pStreamRing->TakeRecordHeader(header)) {
    return 0;
  }
  if (header->dwLen <= kDecScratchBytes) {
    return g_pStreamRing->Read(scratch, header->dwLen);
  }
  for (DWORD left = header->dwLen; left > 0;) {
    const DWORD piece = left < kDecScratchBytes ? left : kDecScratchBytes;
    if (!g_pStreamRing->Read(scratch, piece)) {
      break;
    }
    left -= piece;
  }
  return 0;
}

}  // namespace

DWORD ShownTick() { return GetTickCount() - static_cast<DWORD>(g_nDelayMs); }

DWORD DecThread(void* /*param*/) {
  // 1.
  g_workLog.WriteLog("start  DecThread\n");
  // 2.
  std::unique_ptr<BYTE[]> scratch(new (std::nothrow) BYTE[kDecScratchBytes]);
  // 3. (Without a scratch buffer nothing can be fed: the thread ends at once.)
  while (scratch != nullptr && InterlockedRead(&g_bTread) != 0) {
    // 3.1 An empty ring pauses one wait step instead of spinning: a record
    // stored meanwhile is not due for a whole delay (at least 1 s), so taking
    // it up to 10 ms later changes no feed time, and the stop still sees the
    // cleared flag within one step.
    if (g_pStreamRing->GetDataLen() == 0) {
      Sleep(kDecWaitStepMs);
      continue;
    }
    // 3.2
    StreamRecordHeader record{0, 0};
    if (!TakeRecord(scratch.get(), &record)) {
      continue;
    }
    // 3.3
    LONG nTSpan = AgeMs(record.dwTick);
    if (nTSpan < g_nDelayMs) {
      for (;;) {
        Sleep(kDecWaitStepMs);
        nTSpan = AgeMs(record.dwTick);
        if (nTSpan > kDecMaxHoldMs || InterlockedRead(&g_bTread) == 0) {
          // The line keeps its words from when the bound was 40 s.
          g_workLog.WriteLog("in DecThread,nTSpan >40000 || !g_bTread break\n");
          break;
        }
        if (nTSpan >= g_nDelayMs) {
          break;
        }
      }
    }
    // 3.4 The result is not looked at: a refused piece is not offered again.
    PlayM4_InputData(g_lPlayPort, scratch.get(), record.dwLen);
  }
  // 4.
  scratch.reset();
  g_workLog.WriteLog("exit  DecThread\n");
  return 1;
}
