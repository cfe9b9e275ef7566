// A plain HTTP client for tests: one TCP connection to 127.0.0.1, a request
// sent as written, the reply read until the server closes the connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace webtest {

inline constexpr int kReplyBoundMs = 5000;  // only catches a hang

// One TCP connection to the server on 127.0.0.1.
class Client {
 public:
  explicit Client(uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { close(m_fd); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return m_connected; }
  void Send(const std::string& bytes) const {
    (void)send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // Everything until the server closes the connection (or the bound).
  std::string ReadAll() {
    std::string reply;
    char chunk[65536];
    for (;;) {
      pollfd wait{m_fd, POLLIN, 0};
      if (poll(&wait, 1, kReplyBoundMs) <= 0) {
        return reply;
      }
      const ssize_t n = recv(m_fd, chunk, sizeof chunk, 0);
      if (n <= 0) {
        m_closedByServer = n == 0;
        return reply;
      }
      reply.append(chunk, static_cast<size_t>(n));
    }
  }
  // The server closed the connection (seen by ReadAll).
  bool ClosedByServer() const { return m_closedByServer; }

 private:
  int m_fd;
  bool m_connected = false;
  bool m_closedByServer = false;
};

// The status of a reply, or 0 when it is none.
inline int Status(const std::string& reply) {
  return reply.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(reply.substr(9, 3)) : 0;
}

// "GET <path>", the connection closed after its answer.
inline std::string Get(const std::string& path, const std::string& extraHeaders = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders +
         "Connection: close\r\n\r\n";
}

}  // namespace webtest
