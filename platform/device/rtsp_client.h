// One RTSP session with a device: the control connection (TCP) with its
// requests and answers, authentication, and the video's RTP packets, either
// interleaved in the control connection or on a pair of UDP sockets. Every
// blocking step is bounded by a deadline and ends at once when `stop` is set.
// Owned and used by one thread at a time.
#pragma once

#include <atomic>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device/rtcp_report.h"
#include "platform/device/rtsp_auth.h"
#include "platform/device/rtsp_message.h"
#include "platform/device/rtsp_outcome.h"
#include "platform/device/sdp.h"
#include "platform/device/session_stats.h"

namespace device {

struct RtspTarget {
  std::string host;
  int port = 554;
  std::string user;      // never logged
  std::string password;  // never logged
  std::string path;      // "/ch1/main"
};

// Where a session stands. Each step moves it on from the state before it; a
// step that fails leaves it where it failed, for Close() to end.
enum class SessionState {
  kClosed,       // no connection
  kConnecting,   // connecting and asking for the description, redirects included
  kDescribed,    // the video medium is known; nothing set up
  kSetUp,        // the device holds a session for the video's transport
  kPlaying,      // RTP flows; keep-alives and reception reports are due
  kTearingDown,  // TEARDOWN on its way, the connection closing
};

class RtspClient {
 public:
  using Clock = std::chrono::steady_clock;

  // Redirects of a DESCRIBE followed in a row; a device that sends more loops.
  static constexpr int kMaxRedirects = 3;

  explicit RtspClient(const std::atomic<bool>* stop) : m_stop(stop) {}
  ~RtspClient() { Close(); }
  RtspClient(const RtspClient&) = delete;
  RtspClient& operator=(const RtspClient&) = delete;

  SessionState State() const { return m_state; }
  // Counted over every session of this client, never reset.
  SessionStats& Stats() { return m_stats; }

  // Connects and asks for the stream's description, following the device's
  // redirects: kDescribed with the video medium, or why not (kUnsupportedMedia
  // without H.264/H.265 video; kRefused with the redirect's status when the
  // redirects do not end).
  Outcome Describe(const RtspTarget& target, Clock::time_point deadline, SdpVideo* video);
  // From kDescribed: the video set up over UDP or interleaved TCP (kSetUp),
  // or why not (kTransportRefused: the device does not serve that transport).
  Outcome Setup(bool udp, Clock::time_point deadline);
  // From kSetUp: kPlaying.
  Outcome Play(Clock::time_point deadline);
  // While kPlaying: the next RTP packet of the video into `packet`; kTimedOut
  // when nothing came before the deadline; kNotFound (454) as soon as a
  // keep-alive finds the session gone. Keeps the session alive while it
  // waits (answering a new challenge when the device's nonce goes stale), and
  // reports on the reception.
  Outcome ReadRtp(std::vector<uint8_t>* packet, Clock::time_point deadline);
  // Ends the session without waiting for the device's answer.
  void Close();

 private:
  // What the front of the received bytes held.
  enum class Taken { kIncomplete, kMessage, kVideoPacket, kOtherFrame, kBad };

  bool Stopped() const;
  // Sleeps until `until`, looking at the stop flag; false when stopped.
  bool Pause(Clock::time_point until) const;
  Outcome Connect(Clock::time_point deadline);
  bool Send(const std::string& bytes);
  Outcome Exchange(const std::string& method, const std::string& uri,
                   const std::vector<std::pair<std::string, std::string>>& headers,
                   Clock::time_point deadline, RtspMessage* answer);
  Outcome AwaitAnswer(int cseq, Clock::time_point deadline, RtspMessage* answer);
  std::string Request(const std::string& method, const std::string& uri,
                      std::vector<std::pair<std::string, std::string>> headers);
  // Ok when there is something to read before the deadline.
  Outcome Wait(Clock::time_point deadline);
  Outcome ReceiveControl();
  void Consume(size_t bytes);
  // On kBad, *bad says what was wrong.
  Taken TakeControlMessage(RtspMessage* message, std::vector<uint8_t>* rtp, Outcome* bad);
  bool OpenUdpPair(int* rtpPort);
  void CloseUdp();
  // After a DESCRIBE answered with a redirect: true when it is followed (the
  // connection is closed and m_target is the new address).
  bool FollowRedirect(const RtspMessage& answer, int redirects);
  void KeepAlive();
  // An answer that came while playing, to a keep-alive: not Ok only when the
  // play cannot go on in this session.
  Outcome OnKeepAliveAnswer(const RtspMessage& answer);
  // A video packet that arrived now, for the reception report.
  void Note(const std::vector<uint8_t>& packet);
  void SendReport();

  const std::atomic<bool>* m_stop;
  SessionState m_state = SessionState::kClosed;
  SessionStats m_stats;
  RtspTarget m_target;
  RtspAuth m_auth{"", ""};
  std::string m_url;         // rtsp://host:port/path, no credentials
  std::string m_sessionUrl;  // the session's address: Content-Base, else m_url
  std::string m_controlUrl;  // the video medium's address for SETUP
  std::string m_session;     // Session id from SETUP, empty before
  int m_timeoutS = 60;       // the session's idle timeout from SETUP
  int m_cseq = 0;
  int m_tcp = -1;
  int m_udpRtp = -1;
  int m_udpRtcp = -1;
  bool m_udp = false;
  int m_rtpChannel = 0;                  // interleaved channel of RTP when over TCP
  int m_rtcpChannel = 1;                 // ... and of RTCP
  std::vector<uint8_t> m_deviceAddress;  // raw address bytes, to filter UDP senders
  sockaddr_storage m_deviceRtcp{};       // where reports go over UDP; port 0: nowhere
  int m_clockRate = 90000;               // the video's RTP clock, Hz
  RtcpReport m_report{0};
  Clock::time_point m_nextReport{};
  std::string m_in;                      // bytes received on the control connection
  size_t m_inStart = 0;                  // m_in's bytes before this are taken
  Clock::time_point m_nextKeepAlive{};
  bool m_keepAliveGetParameter = false;  // the device listed GET_PARAMETER
  const char* m_keepAliveMethod = "OPTIONS";  // of the last keep-alive sent
  int m_keepAliveCseq = 0;                    // ... and its CSeq
  bool m_reauthorising = false;      // a keep-alive answering a new challenge is on its way
  bool m_keepAliveReported = false;  // a refused keep-alive of this session was reported
};

}  // namespace device
