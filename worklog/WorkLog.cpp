#include "worklog/WorkLog.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/sys/wallclock.h"

CWorkLog g_workLog;

namespace {

constexpr size_t kMessageBytes = 2048;   // a message keeps at most 2,047 characters
constexpr size_t kStampBytes = 32;       // "yyyy-mm-dd hh:mm:ss" plus room for long years
constexpr size_t kPathBytes = 4096;      // PATH_MAX: a longer log path is not opened
constexpr std::time_t kUtcPlus8Seconds = 8 * 60 * 60;  // fixed offset, not the machine's zone

}  // namespace

CWorkLog::~CWorkLog() { Close(); }

void CWorkLog::Close() {
  if (m_pFile != nullptr) {
    std::fclose(m_pFile);
    m_pFile = nullptr;
  }
}

FILE* CWorkLog::OpenFile(const char* dir) {
  const char* base = dir;
  if (base == nullptr) {
    base = std::getenv("HOME");
    if (base == nullptr || *base == '\0') {
      base = "/tmp";
    }
  }
  char logDir[kPathBytes];
  char filePath[kPathBytes];
  const int dirLen = std::snprintf(logDir, sizeof logDir, "%s/log", base);
  const int pathLen = std::snprintf(filePath, sizeof filePath, "%s/log/%s", base, "Tarnview.txt");
  if (dirLen < 0 || pathLen < 0 || static_cast<size_t>(pathLen) >= sizeof filePath) {
    return nullptr;  // cut paths would name some other file
  }
  ::mkdir(logDir, 0777);  // fails harmlessly when it exists; the open decides
  g_workLog.m_pFile = std::fopen(filePath, "a");
  return g_workLog.m_pFile;
}

void CWorkLog::WriteLog(const char* format, ...) {
  std::time_t now = sys::WallClockNow() + kUtcPlus8Seconds;
  std::tm t{};
  gmtime_r(&now, &t);
  if (m_pFile == nullptr) {
    return;
  }
  // Stamp, two spaces and message go out in one write, so that entries from
  // different threads never interleave.
  char entry[kStampBytes + 2 + kMessageBytes];
  const int stampLen = std::snprintf(entry, kStampBytes + 2, "%d-%02d-%02d %02d:%02d:%02d  ",
                                     t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                                     t.tm_min, t.tm_sec);
  va_list args;
  va_start(args, format);
  const int messageLen = std::vsnprintf(entry + stampLen, kMessageBytes, format, args);
  va_end(args);
  size_t length = static_cast<size_t>(stampLen);
  if (messageLen > 0) {
    length += std::min(static_cast<size_t>(messageLen), kMessageBytes - 1);
  }
  std::fwrite(entry, 1, length, m_pFile);
  std::fflush(m_pFile);
}
