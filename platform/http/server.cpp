#include "platform/http/server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>

namespace http {

struct Server::Context {
  Handler handler;
  Limits limits;
};

namespace {

// Connections beyond the clients served, which only get their 503: a hard
// bound on what a flood of connections can hold.
constexpr unsigned kRefusedConnections = 32;
// Bytes of the body copied out of the shared pieces per call of the writer.
constexpr size_t kWriteBlockBytes = 64 * 1024;

// What libmicrohttpd keeps for one request between its calls.
struct RequestState {
  std::string body;
  bool bodyTooLarge = false;
};

// A streamed body: its pieces and where each starts in it.
struct PieceBody {
  std::vector<Piece> pieces;
  std::vector<uint64_t> starts;  // byte offset of each piece
  uint64_t size = 0;
};

void NameThisThread() {
  thread_local bool named = false;
  if (!named) {
    pthread_setname_np(pthread_self(), "web-http");
    named = true;
  }
}

MHD_Result KeepFirst(void* cls, MHD_ValueKind, const char* key, const char* value) {
  if (key != nullptr) {
    static_cast<std::map<std::string, std::string>*>(cls)->emplace(key, value ? value : "");
  }
  return MHD_YES;
}

struct HeadScan {
  std::map<std::string, std::string>* headers;
  size_t bytes = 0;
};

MHD_Result KeepHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto* scan = static_cast<HeadScan*>(cls);
  if (key == nullptr) {
    return MHD_YES;
  }
  std::string name = key;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string text = value != nullptr ? value : "";
  scan->bytes += name.size() + text.size() + 4;  // ": " and CRLF
  scan->headers->emplace(std::move(name), text);
  return MHD_YES;
}

ssize_t ReadPieces(void* cls, uint64_t position, char* buffer, size_t max) {
  const auto* body = static_cast<const PieceBody*>(cls);
  if (position >= body->size) {
    return MHD_CONTENT_READER_END_OF_STREAM;
  }
  auto at = std::upper_bound(body->starts.begin(), body->starts.end(), position) - 1;
  size_t piece = static_cast<size_t>(at - body->starts.begin());
  uint64_t offset = position - *at;
  size_t copied = 0;
  while (copied < max && piece < body->pieces.size()) {
    const Piece& current = body->pieces[piece];
    const size_t now = std::min(max - copied, static_cast<size_t>(current.size - offset));
    std::memcpy(buffer + copied, current.data + offset, now);
    copied += now;
    offset += now;
    if (offset == current.size) {
      ++piece;
      offset = 0;
    }
  }
  return static_cast<ssize_t>(copied);
}

void FreePieces(void* cls) { delete static_cast<PieceBody*>(cls); }

MHD_Result Send(MHD_Connection* connection, const Response& answer) {
  MHD_Response* response = nullptr;
  if (answer.file.fd >= 0) {
    // Takes the descriptor over once made.
    response = MHD_create_response_from_fd_at_offset64(answer.file.size, answer.file.fd,
                                                       answer.file.offset);
    if (response == nullptr) {
      close(answer.file.fd);
    }
  } else if (!answer.pieces.empty()) {
    auto* body = new PieceBody{answer.pieces, {}, 0};
    for (const Piece& piece : body->pieces) {
      body->starts.push_back(body->size);
      body->size += piece.size;
    }
    response = MHD_create_response_from_callback(body->size, kWriteBlockBytes, ReadPieces, body,
                                                 FreePieces);
    if (response == nullptr) {
      delete body;
    }
  } else {
    response = MHD_create_response_from_buffer(answer.body.size(),
                                               const_cast<char*>(answer.body.data()),
                                               MHD_RESPMEM_MUST_COPY);
  }
  if (response == nullptr) {
    return MHD_NO;  // out of memory: the connection is closed
  }
  for (const auto& [name, value] : answer.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.status),
                                               response);
  MHD_destroy_response(response);
  return queued;
}

Response Plain(int status, const char* text) {
  Response response;
  response.status = status;
  response.headers = {{"Content-Type", "text/plain; charset=utf-8"},
                      {"Cache-Control", "no-store"}};
  response.body = text;
  return response;
}

unsigned ConnectionsNow(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_DAEMON);
  const MHD_DaemonInfo* daemon =
      info != nullptr ? MHD_get_daemon_info(info->daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS)
                      : nullptr;
  return daemon != nullptr ? daemon->num_connections : 0;
}

MHD_Result Access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char* upload, size_t* uploadSize, void** requestCls) {
  NameThisThread();
  const auto* context = static_cast<const Server::Context*>(cls);
  if (*requestCls == nullptr) {
    *requestCls = new RequestState;  // the head is in; a body may follow
    return MHD_YES;
  }
  auto* state = static_cast<RequestState*>(*requestCls);
  if (*uploadSize != 0) {
    if (state->body.size() + *uploadSize > context->limits.maxBodyBytes) {
      state->bodyTooLarge = true;  // read on and dropped, answered once whole
    } else {
      state->body.append(upload, *uploadSize);
    }
    *uploadSize = 0;
    return MHD_YES;
  }
  Request request;
  request.method = method;
  request.path = url;
  HeadScan head{&request.headers};
  MHD_get_connection_values(connection, MHD_HEADER_KIND, KeepHeader, &head);
  MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, KeepFirst, &request.query);
  head.bytes += request.method.size() + std::strlen(url) + 16;  // the request line, roughly
  if (ConnectionsNow(connection) > static_cast<unsigned>(context->limits.maxClients)) {
    Response busy = Plain(503, "Too many clients at once; try again shortly.\n");
    busy.headers.emplace_back("Retry-After", "2");
    busy.headers.emplace_back("Connection", "close");
    return Send(connection, busy);
  }
  if (head.bytes > context->limits.maxHeadBytes) {
    return Send(connection, Plain(431, "Request header fields too large.\n"));
  }
  if (state->bodyTooLarge) {
    return Send(connection, Plain(413, "Request body too large.\n"));
  }
  request.body = std::move(state->body);
  try {
    return Send(connection, context->handler(request));
  } catch (const std::exception&) {
    return Send(connection, Plain(500, "The server could not answer this request.\n"));
  }
}

void Completed(void*, MHD_Connection*, void** requestCls, MHD_RequestTerminationCode) {
  delete static_cast<RequestState*>(*requestCls);
  *requestCls = nullptr;
}

}  // namespace

Server::Server() = default;
Server::~Server() { Stop(); }

bool Server::Start(uint16_t port, bool loopbackOnly, Handler handler, Limits limits) {
  Stop();
  m_context = std::make_unique<Context>(Context{std::move(handler), limits});
  const unsigned connectionLimit = static_cast<unsigned>(limits.maxClients) + kRefusedConnections;
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_port = htons(port);
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto start = [&](unsigned flags, const sockaddr_in* address) {
    return address != nullptr
               ? MHD_start_daemon(flags, port, nullptr, nullptr, &Access, m_context.get(),
                                  MHD_OPTION_SOCK_ADDR, address, MHD_OPTION_NOTIFY_COMPLETED,
                                  &Completed, nullptr, MHD_OPTION_CONNECTION_LIMIT,
                                  connectionLimit, MHD_OPTION_CONNECTION_TIMEOUT,
                                  limits.idleTimeoutS, MHD_OPTION_END)
               : MHD_start_daemon(flags, port, nullptr, nullptr, &Access, m_context.get(),
                                  MHD_OPTION_NOTIFY_COMPLETED, &Completed, nullptr,
                                  MHD_OPTION_CONNECTION_LIMIT, connectionLimit,
                                  MHD_OPTION_CONNECTION_TIMEOUT, limits.idleTimeoutS,
                                  MHD_OPTION_END);
  };
  const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL;
  if (loopbackOnly) {
    m_daemon = start(flags, &loopback);
  } else {
    // IPv6 and IPv4 on one socket; a machine without IPv6 gets IPv4 alone.
    m_daemon = start(flags | MHD_USE_DUAL_STACK, nullptr);
    if (m_daemon == nullptr) {
      m_daemon = start(flags, nullptr);
    }
  }
  if (m_daemon == nullptr) {
    m_error = "port " + std::to_string(port) + " could not be opened (in use, or not allowed)";
    m_context.reset();
    return false;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
  m_port = info != nullptr ? info->port : port;
  m_error.clear();
  return true;
}

void Server::Stop() {
  if (m_daemon != nullptr) {
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
  }
  m_context.reset();
  m_port = 0;
}

}  // namespace http
