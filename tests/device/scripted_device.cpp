#include "tests/device/scripted_device.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace testing_device {
namespace {

constexpr int kPollMs = 20;  // how often the thread looks at the stop flag

bool SendAll(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string HeaderValue(const std::string& request, const std::string& name) {
  const size_t at = request.find("\r\n" + name + ":");
  if (at == std::string::npos) {
    return {};
  }
  const size_t start = request.find_first_not_of(' ', at + name.size() + 3);
  return request.substr(start, request.find("\r\n", start) - start);
}

}  // namespace

std::string SdpWithAudioFirst(int audioLines) {
  std::string sdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=scripted\r\nt=0 0\r\n";
  for (int i = 0; i < audioLines; ++i) {
    sdp += "m=audio 0 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\na=control:audio" + std::to_string(i) +
           "\r\n";
  }
  return sdp +
         "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
         "a=fmtp:96 "
         "packetization-mode=1;sprop-parameter-sets=Z0LAHtkDxWhAAAADAEAAAAwDxYuS,aMuMsg==\r\n"
         "a=control:video\r\n";
}

ScriptedDevice::ScriptedDevice(ScriptedAnswers answers) : m_answers(std::move(answers)) {
  m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      listen(m_listener, 4) == 0 &&
      getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    m_port = ntohs(address.sin_port);
  }
  m_thread = std::thread([this] { Serve(); });
}

ScriptedDevice::~ScriptedDevice() {
  m_stop.store(true);
  m_thread.join();
  close(m_listener);
}

void ScriptedDevice::Serve() {
  while (!m_stop.load()) {
    pollfd wait{m_listener, POLLIN, 0};
    if (poll(&wait, 1, kPollMs) <= 0) {
      continue;
    }
    const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) {
      Answer(client);
      close(client);
    }
  }
}

void ScriptedDevice::SendRtpTo(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(port));
  std::vector<std::vector<unsigned char>> packets = m_answers.udpPackets;
  if (packets.empty()) {
    packets.push_back({0x80, 0xE0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0x41, 0x9A});
  }
  for (const auto& rtp : packets) {
    sendto(fd, rtp.data(), rtp.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  close(fd);
}

void ScriptedDevice::Answer(int client) {
  std::string in;
  int clientRtpPort = 0;  // set by a SETUP over UDP
  while (!m_stop.load()) {
    pollfd wait{client, POLLIN, 0};
    if (poll(&wait, 1, kPollMs) <= 0) {
      continue;
    }
    char chunk[4096];
    const ssize_t n = recv(client, chunk, sizeof chunk, 0);
    if (n <= 0) {
      return;
    }
    in.append(chunk, static_cast<size_t>(n));
    size_t end;
    while ((end = in.find("\r\n\r\n")) != std::string::npos) {
      const std::string request = in.substr(0, end + 2);
      in.erase(0, end + 4);
      const std::string method = request.substr(0, request.find(' '));
      {
        std::lock_guard<std::mutex> lock(m_methodsLock);
        m_methods.push_back(method);
      }
      const std::string head = "RTSP/1.0 200 OK\r\nCSeq: " + HeaderValue(request, "CSeq") + "\r\n";
      std::string reply = head + "\r\n";
      if (method == "DESCRIBE" && m_answers.hugeBodyBytes > 0) {
        SendAll(client, head + "Content-Type: application/sdp\r\nContent-Length: " +
                            std::to_string(m_answers.hugeBodyBytes) + "\r\n\r\n");
        const std::string zeros(64 * 1024, '\0');
        for (long long sent = 0; sent < m_answers.hugeBodyBytes && !m_stop.load();
             sent += static_cast<long long>(zeros.size())) {
          if (!SendAll(client, zeros)) {
            return;  // the client gave up on it, as it should
          }
        }
        return;
      }
      if (method == "OPTIONS" && m_answers.listsGetParameter) {
        reply = head + "Public: OPTIONS, DESCRIBE, SETUP, PLAY, GET_PARAMETER, TEARDOWN\r\n\r\n";
      }
      if (method == "DESCRIBE" && !m_answers.redirectTo.empty() &&
          request.substr(0, request.find('\r')).find("/moved") == std::string::npos) {
        std::string location = m_answers.redirectTo;
        location.replace(location.find("{port}"), 6, std::to_string(m_port));
        reply = "RTSP/1.0 302 Moved Temporarily\r\nCSeq: " + HeaderValue(request, "CSeq") +
                "\r\nLocation: " + location + "\r\n\r\n";
      } else if (method == "DESCRIBE") {
        reply = head + "Content-Type: application/sdp\r\nContent-Length: " +
                std::to_string(m_answers.sdp.size()) + "\r\n\r\n" + m_answers.sdp;
      } else if (method == "SETUP") {
        m_setups.fetch_add(1);
        const std::string transport = HeaderValue(request, "Transport");
        const bool tcp = transport.find("/TCP") != std::string::npos;
        if (!tcp) {
          m_udpSetups.fetch_add(1);
          const size_t port = transport.find("client_port=");
          clientRtpPort = port == std::string::npos ? 0 : std::atoi(transport.c_str() + port + 12);
        }
        if ((tcp && m_answers.refuseTcp) || (!tcp && m_answers.refuseUdp)) {
          reply = "RTSP/1.0 461 Unsupported Transport\r\nCSeq: " + HeaderValue(request, "CSeq") +
                  "\r\n\r\n";
        } else {
          reply = head + "Session: 4711;timeout=" + std::to_string(m_answers.sessionTimeoutS) +
                  "\r\nTransport: " + transport +
                  (tcp ? "" : ";server_port=40000-40001") + "\r\n\r\n";
        }
      }
      if (!SendAll(client, reply)) {
        return;
      }
      if (method == "PLAY" && clientRtpPort > 0 && !m_answers.silentUdp) {
        SendRtpTo(clientRtpPort);
      }
    }
  }
}

}  // namespace testing_device
