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
#include "platform/device/sdp.h"
#include "platform/sys/types.h"

namespace device {

struct RtspTarget {
  std::string host;
  int port = 554;
  std::string user;      // never logged
  std::string password;  // never logged
  std::string path;      // "/ch1/main"
};

class RtspClient {
 public:
  using Clock = std::chrono::steady_clock;

  // Result of SETUP besides the NET_DVR_ERR_* numbers: the device does not
  // offer the transport asked for (461).
  static constexpr DWORD kTransportRefused = 0x10000;

  // Redirects of a DESCRIBE followed in a row; a device that sends more loops.
  static constexpr int kMaxRedirects = 3;

  explicit RtspClient(const std::atomic<bool>* stop) : m_stop(stop) {}
  ~RtspClient() { Close(); }
  RtspClient(const RtspClient&) = delete;
  RtspClient& operator=(const RtspClient&) = delete;

  // Connects and asks for the stream's description, following the device's
  // redirects; NET_DVR_NOERROR with the video medium, or the reason (no
  // H.264/H.265 video, or redirects without end: NET_DVR_ERR_STREAM).
  DWORD Describe(const RtspTarget& target, Clock::time_point deadline, SdpVideo* video);
  // Sets the video up over UDP or interleaved TCP: NET_DVR_NOERROR,
  // kTransportRefused, or the reason.
  DWORD Setup(bool udp, Clock::time_point deadline);
  DWORD Play(Clock::time_point deadline);
  // The next RTP packet of the video into `packet`: 1; 0 when nothing came
  // before the deadline; -1 when the connection broke or `stop` was set.
  // Keeps the session alive while it waits, and reports on the reception.
  int ReadRtp(std::vector<uint8_t>* packet, Clock::time_point deadline);
  // Ends the session without waiting for the device's answer.
  void Close();

 private:
  bool Stopped() const;
  DWORD Connect(Clock::time_point deadline);
  bool Send(const std::string& bytes);
  DWORD Exchange(const std::string& method, const std::string& uri,
                 const std::vector<std::pair<std::string, std::string>>& headers,
                 Clock::time_point deadline, RtspMessage* answer);
  DWORD AwaitAnswer(int cseq, Clock::time_point deadline, RtspMessage* answer);
  std::string Request(const std::string& method, const std::string& uri,
                      std::vector<std::pair<std::string, std::string>> headers);
  int Wait(Clock::time_point deadline);
  int ReceiveControl();
  void Consume(size_t bytes);
  int TakeControlMessage(RtspMessage* message, std::vector<uint8_t>* rtp);
  bool OpenUdpPair(int* rtpPort);
  void CloseUdp();
  // After a DESCRIBE answered with a redirect: true when it is followed (the
  // connection is closed and m_target is the new address).
  bool FollowRedirect(const RtspMessage& answer, int redirects);
  void KeepAlive();
  // A video packet that arrived now, for the reception report.
  void Note(const std::vector<uint8_t>& packet);
  void SendReport();

  const std::atomic<bool>* m_stop;
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
};

}  // namespace device
