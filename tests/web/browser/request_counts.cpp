#include "tests/web/browser/request_counts.h"

namespace webhost {

void RequestCounts::Count(const std::string& path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_counts[path];
}

std::map<std::string, int64_t> RequestCounts::Snapshot() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_counts;
}

}  // namespace webhost
