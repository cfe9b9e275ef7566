// An HTTP/1.1 server on libmicrohttpd for the web screens: one named thread
// ("web-http") that polls every connection, hands each whole request to one
// handler and writes its answer, streaming large bodies from shared buffers
// without copying them. It bounds what it takes from the network: clients at
// once, the request head, the body, idle time. Knows nothing of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct MHD_Daemon;

namespace http {

struct Request {
  std::string method;  // "GET", "HEAD", "POST", ...
  std::string path;    // percent-decoded, without the query
  std::map<std::string, std::string> query;    // decoded; the first of a repeated name
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;    // at most Limits::maxBodyBytes
};

// A body as shared pieces, written one after the other: the pieces stay alive
// while the answer is being sent (a client may take its time).
struct Piece {
  std::shared_ptr<const void> owner;  // keeps `data` alive
  const uint8_t* data = nullptr;
  size_t size = 0;  // bytes
};

// A body read from an open file, `size` bytes from `offset`: the server
// closes the descriptor once the answer is sent (or given up).
struct FileBody {
  int fd = -1;
  uint64_t offset = 0;  // bytes
  uint64_t size = 0;    // bytes
};

struct Response {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;            // used when neither `pieces` nor `file` is
  std::vector<Piece> pieces;   // otherwise the body, in order
  FileBody file;               // or a file's bytes, when its fd is set
};

struct Limits {
  int maxClients = 32;          // connections at once; the next is answered 503
  size_t maxHeadBytes = 8192;   // request line and headers; over it: 431
  size_t maxBodyBytes = 4096;   // request body; over it: 413
  unsigned idleTimeoutS = 10;   // a connection silent this long is closed
};

class Server {
 public:
  using Handler = std::function<Response(const Request&)>;

  Server();
  ~Server();  // stops
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Listens on `port` (0: any free one) of every address of the machine, or of
  // 127.0.0.1 only when loopbackOnly; calls handler on the server's thread for
  // each request. False, with the reason in Error(), when it cannot listen.
  bool Start(uint16_t port, bool loopbackOnly, Handler handler, Limits limits = {});
  // Closes every connection and ends the thread; no handler call runs after.
  void Stop();
  bool Running() const { return m_daemon != nullptr; }
  uint16_t Port() const { return m_port; }
  const std::string& Error() const { return m_error; }

  // Internals reached from libmicrohttpd's C callbacks.
  struct Context;

 private:
  std::unique_ptr<Context> m_context;
  MHD_Daemon* m_daemon = nullptr;
  uint16_t m_port = 0;
  std::string m_error;
};

}  // namespace http
