#include "platform/device/rtsp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <thread>

#include "platform/device/diagnostics.h"
#include "platform/device/retry_after.h"
#include "platform/device/rtsp_url.h"
#include "platform/device/text.h"

namespace device {
namespace {

// A blocking wait looks at the stop flag at least this often, so a stop
// never waits longer for a quiet device.
constexpr int kStopPollMs = 20;
// Largest interleaved frame: its length field is 16 bits.
constexpr size_t kMaxFrameBytes = 4 + 65535;
// One read from a socket: a 4K key frame arrives in a few of these.
constexpr size_t kReadChunkBytes = 64 * 1024;
// UDP receive buffer asked of the kernel: a 4K key frame (about 1 MiB) in a burst.
constexpr int kUdpReceiveBufferBytes = 4 << 20;
// A busy device (503) that names no wait is asked again after 250 ms, then
// after twice as long each time: a server still tearing down the previous
// client's pipeline is back within a few hundred ms, a recorder at its
// client limit is not asked dozens of times a second.
constexpr int kBusyBackoffStartMs = 250;
// The shortest wait taken from a Retry-After: one that asks for none is not
// asked again at the speed of the network.
constexpr int kMinBusyWaitMs = 20;
// Challenges answered in one exchange: the first, then only new nonces of a
// device that calls the last one stale.
constexpr int kMaxChallenges = 3;
// Keep-alive at half the session's timeout, but never less often than this.
constexpr int kMaxKeepAliveS = 30;

int MsUntil(RtspClient::Clock::time_point deadline) {
  // Rounded up: a wait that ends before its deadline would only be repeated.
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - RtspClient::Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, kStopPollMs));
}

// At most a line of printable ASCII: a device's text goes to a terminal.
std::string Printable(const std::string& text) {
  std::string printable = text.substr(0, 120);
  for (char& c : printable) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      c = '?';
    }
  }
  return printable;
}

std::vector<uint8_t> AddressBytes(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&v4.sin_addr);
    return {bytes, bytes + 4};
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&v6.sin6_addr);
  return {bytes, bytes + 16};
}

// "a-b" of a Transport parameter: a, or -1.
int FirstOfRange(const std::string& range) {
  if (range.empty() || range[0] < '0' || range[0] > '9') {
    return -1;
  }
  return std::atoi(range.c_str());
}

// "a-b" of a Transport parameter: b, or a + 1 when only a is given, or -1.
int SecondOfRange(const std::string& range) {
  const size_t dash = range.find('-');
  if (dash == std::string::npos) {
    const int first = FirstOfRange(range);
    return first >= 0 ? first + 1 : -1;
  }
  return FirstOfRange(range.substr(dash + 1));
}

uint32_t RandomSsrc() {
  return std::random_device{}();
}

}  // namespace

bool RtspClient::Stopped() const {
  return m_stop != nullptr && m_stop->load(std::memory_order_relaxed);
}

bool RtspClient::Pause(Clock::time_point until) const {
  while (!Stopped() && Clock::now() < until) {
    std::this_thread::sleep_for(
        std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(kStopPollMs)));
  }
  return !Stopped();
}

Outcome RtspClient::Connect(Clock::time_point deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(m_target.host.c_str(), std::to_string(m_target.port).c_str(), &hints, &found) !=
      0) {
    return {OutcomeKind::kUnreachable};
  }
  Outcome failed{OutcomeKind::kUnreachable};
  for (addrinfo* at = found; at != nullptr && m_tcp < 0; at = at->ai_next) {
    const int fd = socket(at->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      failed = {OutcomeKind::kNoResources};
      continue;
    }
    if (connect(fd, at->ai_addr, at->ai_addrlen) < 0 && errno != EINPROGRESS) {
      close(fd);
      continue;
    }
    pollfd wait{fd, POLLOUT, 0};
    int ready = 0;
    while (!Stopped() && Clock::now() < deadline &&
           (ready = poll(&wait, 1, MsUntil(deadline))) == 0) {
    }
    int failure = 0;
    socklen_t length = sizeof failure;
    if (ready <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) < 0 || failure != 0) {
      failed = {Stopped()    ? OutcomeKind::kStopped
                : ready <= 0 ? OutcomeKind::kTimedOut
                             : OutcomeKind::kUnreachable};
      close(fd);
      continue;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    m_deviceAddress = AddressBytes(peer);
    m_tcp = fd;
  }
  freeaddrinfo(found);
  return m_tcp >= 0 ? Outcome{} : failed;
}

bool RtspClient::Send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(m_tcp, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd wait{m_tcp, POLLOUT, 0};
      if (Stopped() || poll(&wait, 1, kStopPollMs * 50) <= 0) {
        return false;  // a device that takes no request for a second is gone
      }
      continue;
    }
    return false;
  }
  return true;
}

std::string RtspClient::Request(const std::string& method, const std::string& uri,
                                std::vector<std::pair<std::string, std::string>> headers) {
  if (!m_session.empty()) {
    headers.emplace_back("Session", m_session);
  }
  const std::string authorization = m_auth.Authorization(method, uri);
  if (!authorization.empty()) {
    headers.emplace_back("Authorization", authorization);
  }
  ++m_stats.requestsSent;
  return BuildRtspRequest(method, uri, ++m_cseq, headers);
}

// Takes what the control connection has (perhaps nothing yet).
Outcome RtspClient::ReceiveControl() {
  if (m_in.size() - m_inStart >= kMaxRtspMessageBytes + kMaxFrameBytes) {
    return {OutcomeKind::kTooLarge};  // the device sends more than any message may hold
  }
  char chunk[kReadChunkBytes];
  const ssize_t n = recv(m_tcp, chunk, sizeof chunk, 0);
  if (n > 0) {
    m_in.append(chunk, static_cast<size_t>(n));
    return {};
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    return {};
  }
  return {OutcomeKind::kConnectionLost};
}

void RtspClient::Consume(size_t bytes) {
  m_inStart += bytes;
  // Taken bytes are dropped in bulk, not after every frame: one move per
  // read chunk instead of one per RTP packet.
  if (m_inStart == m_in.size()) {
    m_in.clear();
    m_inStart = 0;
  } else if (m_inStart >= kReadChunkBytes) {
    m_in.erase(0, m_inStart);
    m_inStart = 0;
  }
}

// Takes one message (into *message) or interleaved frame (the video's RTP
// into *rtp) from the front of m_in.
RtspClient::Taken RtspClient::TakeControlMessage(RtspMessage* message, std::vector<uint8_t>* rtp,
                                                 Outcome* bad) {
  const std::string_view in = std::string_view(m_in).substr(m_inStart);
  if (in.empty()) {
    return Taken::kIncomplete;
  }
  if (in[0] == '$') {
    if (in.size() < 4) {
      return Taken::kIncomplete;
    }
    const auto channel = static_cast<uint8_t>(in[1]);
    const size_t length = static_cast<uint8_t>(in[2]) << 8 | static_cast<uint8_t>(in[3]);
    if (in.size() < 4 + length) {
      return Taken::kIncomplete;
    }
    const bool video = !m_udp && channel == m_rtpChannel && rtp != nullptr;
    if (video) {
      rtp->assign(in.begin() + 4, in.begin() + 4 + static_cast<long>(length));
    }
    Consume(4 + length);
    return video ? Taken::kVideoPacket : Taken::kOtherFrame;
  }
  size_t consumed = 0;
  std::string_view problem;
  switch (ParseRtspMessage(in, message, &consumed, &problem)) {
    case ParseResult::kIncomplete:
      return Taken::kIncomplete;
    case ParseResult::kComplete:
      Consume(consumed);
      return Taken::kMessage;
    case ParseResult::kTooLarge:
      *bad = {OutcomeKind::kTooLarge};
      return Taken::kBad;
    case ParseResult::kInvalid:
      break;
  }
  *bad = {OutcomeKind::kMalformedReply};
  bad->problem = problem;
  return Taken::kBad;
}

// Waits for the control connection (and the UDP sockets while playing over
// UDP) until the deadline.
Outcome RtspClient::Wait(Clock::time_point deadline) {
  while (!Stopped()) {
    if (Clock::now() >= deadline) {
      return {OutcomeKind::kTimedOut};
    }
    pollfd fds[3] = {{m_tcp, POLLIN, 0}, {m_udpRtp, POLLIN, 0}, {m_udpRtcp, POLLIN, 0}};
    const int ready = poll(fds, m_udpRtp >= 0 ? 3 : 1, MsUntil(deadline));
    if (ready < 0 && errno != EINTR) {
      return {OutcomeKind::kConnectionLost};
    }
    if (ready > 0) {
      return {};
    }
  }
  return {OutcomeKind::kStopped};
}

// Waits for the answer with CSeq `cseq` (a device that leaves CSeq out is
// taken at its word): Ok once *answer holds it.
Outcome RtspClient::AwaitAnswer(int cseq, Clock::time_point deadline, RtspMessage* answer) {
  for (;;) {
    Outcome bad;
    const Taken taken = TakeControlMessage(answer, nullptr, &bad);
    if (taken == Taken::kBad) {
      Diagnostics().Report(kDiagnoseAnswer, "%s", OutcomeText(bad).c_str());
      return bad;
    }
    if (taken == Taken::kMessage && answer->status != 0) {
      m_stats.CountAnswer(answer->status);
      const std::string answered = answer->Header("CSeq");
      if (answered.empty() || std::atoi(answered.c_str()) == cseq) {
        return {};
      }
    }
    if (taken != Taken::kIncomplete) {
      continue;  // an older answer, a request of the device, or a frame: not ours
    }
    Outcome ready = Wait(deadline);
    if (ready.Ok()) {
      ready = ReceiveControl();
    }
    if (!ready.Ok()) {
      return ready;
    }
  }
}

Outcome RtspClient::Exchange(const std::string& method, const std::string& uri,
                             const std::vector<std::pair<std::string, std::string>>& headers,
                             Clock::time_point deadline, RtspMessage* answer) {
  int challenges = 0;
  int backoffMs = kBusyBackoffStartMs;
  for (;;) {
    if (!Send(Request(method, uri, headers))) {
      return {OutcomeKind::kConnectionLost};
    }
    Outcome outcome = AwaitAnswer(m_cseq, deadline, answer);
    if (!outcome.Ok()) {
      return outcome;
    }
    outcome = OutcomeOfAnswer(method, *answer);
    if (outcome.kind == OutcomeKind::kBusy) {
      // Busy (a server still tearing down the previous client's pipeline, a
      // recorder at its client limit): asked again after the wait it names,
      // or the back-off, within the deadline.
      const std::optional<int> asked =
          RetryAfterMs(answer->Header("Retry-After"), std::chrono::system_clock::now());
      outcome.retryAfterMs = asked.value_or(-1);
      const int waitMs = asked ? std::max(*asked, kMinBusyWaitMs) : backoffMs;
      backoffMs = std::min(backoffMs * 2, kMaxRetryAfterMs);
      if (!Pause(std::min(deadline, Clock::now() + std::chrono::milliseconds(waitMs)))) {
        return {OutcomeKind::kStopped};
      }
      if (Clock::now() < deadline) {
        continue;
      }
    }
    // The device's challenge is answered once; later ones only when it says
    // the nonce answered went stale.
    const bool answerable =
        outcome.kind == OutcomeKind::kStaleNonce ||
        (outcome.kind == OutcomeKind::kUnauthorised && answer->status == 401 && challenges == 0);
    if (answerable && challenges < kMaxChallenges &&
        m_auth.Challenge(answer->AllHeaders("WWW-Authenticate"))) {
      ++challenges;
      continue;
    }
    if (!outcome.Ok()) {
      Diagnostics().Report(kDiagnoseAnswer, "%s answered \"%s\"", method.c_str(),
                           Printable(answer->startLine).c_str());
    }
    return outcome;
  }
}

bool RtspClient::FollowRedirect(const RtspMessage& answer, int redirects) {
  const int status = answer.status;
  RtspTarget next = m_target;
  if ((status < 301 || status > 303) && status != 307 && status != 308) {
    return false;
  }
  if (redirects >= kMaxRedirects ||
      !ParseRtspUrl(answer.Header("Location"), &next.host, &next.port, &next.path)) {
    return false;
  }
  Diagnostics().Report(kDiagnoseRedirect, "DESCRIBE redirected to %s:%d%s", next.host.c_str(),
                       next.port, next.path.c_str());
  if (next.host != m_target.host) {
    m_auth.RefuseBasic();  // the password never goes in the clear to another host
  }
  Close();
  m_target = next;
  return true;
}

Outcome RtspClient::Describe(const RtspTarget& target, Clock::time_point deadline,
                             SdpVideo* video) {
  Close();
  m_target = target;
  m_auth = RtspAuth(target.user, target.password);
  RtspMessage answer;
  for (int redirects = 0;; ++redirects) {
    m_state = SessionState::kConnecting;
    answer = RtspMessage{};
    m_url = BuildRtspUrl(m_target.host, m_target.port, "", "", m_target.path);
    Outcome outcome = Connect(deadline);
    if (outcome.Ok()) {
      outcome = Exchange("DESCRIBE", m_url, {{"Accept", "application/sdp"}}, deadline, &answer);
    }
    if (outcome.Ok()) {
      break;
    }
    if (!FollowRedirect(answer, redirects)) {
      return outcome;
    }
  }
  if (!ParseSdpVideo(answer.body, video)) {
    return {OutcomeKind::kUnsupportedMedia};  // no H.264 or H.265 video to show
  }
  std::string base = answer.Header("Content-Base");
  if (base.empty()) {
    base = answer.Header("Content-Location");
  }
  m_sessionUrl = base.empty() ? m_url : base;
  m_controlUrl = ResolveControl(m_sessionUrl, video->control);
  m_clockRate = video->clockRate > 0 ? video->clockRate : 90000;
  m_state = SessionState::kDescribed;
  return {};
}

bool RtspClient::OpenUdpPair(int* rtpPort) {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(m_tcp, reinterpret_cast<sockaddr*>(&local), &length) < 0) {
    return false;
  }
  // RTP on an even port, RTCP on the next one, both on the interface that
  // reaches the device (never all interfaces). A few tries find a free pair.
  for (int attempt = 0; attempt < 16; ++attempt) {
    auto rtpAddress = local;
    reinterpret_cast<sockaddr_in&>(rtpAddress).sin_port = 0;  // same offset for IPv6
    const int rtp = socket(local.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (rtp < 0 || bind(rtp, reinterpret_cast<sockaddr*>(&rtpAddress), length) < 0 ||
        getsockname(rtp, reinterpret_cast<sockaddr*>(&rtpAddress), &length) < 0) {
      if (rtp >= 0) {
        close(rtp);
      }
      return false;
    }
    const int port = ntohs(reinterpret_cast<sockaddr_in&>(rtpAddress).sin_port);
    if (port % 2 != 0 || port == 65534) {
      close(rtp);
      continue;
    }
    auto rtcpAddress = rtpAddress;
    reinterpret_cast<sockaddr_in&>(rtcpAddress).sin_port = htons(static_cast<uint16_t>(port + 1));
    const int rtcp = socket(local.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (rtcp < 0 || bind(rtcp, reinterpret_cast<sockaddr*>(&rtcpAddress), length) < 0) {
      if (rtcp >= 0) {
        close(rtcp);
      }
      close(rtp);
      continue;
    }
    setsockopt(rtp, SOL_SOCKET, SO_RCVBUF, &kUdpReceiveBufferBytes, sizeof kUdpReceiveBufferBytes);
    m_udpRtp = rtp;
    m_udpRtcp = rtcp;
    *rtpPort = port;
    return true;
  }
  return false;
}

Outcome RtspClient::Setup(bool udp, Clock::time_point deadline) {
  std::string transport;
  int rtpPort = 0;
  if (udp) {
    if (!OpenUdpPair(&rtpPort)) {
      return {OutcomeKind::kNoResources};
    }
    transport = "RTP/AVP;unicast;client_port=" + std::to_string(rtpPort) + "-" +
                std::to_string(rtpPort + 1);
  } else {
    transport = "RTP/AVP/TCP;unicast;interleaved=0-1";
  }
  RtspMessage answer;
  const Outcome outcome =
      Exchange("SETUP", m_controlUrl, {{"Transport", transport}}, deadline, &answer);
  if (!outcome.Ok()) {
    CloseUdp();
    return outcome;
  }
  const std::string session = answer.Header("Session");
  m_session = session.substr(0, session.find(';'));
  const int timeout = std::atoi(HeaderParameter(session, "timeout").c_str());
  m_timeoutS = timeout > 0 ? timeout : 60;
  const std::string answered = answer.Header("Transport");
  if (!udp) {
    const std::string channels = HeaderParameter(answered, "interleaved");
    const int channel = FirstOfRange(channels);
    m_rtpChannel = channel >= 0 && channel < 256 ? channel : 0;
    const int rtcpChannel = SecondOfRange(channels);
    m_rtcpChannel = rtcpChannel >= 0 && rtcpChannel < 256 ? rtcpChannel : m_rtpChannel + 1;
  } else {
    // The device's RTCP port; a device that names none gets no reports.
    socklen_t length = sizeof m_deviceRtcp;
    getpeername(m_tcp, reinterpret_cast<sockaddr*>(&m_deviceRtcp), &length);
    const int port = SecondOfRange(HeaderParameter(answered, "server_port"));
    reinterpret_cast<sockaddr_in&>(m_deviceRtcp).sin_port =  // same offset for IPv6
        htons(static_cast<uint16_t>(port > 0 && port < 65536 ? port : 0));
  }
  m_report = RtcpReport(RandomSsrc());
  m_udp = udp;
  m_state = SessionState::kSetUp;
  return {};
}

Outcome RtspClient::Play(Clock::time_point deadline) {
  RtspMessage answer;
  // Aggregate control: the session's address, as the description gave it.
  const Outcome outcome =
      Exchange("PLAY", m_sessionUrl, {{"Range", "npt=0.000-"}}, deadline, &answer);
  if (!outcome.Ok()) {
    return outcome;
  }
  m_nextKeepAlive =
      Clock::now() + std::chrono::seconds(std::clamp(m_timeoutS / 2, 1, kMaxKeepAliveS));
  m_nextReport = Clock::now() + std::chrono::milliseconds(RtcpReport::kIntervalMs);
  m_state = SessionState::kPlaying;
  return {};
}

void RtspClient::KeepAlive() {
  if (m_state != SessionState::kPlaying || Clock::now() < m_nextKeepAlive) {
    return;
  }
  // OPTIONS within the session: every device answers it, and most take it as
  // a sign of life. One that lists GET_PARAMETER in its answer is kept alive
  // with that from then on, the request made for it. The reading loop takes
  // the answer (OnKeepAliveAnswer).
  m_keepAliveMethod = m_keepAliveGetParameter ? "GET_PARAMETER" : "OPTIONS";
  Send(Request(m_keepAliveMethod, m_sessionUrl, {}));
  m_keepAliveCseq = m_cseq;
  m_nextKeepAlive =
      Clock::now() + std::chrono::seconds(std::clamp(m_timeoutS / 2, 1, kMaxKeepAliveS));
}

Outcome RtspClient::OnKeepAliveAnswer(const RtspMessage& answer) {
  m_stats.CountAnswer(answer.status);
  const std::string cseq = answer.Header("CSeq");
  if (!cseq.empty() && std::atoi(cseq.c_str()) != m_keepAliveCseq) {
    return {};  // a late answer to an earlier request
  }
  const Outcome outcome = OutcomeOfAnswer(m_keepAliveMethod, answer);
  if (outcome.Ok()) {
    m_reauthorising = false;
    if (ListHolds(answer.Header("Public"), "GET_PARAMETER")) {
      m_keepAliveGetParameter = true;
    }
    return {};
  }
  ++m_stats.keepAliveFailures;
  if ((outcome.kind == OutcomeKind::kStaleNonce || outcome.kind == OutcomeKind::kUnauthorised) &&
      m_auth.Challenge(answer.AllHeaders("WWW-Authenticate"))) {
    // The device's nonce went stale (or it asks for the credentials again):
    // the next keep-alive answers the new challenge. It goes at once, the
    // first time in a row, so that the session is renewed within its
    // timeout; a device that refuses that one too waits for the interval.
    if (!m_reauthorising) {
      m_reauthorising = true;
      m_nextKeepAlive = Clock::now();
    }
    return {};
  }
  if (outcome.kind == OutcomeKind::kNotFound && outcome.status == 454) {
    return outcome;  // the device forgot the session: no use waiting for the read deadline
  }
  if (m_keepAliveGetParameter && (outcome.status == 405 || outcome.status == 501)) {
    m_keepAliveGetParameter = false;  // listed but not served: back to OPTIONS
  }
  if (!m_keepAliveReported) {
    m_keepAliveReported = true;
    Diagnostics().Report(kDiagnoseKeepAlive, "keep-alive %s answered \"%s\"; play goes on",
                         m_keepAliveMethod, Printable(answer.startLine).c_str());
  }
  return {};
}

void RtspClient::Note(const std::vector<uint8_t>& packet) {
  const auto sinceEpoch = Clock::now().time_since_epoch();
  const auto arrival = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count() *
                       m_clockRate / 1000000;
  m_report.Received(packet.data(), packet.size(), static_cast<uint32_t>(arrival));
}

void RtspClient::SendReport() {
  if (Clock::now() < m_nextReport) {
    return;
  }
  m_nextReport = Clock::now() + std::chrono::milliseconds(RtcpReport::kIntervalMs);
  const std::vector<uint8_t> report = m_report.Build();
  if (report.empty()) {
    return;
  }
  if (!m_udp) {
    const char frame[4] = {'$', static_cast<char>(m_rtcpChannel),
                           static_cast<char>(report.size() >> 8), static_cast<char>(report.size())};
    Send(std::string(frame, sizeof frame) + std::string(report.begin(), report.end()));
  } else if (reinterpret_cast<const sockaddr_in&>(m_deviceRtcp).sin_port != 0) {
    sendto(m_udpRtcp, report.data(), report.size(), 0,
           reinterpret_cast<const sockaddr*>(&m_deviceRtcp),
           m_deviceRtcp.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
  }
}

Outcome RtspClient::ReadRtp(std::vector<uint8_t>* packet, Clock::time_point deadline) {
  for (;;) {
    KeepAlive();
    SendReport();
    RtspMessage message;
    Outcome bad;
    const Taken taken = TakeControlMessage(&message, packet, &bad);
    if (taken == Taken::kBad) {
      return bad;
    }
    if (taken == Taken::kVideoPacket) {
      Note(*packet);
      return {};
    }
    if (taken == Taken::kMessage && message.status != 0) {
      if (const Outcome ended = OnKeepAliveAnswer(message); !ended.Ok()) {
        return ended;
      }
    }
    if (taken != Taken::kIncomplete) {
      continue;  // the device's own request, or another frame
    }
    if (m_udp) {
      sockaddr_storage from{};
      socklen_t length = sizeof from;
      packet->resize(kMaxFrameBytes);
      const ssize_t n = recvfrom(m_udpRtp, packet->data(), packet->size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
      if (n > 0 && AddressBytes(from) == m_deviceAddress) {
        packet->resize(static_cast<size_t>(n));
        Note(*packet);
        return {};
      }
      char rtcp[2048];
      while (recv(m_udpRtcp, rtcp, sizeof rtcp, 0) > 0) {
        // The device's sender reports carry nothing we use.
      }
      if (n > 0) {
        continue;  // from another sender: not the device's stream
      }
    }
    // Not past the next keep-alive or report: they are due whether or not
    // the device sends anything meanwhile.
    Outcome ready = Wait(std::min({deadline, m_nextKeepAlive, m_nextReport}));
    if (ready.kind == OutcomeKind::kTimedOut && Clock::now() < deadline) {
      continue;
    }
    if (ready.Ok()) {
      ready = ReceiveControl();
    }
    if (!ready.Ok()) {
      return ready;
    }
  }
}

void RtspClient::CloseUdp() {
  for (int* fd : {&m_udpRtp, &m_udpRtcp}) {
    if (*fd >= 0) {
      close(*fd);
      *fd = -1;
    }
  }
}

void RtspClient::Close() {
  if (m_tcp >= 0) {
    if (m_state == SessionState::kSetUp || m_state == SessionState::kPlaying) {
      m_state = SessionState::kTearingDown;
      Send(Request("TEARDOWN", m_sessionUrl, {}));  // not waited for: the device may be gone
    }
    close(m_tcp);
    m_tcp = -1;
  }
  CloseUdp();
  m_session.clear();
  m_in.clear();
  m_inStart = 0;
  m_udp = false;
  m_keepAliveGetParameter = false;
  m_reauthorising = false;
  m_keepAliveReported = false;
  m_cseq = 0;
  m_state = SessionState::kClosed;
}

}  // namespace device
