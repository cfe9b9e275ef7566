#include "tests/web/browser/command_lines.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace webhost {
namespace {

int s_stopPipe[2] = {-1, -1};  // a stop signal writes a byte into [1]
std::string s_pending;         // bytes read from stdin after the last line feed

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(s_stopPipe[1], &byte, 1);
}

}  // namespace

void CatchStopSignals() {
  if (pipe2(s_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  // A reader that went away must not kill the host before it has cleaned up.
  signal(SIGPIPE, SIG_IGN);
}

bool NextCommand(std::string* line) {
  for (;;) {
    const size_t end = s_pending.find('\n');
    if (end != std::string::npos) {
      *line = s_pending.substr(0, end);
      s_pending.erase(0, end + 1);
      return true;
    }
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {s_stopPipe[0], POLLIN, 0}};
    if (poll(fds, s_stopPipe[0] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (fds[1].revents != 0) {
      return false;
    }
    char buffer[256];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    s_pending.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace webhost
