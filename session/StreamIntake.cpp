#include "session/StreamIntake.h"

#include "platform/device/device.h"
#include "platform/player/player.h"
#include "platform/sys/clock.h"
#include "platform/sys/lock.h"
#include "platform/sys/stderr_report.h"
#include "platform/sys/thread.h"
#include "session/DecThread.h"
#include "session/StreamHistory.h"
#include "session/StreamRing.h"

HWND g_hPlayWnd = nullptr;
std::atomic<HANDLE> g_hDecThread{nullptr};

namespace {

// One line every few seconds at most while the ring overflows.
constexpr DWORD kRingReportIntervalMs = 10000;

sys::StderrReport& RingReport() {
  static sys::StderrReport report("session", kRingReportIntervalMs);
  return report;
}

// The ring dropped a record of `size` bytes. When what it holds is younger
// than the delay, no record in it is due yet: the ring is too small for this
// stream at this delay. Says so, with the ringMB that would hold it. The
// caller holds g_csStream.
void ReportRingTooSmall(DWORD now) {
  DWORD oldest = 0;
  if (!g_pStreamRing->PeekOldestTick(&oldest)) {
    return;
  }
  const LONG spanMs = static_cast<LONG>(now - oldest);
  if (spanMs <= 0 || spanMs >= g_nDelayMs) {
    return;  // the feed is behind, not the ring too small
  }
  const double bytesPerSecond = g_pStreamRing->GetDataLen() * 1000.0 / spanMs;
  const int delaySeconds = static_cast<int>(g_nDelayMs / 1000);
  RingReport().Report(0,
                      "the stream ring of %u MiB dropped a record: %.1f Mbit/s for a %d s delay "
                      "need ringMB=%d",
                      static_cast<unsigned>(g_pStreamRing->GetSize() / StreamRing::kBytesPerMiB),
                      bytesPerSecond * 8 / 1e6, delaySeconds,
                      static_cast<int>(StreamRing::MiBToHold(bytesPerSecond, delaySeconds)));
}

// Stores one piece as a record, or drops it whole (no port, empty, too large
// for the DecThread, or no room in the ring); and keeps it in the history.
void StoreStreamData(const BYTE* buffer, DWORD size) {
  if (size == 0 || g_lPlayPort == -1) {
    return;
  }
  DWORD now = 0;
  {
    CSLock lock(g_csStream);
    if (g_pStreamRing == nullptr) {
      return;
    }
    now = GetTickCount();
    if (!g_pStreamRing->StoreRecord(now, buffer, size) && size <= kMaxRecordPayloadBytes) {
      ReportRingTooSmall(now);
    }
  }
  // Kept as it arrived, with the same tick, for replays, steps, clips and the
  // web screens, whatever the ring did with it; after g_csStream, so that the
  // DecThread never waits for the copy.
  g_history.Append(buffer, size, now);
}

// Gives back a port that an earlier header took but could not open, so that a
// later header starts clean and no port is left unreachable.
void ReleaseUnopenedPort() {
  if (g_lPlayPort == -1) {
    return;
  }
  PlayM4_Stop(g_lPlayPort);
  PlayM4_CloseStream(g_lPlayPort);
  PlayM4_FreePort(g_lPlayPort);
  g_lPlayPort = -1;
}

// Opens the player with the header and starts the DecThread. A step that fails
// ends the set-up silently, leaving the port held (the stop gives it back).
void OpenPlayer(const BYTE* buffer, DWORD size) {
  ReleaseUnopenedPort();
  LONG port = -1;
  if (!PlayM4_GetPort(&port)) {
    return;
  }
  g_lPlayPort = port;
  if (size == 0) {
    return;
  }
  if (!PlayM4_SetStreamOpenMode(g_lPlayPort, 0)) {
    return;
  }
  if (!PlayM4_OpenStream(g_lPlayPort, buffer, size, kPlayerBufferBytes)) {
    return;
  }
  if (!PlayM4_Play(g_lPlayPort, g_hPlayWnd)) {
    return;
  }
  // A new stream: what a replay opens its own stream with.
  g_history.Restart(buffer, size);
  g_hDecThread.store(CreateThread(DecThread, nullptr, "DecThread"));
}

}  // namespace

void StreamDataProc(LONG /*realHandle*/, DWORD dataType, BYTE* buffer, DWORD size,
                    void* /*user*/) {
  if (dataType == NET_DVR_SYSHEAD) {
    // A repeated header while a DecThread already feeds the port joins the
    // stream as data: a second port and thread would be out of the stop's reach.
    if (g_hDecThread.load() == nullptr) {
      OpenPlayer(buffer, size);
      if (g_hDecThread.load() == nullptr) {
        return;  // not opened: the header is not stored
      }
    }
    StoreStreamData(buffer, size);
  } else if (dataType == NET_DVR_STREAMDATA) {
    StoreStreamData(buffer, size);
  }
}
