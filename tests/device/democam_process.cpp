#include "tests/device/democam_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace testing_device {

bool DemoCamProcess::Start(int port, const std::vector<std::string>& extraOptions) {
  Stop();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    return false;
  }
  std::vector<std::string> args = {DEMOCAM_PATH, "--port", std::to_string(port)};
  args.insert(args.end(), extraOptions.begin(), extraOptions.end());
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return false;
  }
  if (pid == 0) {
    // A test that crashes must not leave its camera running.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(pipeFds[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  m_pid = pid;

  // Ready line: "democam ready on ADDRESS port PORT".
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{pipeFds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
      break;
    }
    char buffer[256];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    line.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  const auto at = line.find(" port ");
  if (line.find('\n') == std::string::npos || at == std::string::npos) {
    Stop();
    return false;
  }
  m_port = std::atoi(line.c_str() + at + 6);
  return m_port > 0;
}

void DemoCamProcess::Freeze() {
  if (m_pid > 0) {
    kill(m_pid, SIGSTOP);
  }
}

void DemoCamProcess::Thaw() {
  if (m_pid > 0) {
    kill(m_pid, SIGCONT);
  }
}

bool DemoCamProcess::Stop() {
  if (m_pid <= 0) {
    return true;
  }
  kill(m_pid, SIGCONT);  // a frozen camera could not act on the SIGTERM
  kill(m_pid, SIGTERM);
  int status = 0;
  const pid_t done = waitpid(m_pid, &status, 0);
  m_pid = -1;
  return done > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testing_device
