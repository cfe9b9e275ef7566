#include "platform/device/session_stats.h"

#include <cinttypes>
#include <cstdio>

namespace device {

void SessionStats::CountAnswer(int status) {
  const int answerClass = status / 100 - 2;
  if (answerClass >= 0 && answerClass < static_cast<int>(answersByClass.size())) {
    ++answersByClass[static_cast<size_t>(answerClass)];
  }
}

std::string SessionStats::Summary() const {
  const auto& r = reconnections;
  char line[512];
  std::snprintf(line, sizeof line,
                "%" PRIu64 " requests, answers 2xx %" PRIu64
                " 3xx %" PRIu64 " 4xx %" PRIu64 " 5xx %" PRIu64 "; %" PRIu64
                " transport fallbacks, %" PRIu64 " keep-alive failures; reconnections: %" PRIu64
                " silent, %" PRIu64 " closed, %" PRIu64 " session lost, %" PRIu64
                " bad reply, %" PRIu64 " remuxer, %" PRIu64 " other",
                requestsSent, answersByClass[0], answersByClass[1], answersByClass[2],
                answersByClass[3], transportFallbacks, keepAliveFailures, r[0], r[1], r[2], r[3],
                r[4], r[5]);
  return line;
}

}  // namespace device
