// The HTTP server on loopback, as a hostile or careless client meets it: too
// many clients, an oversized head or body, a request that is no HTTP, a
// handler that throws, a client that says nothing. Each gets its answer (or
// its connection closed) and the server goes on serving the next client.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/http/server.h"
#include "tests/device/device_test_support.h"
#include "tests/web/http_client.h"

namespace {

using testing_device::WaitFor;
using webtest::Client;
using webtest::Get;
using webtest::kReplyBoundMs;
using webtest::Status;

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    http::Limits limits;
    limits.idleTimeoutS = 1;  // the program's is 10 s; the rule is the same
    ASSERT_TRUE(m_server.Start(0, true, [this](const http::Request& r) { return Answer(r); },
                               limits))
        << m_server.Error();
  }

  http::Response Answer(const http::Request& request) {
    if (request.path == "/throw") {
      throw std::runtime_error("a handler's failure");
    }
    http::Response response;
    if (request.path == "/pieces") {
      for (const std::string& part : m_parts) {
        auto kept = std::make_shared<std::string>(part);
        response.pieces.push_back(
            {kept, reinterpret_cast<const uint8_t*>(kept->data()), kept->size()});
      }
      return response;
    }
    response.body = request.method + " " + request.path + " q=" +
                    (request.query.count("q") ? request.query.at("q") : "") + " body=" +
                    std::to_string(request.body.size()) + " agent=" +
                    (request.headers.count("user-agent") ? request.headers.at("user-agent") : "");
    return response;
  }

  // Whether the server still answers an ordinary request.
  bool StillServes() {
    Client client(m_server.Port());
    client.Send(Get("/ok?q=%41b", "User-Agent: t\r\n"));
    const std::string reply = client.ReadAll();
    return Status(reply) == 200 && reply.find("GET /ok q=Ab body=0 agent=t") != std::string::npos;
  }

  std::vector<std::string> m_parts = {std::string(100000, 'a'), std::string(1, 'b'),
                                      std::string(150000, 'c')};
  http::Server m_server;
};

TEST_F(HttpServerTest, BadRequestsAreAnsweredAndTheServerGoesOn) {
  ASSERT_TRUE(StillServes());
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  const std::vector<Case> cases = {
      {"head over 8 KiB", Get("/x", "X-Filler: " + std::string(9000, 'f') + "\r\n"), 431},
      {"body over the bound",
       "POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n" +
           std::string(5000, 'b'),
       413},
      {"not HTTP at all (a TLS greeting)", "\x16\x03\x01\x02 hello\r\n\r\n", 400},
      {"a length that is no number",
       "GET /x HTTP/1.1\r\nHost: h\r\nContent-Length: abc\r\nConnection: close\r\n\r\n", 400},
      {"an HTTP from the future", "GET /x HTTP/9.9\r\nHost: h\r\n\r\n", 505},
      {"a handler that throws", Get("/throw"), 500},
  };
  for (const Case& c : cases) {
    Client client(m_server.Port());
    client.Send(c.request);
    EXPECT_EQ(Status(client.ReadAll()), c.status) << c.name;
    EXPECT_TRUE(StillServes()) << "after " << c.name;
  }
}

TEST_F(HttpServerTest, ABodyOfSharedPiecesArrivesWholeAndInOrder) {
  Client client(m_server.Port());
  client.Send(Get("/pieces"));
  const std::string reply = client.ReadAll();
  ASSERT_EQ(Status(reply), 200);
  const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
  EXPECT_EQ(body, m_parts[0] + m_parts[1] + m_parts[2]);
}

TEST_F(HttpServerTest, TheClientBeyondTheBoundGets503AndASilentOneIsClosed) {
  constexpr int kClients = 32;
  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < kClients; ++i) {
    idle.push_back(std::make_unique<Client>(m_server.Port()));
    ASSERT_TRUE(idle.back()->Connected());
  }
  // The server takes connections in as it polls: ask until all are in.
  int status = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        Client probe(m_server.Port());
        probe.Send(Get("/x"));
        status = Status(probe.ReadAll());
        return status == 503;
      },
      kReplyBoundMs))
      << "the " << kClients + 1 << "th client got " << status;
  // The idle ones say nothing: each is closed after the idle time, which
  // makes room again.
  for (const auto& client : idle) {
    EXPECT_EQ(client->ReadAll(), "") << "no answer to nothing";
    EXPECT_TRUE(client->ClosedByServer());
  }
  EXPECT_TRUE(StillServes());
}

}  // namespace
