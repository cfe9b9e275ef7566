// Reading what a process shows of itself: its arguments, and the sockets it
// holds with the address each is bound to.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

namespace security {

// Arguments of process `pid` as one text, the NULs between them kept.
std::string CommandLine(pid_t pid);
// Children of this process whose command name is `name`.
std::vector<pid_t> ChildrenNamed(const std::string& name);

struct BoundSocket {
  std::string table;    // "tcp", "tcp6", "udp" or "udp6"
  std::string address;  // local address as the kernel lists it (hex)
  int port = 0;
  bool listening = false;  // TCP in LISTEN, or any bound UDP socket
  bool loopback = false;   // 127.0.0.0/8, ::1 or ::ffff:127.0.0.0/104
};

// The sockets that the processes `pids` hold, from /proc/net/{tcp,tcp6,udp,udp6}.
std::vector<BoundSocket> SocketsOf(const std::vector<pid_t>& pids);

}  // namespace security
