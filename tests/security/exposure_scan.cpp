#include "tests/security/exposure_scan.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace security {
namespace {

constexpr char kTcpListen[] = "0A";  // st column of /proc/net/tcp

std::set<std::string> SocketInodes(pid_t pid) {
  std::set<std::string> inodes;
  std::error_code error;
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  for (auto it = std::filesystem::directory_iterator(dir, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::error_code linkError;
    const std::string target = std::filesystem::read_symlink(it->path(), linkError).string();
    if (!linkError && target.rfind("socket:[", 0) == 0) {
      inodes.insert(target.substr(8, target.size() - 9));
    }
  }
  return inodes;
}

// The kernel lists IPv4 addresses as one 32-bit word in host order (little
// endian here), IPv6 ones as four such words.
bool IsLoopback(const std::string& hex) {
  if (hex.size() == 8) {
    return hex.substr(6, 2) == "7F";
  }
  if (hex == "00000000000000000000000001000000") {
    return true;  // ::1
  }
  return hex.substr(0, 16) == "0000000000000000" && hex.substr(16, 8) == "FFFF0000" &&
         hex.substr(30, 2) == "7F";
}

}  // namespace

std::string CommandLine(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<pid_t> ChildrenNamed(const std::string& name) {
  std::vector<pid_t> children;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (entry.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::ifstream stat(it->path() / "stat");
    std::string line;
    std::getline(stat, line);
    // "pid (comm) state ppid ...": comm may hold spaces, so cut at the last ')'.
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) {
      continue;
    }
    std::istringstream rest(line.substr(close + 2));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == getpid() && line.substr(open + 1, close - open - 1) == name) {
      children.push_back(static_cast<pid_t>(std::stol(entry)));
    }
  }
  return children;
}

std::vector<BoundSocket> SocketsOf(const std::vector<pid_t>& pids) {
  std::set<std::string> inodes;
  for (pid_t pid : pids) {
    const std::set<std::string> more = SocketInodes(pid);
    inodes.insert(more.begin(), more.end());
  }
  std::vector<BoundSocket> sockets;
  for (const std::string& table : std::vector<std::string>{"tcp", "tcp6", "udp", "udp6"}) {
    std::ifstream file("/proc/net/" + table);
    std::string line;
    std::getline(file, line);  // column titles
    while (std::getline(file, line)) {
      std::istringstream columns(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      columns >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode;
      if (inodes.count(inode) == 0) {
        continue;
      }
      BoundSocket socket;
      socket.table = table;
      socket.address = local.substr(0, local.find(':'));
      socket.port = std::stoi(local.substr(local.find(':') + 1), nullptr, 16);
      socket.listening = table.rfind("udp", 0) == 0 || state == kTcpListen;
      socket.loopback = IsLoopback(socket.address);
      sockets.push_back(socket);
    }
  }
  return sockets;
}

}  // namespace security
