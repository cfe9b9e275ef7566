// How many requests the host's server answered, by path (the query, which
// holds the token, left out): what a cache in front saved it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace webhost {

class RequestCounts {
 public:
  // On the server's thread, once per request answered.
  void Count(const std::string& path);
  // Every path asked for so far, with its count.
  std::map<std::string, int64_t> Snapshot() const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, int64_t> m_counts;  // requests per path, under m_mutex
};

}  // namespace webhost
