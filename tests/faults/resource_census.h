// What the process holds, for the soak tests: threads, file descriptors,
// player ports and resident memory.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "platform/player/player.h"
#include "tests/integration/process_census.h"

namespace faults {

// The player's port table (player.h: GetPort fails when all 16 are held).
constexpr int kPlayerPorts = 16;

// Takes every port the player hands out, gives them back, and returns how many
// there were: the whole table when nothing was left held.
inline int FreePlayerPorts() {
  std::vector<LONG> held;
  for (int i = 0; i <= kPlayerPorts; ++i) {
    LONG port = -1;
    if (!PlayM4_GetPort(&port)) {
      break;
    }
    held.push_back(port);
  }
  for (LONG port : held) {
    PlayM4_FreePort(port);
  }
  return static_cast<int>(held.size());
}

// Resident memory of this process in KiB (VmRSS of /proc/self/status).
inline long ResidentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

struct Census {
  int threads = 0;
  int fds = 0;
  long residentKib = 0;
};

inline Census TakeCensus() {
  return {integration::ProcessThreadCount(), integration::OpenFdCount(), ResidentKib()};
}

// The sanitizers' allocators keep freed blocks (quarantine, shadow memory), so
// resident memory says nothing about leaks there; LeakSanitizer checks them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

}  // namespace faults
