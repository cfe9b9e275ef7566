// The demo camera as a child process on 127.0.0.1, for tests and benchmarks.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_device {

class DemoCamProcess {
 public:
  DemoCamProcess() = default;
  ~DemoCamProcess() { Stop(); }
  DemoCamProcess(const DemoCamProcess&) = delete;
  DemoCamProcess& operator=(const DemoCamProcess&) = delete;

  // Starts the camera on `port` (0: any free port) with extra options, and
  // waits up to 20 s for its ready line. False when it did not come up.
  bool Start(int port, const std::vector<std::string>& extraOptions = {});
  // SIGTERM and wait for the exit; true when it exited with status 0.
  bool Stop();
  // SIGSTOP / SIGCONT: a camera that freezes with its connections open.
  void Freeze();
  void Thaw();
  int Port() const { return m_port; }
  bool Running() const { return m_pid > 0; }

 private:
  pid_t m_pid = -1;
  int m_port = 0;
  std::vector<std::string> m_options;
};

}  // namespace testing_device
