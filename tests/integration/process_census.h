// What the process holds, read from /proc: threads and open file descriptors.
#pragma once

#include <filesystem>

namespace integration {

inline int CountEntries(const char* directory) {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(directory, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

// Threads of this process (the kernel's view, including threads no layer
// counts itself).
inline int ProcessThreadCount() { return CountEntries("/proc/self/task"); }
// Open file descriptors (the listing's own descriptor is counted every time).
inline int OpenFdCount() { return CountEntries("/proc/self/fd"); }

}  // namespace integration
