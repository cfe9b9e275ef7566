#include "session/Snapshot.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <new>
#include <string>

#include "platform/player/player.h"
#include "platform/sys/wallclock.h"
#include "session/CaptureFolder.h"
#include "session/DecThread.h"
#include "worklog/WorkLog.h"

BYTE* g_pJpegBuf = nullptr;
LONG g_nJpegBufSize = 0;
LONG g_nPicWidth = 0;
LONG g_nPicHeight = 0;

namespace {

constexpr size_t kTimeTextBytes = 128;

// Remakes the buffer for a new picture size. A size whose buffer would not fit
// in 32 bits (or is not positive) leaves no buffer, so GetJPEG then fails.
void MakeJpegBuffer(LONG width, LONG height) {
  FreeSnapshotBuffer();
  g_workLog.WriteLog("get pic szie ,w:%d,h:%d\n", width, height);
  const int64_t bytes = static_cast<int64_t>(width) * height * 3 / 2;
  if (bytes > 0 && bytes <= std::numeric_limits<LONG>::max()) {
    g_pJpegBuf = new (std::nothrow) BYTE[static_cast<size_t>(bytes)];
  }
  g_nJpegBufSize = g_pJpegBuf != nullptr ? static_cast<LONG>(bytes) : 0;
  g_nPicWidth = width;
  g_nPicHeight = height;
}

// Writes the bytes to path whole or not at all: they go to a temporary file
// that replaces path only once it is complete, so a full disk neither leaves a
// torn JPEG nor destroys an earlier snapshot of the same second.
void WriteFileWhole(const char* path, const BYTE* bytes, size_t count) {
  const std::string temporary = std::string(path) + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    return;
  }
  const bool written = std::fwrite(bytes, 1, count, file) == count;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path) != 0) {
    std::remove(temporary.c_str());
  }
}

}  // namespace

void TakeSnapshot() {
  // 1.
  char timeText[kTimeTextBytes] = "";
  const std::time_t now = sys::WallClockNow();
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr ||
      std::strftime(timeText, sizeof timeText, "%Y-%m-%d-%H-%M-%S", &local) == 0) {
    timeText[0] = '\0';
  }
  // 2.
  const std::string path = CaptureDirectory() + "/" + timeText + ".jpg";
  // 3.
  WriteJpegSnapshot(path.c_str());
}

void WriteJpegSnapshot(const char* path) {
  // 1. One read of the port: the intake may change it meanwhile.
  const LONG port = g_lPlayPort;
  if (port == -1) {
    return;
  }
  // 2.
  LONG width = 0;
  LONG height = 0;
  const BOOL sized = PlayM4_GetPictureSize(port, &width, &height);
  // 3.
  if (sized && (width != g_nPicWidth || height != g_nPicHeight)) {
    MakeJpegBuffer(width, height);
  }
  // 4.
  DWORD jpegSize = 0;
  const BOOL got = PlayM4_GetJPEG(port, g_pJpegBuf, static_cast<DWORD>(g_nJpegBufSize),
                                  &jpegSize);
  // 5.
  if (!got || jpegSize > static_cast<DWORD>(g_nJpegBufSize)) {
    return;
  }
  // 6. and 7.
  WriteFileWhole(path, g_pJpegBuf, jpegSize);
}

void FreeSnapshotBuffer() {
  delete[] g_pJpegBuf;
  g_pJpegBuf = nullptr;
  // The size goes with the buffer: the player must never be offered a size
  // for a buffer that is gone.
  g_nJpegBufSize = 0;
  g_nPicWidth = 0;
  g_nPicHeight = 0;
}
