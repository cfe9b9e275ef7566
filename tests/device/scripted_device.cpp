#include "tests/device/scripted_device.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

namespace testing_device {
namespace {

using Clock = std::chrono::steady_clock;

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

// Payload type 96 with the marker set: one NAL unit, a whole picture.
std::vector<unsigned char> RtpPacket(uint16_t sequence, uint32_t time, unsigned char nal) {
  std::vector<unsigned char> packet = {0x80, 0xE0};
  for (int shift = 8; shift >= 0; shift -= 8) {
    packet.push_back(static_cast<unsigned char>(sequence >> shift));
  }
  for (int shift = 24; shift >= 0; shift -= 8) {
    packet.push_back(static_cast<unsigned char>(time >> shift));
  }
  packet.insert(packet.end(), {0, 0, 0, 1, nal, 0x9A});
  return packet;
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
    packets.push_back(RtpPacket(1, 0, 0x41));
  }
  for (const auto& rtp : packets) {
    sendto(fd, rtp.data(), rtp.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  close(fd);
}

struct ScriptedDevice::Session {
  // Streamed UDP packets held back by the jitter, by when they leave.
  std::multimap<Clock::time_point, std::vector<unsigned char>> delayed;
  std::mt19937 random{7};  // the jitter's: the same every run
  int clientRtpPort = 0;  // set by a SETUP over UDP
  int channel = -1;       // interleaved RTP channel set up over TCP
  int udp = -1;           // socket the stream goes out of over UDP
  bool playing = false;
  bool forgotten = false;  // after a 454
  Clock::time_point lastAlive{};
  Clock::time_point nextPacket{};
  uint16_t sequence = 0;
};

void ScriptedDevice::Answer(int client) {
  std::string in;
  Session session;
  while (!m_stop.load()) {
    pollfd wait{client, POLLIN, 0};
    if (poll(&wait, 1, Stream(client, &session)) <= 0) {
      continue;
    }
    char chunk[4096];
    const ssize_t n = recv(client, chunk, sizeof chunk, 0);
    if (n <= 0) {
      break;
    }
    in.append(chunk, static_cast<size_t>(n));
    for (;;) {
      if (!in.empty() && in[0] == '$') {  // the client's RTCP reports: nothing asked of us
        const size_t length = in.size() < 4 ? 0
                                            : static_cast<unsigned char>(in[2]) << 8 |
                                                  static_cast<unsigned char>(in[3]);
        if (in.size() < 4 || in.size() < 4 + length) {
          break;
        }
        in.erase(0, 4 + length);
        continue;
      }
      const size_t end = in.find("\r\n\r\n");
      if (end == std::string::npos) {
        break;
      }
      const std::string request = in.substr(0, end + 2);
      in.erase(0, end + 4);
      const std::string method = request.substr(0, request.find(' '));
      {
        std::lock_guard<std::mutex> lock(m_methodsLock);
        m_methods.push_back(method);
      }
      if (method == "DESCRIBE" && m_answers.hugeBodyBytes > 0) {
        SendAll(client, "RTSP/1.0 200 OK\r\nCSeq: " + HeaderValue(request, "CSeq") +
                            "\r\nContent-Type: application/sdp\r\nContent-Length: " +
                            std::to_string(m_answers.hugeBodyBytes) + "\r\n\r\n");
        const std::string zeros(64 * 1024, '\0');
        for (long long sent = 0; sent < m_answers.hugeBodyBytes && !m_stop.load();
             sent += static_cast<long long>(zeros.size())) {
          if (!SendAll(client, zeros)) {
            break;  // the client gave up on it, as it should
          }
        }
        in.clear();
        break;
      }
      if (!SendAll(client, Reply(request, &session))) {
        break;
      }
      if (method == "PLAY" && session.clientRtpPort > 0 && !m_answers.silentUdp &&
          m_answers.streamEveryMs == 0) {
        SendRtpTo(session.clientRtpPort);
      }
    }
  }
  if (session.udp >= 0) {
    close(session.udp);
  }
}

std::string ScriptedDevice::Reply(const std::string& request, Session* session) {
  const std::string method = request.substr(0, request.find(' '));
  const std::string cseq = "CSeq: " + HeaderValue(request, "CSeq") + "\r\n";
  const auto answer = [&](int status, const std::string& headers, const std::string& body) {
    return "RTSP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Scripted") + "\r\n" +
           cseq + headers +
           (body.empty() ? "" : "Content-Length: " + std::to_string(body.size()) + "\r\n") +
           "\r\n" + body;
  };
  const Clock::time_point now = Clock::now();
  if (m_answers.staleNonceEveryMs > 0) {
    const auto sinceStart = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start);
    const std::string nonce =
        "n" + std::to_string(sinceStart.count() / m_answers.staleNonceEveryMs);
    const std::string authorization = HeaderValue(request, "Authorization");
    const size_t at = authorization.find("nonce=\"");
    const std::string given =
        at == std::string::npos
            ? ""
            : authorization.substr(at + 7, authorization.find('"', at + 7) - at - 7);
    if (given != nonce) {
      m_staleRefusals.fetch_add(given.empty() ? 0 : 1);
      return answer(401,
                    "WWW-Authenticate: Digest realm=\"scripted\", nonce=\"" + nonce + "\"" +
                        (given.empty() ? "" : ", stale=true") + "\r\n",
                    "");
    }
  }
  const bool keepAlive = (method == "OPTIONS" || method == "GET_PARAMETER") &&
                         !HeaderValue(request, "Session").empty();
  if (keepAlive && m_answers.keepAliveStatus != 0 && !m_keepAliveRefused) {
    m_keepAliveRefused = true;
    session->forgotten = m_answers.keepAliveStatus == 454;
    return answer(m_answers.keepAliveStatus, "", "");
  }
  if (keepAlive) {
    m_keepAlivesAnswered.fetch_add(1);
    session->lastAlive = now;
  }
  if (method == "OPTIONS" && m_answers.listsGetParameter) {
    return answer(200, "Public: OPTIONS, DESCRIBE, SETUP, PLAY, GET_PARAMETER, TEARDOWN\r\n", "");
  }
  if (method == "DESCRIBE") {
    if (m_answers.busyForMs > 0 &&
        (m_busySince == Clock::time_point{} ||
         now - m_busySince < std::chrono::milliseconds(m_answers.busyForMs))) {
      if (m_busySince == Clock::time_point{}) {
        m_busySince = now;
      }
      return answer(503, "Retry-After: " + std::to_string(m_answers.busyForMs / 1000) + "\r\n", "");
    }
    if (!m_answers.describeReply.empty()) {
      return m_answers.describeReply;
    }
    if (!m_answers.redirectTo.empty() &&
        request.substr(0, request.find('\r')).find("/moved") == std::string::npos) {
      std::string location = m_answers.redirectTo;
      location.replace(location.find("{port}"), 6, std::to_string(m_port));
      return answer(302, "Location: " + location + "\r\n", "");
    }
    return answer(200, "Content-Type: application/sdp\r\n", m_answers.sdp);
  }
  if (method == "SETUP") {
    m_setups.fetch_add(1);
    const std::string transport = HeaderValue(request, "Transport");
    const bool tcp = transport.find("/TCP") != std::string::npos;
    if (tcp) {
      const size_t interleaved = transport.find("interleaved=");
      session->channel =
          interleaved == std::string::npos ? 0 : std::atoi(transport.c_str() + interleaved + 12);
    } else {
      m_udpSetups.fetch_add(1);
      const size_t port = transport.find("client_port=");
      session->clientRtpPort =
          port == std::string::npos ? 0 : std::atoi(transport.c_str() + port + 12);
    }
    if ((tcp && m_answers.refuseTcp) || (!tcp && m_answers.refuseUdp)) {
      return answer(m_answers.refuseStatus, "", "");
    }
    return answer(200,
                  "Session: 4711;timeout=" + std::to_string(m_answers.sessionTimeoutS) +
                      "\r\nTransport: " + transport + (tcp ? "" : ";server_port=40000-40001") +
                      "\r\n",
                  "");
  }
  if (method == "PLAY") {
    session->playing = true;
    session->lastAlive = now;
    session->nextPacket = now;
  }
  return answer(200, "", "");
}

// Sends the packet that is due, each a whole picture of its own; the ms to
// wait for the next one.
int ScriptedDevice::Stream(int client, Session* session) {
  const Clock::time_point now = Clock::now();
  const auto timeout = std::chrono::seconds(m_answers.sessionTimeoutS);
  if (m_answers.streamEveryMs <= 0 || !session->playing || session->forgotten ||
      now - session->lastAlive > timeout) {
    return kPollMs;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(session->clientRtpPort));
  while (!session->delayed.empty() && session->delayed.begin()->first <= now) {
    const std::vector<unsigned char>& held = session->delayed.begin()->second;
    sendto(session->udp, held.data(), held.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    session->delayed.erase(session->delayed.begin());
  }
  if (now < session->nextPacket) {
    Clock::time_point next = session->nextPacket;
    if (!session->delayed.empty()) {
      next = std::min(next, session->delayed.begin()->first);
    }
    const auto untilNext = std::chrono::ceil<std::chrono::milliseconds>(next - now);
    return static_cast<int>(std::min<long long>(untilNext.count(), kPollMs));
  }
  session->nextPacket += std::chrono::milliseconds(m_answers.streamEveryMs);
  const uint16_t s = session->sequence++;
  // 25 pictures a second at 90 kHz, a key frame each second.
  const std::vector<unsigned char> rtp = RtpPacket(s, s * 3600u, s % 25 == 0 ? 0x65 : 0x41);
  if (session->channel >= 0) {
    const char frame[4] = {'$', static_cast<char>(session->channel), 0,
                           static_cast<char>(rtp.size())};
    SendAll(client, std::string(frame, 4) + std::string(rtp.begin(), rtp.end()));
    return 0;
  }
  if (session->udp < 0) {
    session->udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  }
  if (m_answers.udpJitterMs > 0) {
    std::uniform_int_distribution<int> lateMs(0, m_answers.udpJitterMs);
    session->delayed.emplace(now + std::chrono::milliseconds(lateMs(session->random)), rtp);
    return 0;
  }
  sendto(session->udp, rtp.data(), rtp.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  return 0;
}

}  // namespace testing_device
