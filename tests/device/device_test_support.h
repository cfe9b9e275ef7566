// Shared by the camera tests: waiting with a bound, a port where nothing
// listens, and a socket that accepts but never answers.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace testing_device {

// Polls `done` every 20 ms for up to `boundMs`; the bound only catches hangs.
inline bool WaitFor(const std::function<bool()>& done, int boundMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

inline long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

// A TCP socket on 127.0.0.1 with a port of its own. Listening, it completes
// connections in the kernel but never reads or answers; closed, it leaves a
// port where nothing listens.
class LoopbackSocket {
 public:
  explicit LoopbackSocket(bool listen) : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    if (listen) {
      ::listen(m_fd, 8);
    } else {
      close(m_fd);
      m_fd = -1;
    }
  }
  ~LoopbackSocket() {
    if (m_fd >= 0) {
      close(m_fd);
    }
  }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;
  unsigned short Port() const { return m_port; }

 private:
  int m_fd;
  unsigned short m_port = 0;
};

}  // namespace testing_device
