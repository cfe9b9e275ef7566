// A device on 127.0.0.1 that speaks just enough RTSP for a test to shape its
// answers: the SDP it describes, which transports it refuses and with what
// status, a reply that announces a huge body or is malformed, a busy spell,
// a Digest nonce that goes stale, a keep-alive it refuses. Unless it streams
// (`streamEveryMs`), it sends no RTP over TCP and its `udpPackets` once over
// UDP after PLAY (none when `silentUdp`). Counts what it was asked.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_device {

struct ScriptedAnswers {
  std::string sdp{};            // body of DESCRIBE's answer
  bool refuseTcp = false;       // SETUP over TCP answered refuseStatus
  bool refuseUdp = false;       // SETUP over UDP answered refuseStatus
  long long hugeBodyBytes = 0;  // > 0: DESCRIBE announces this body and streams zeros
  bool silentUdp = false;       // UDP set up, but nothing ever sent
  // RTP packets sent over UDP in this order; empty: one small slice.
  std::vector<std::vector<unsigned char>> udpPackets{};
  int sessionTimeoutS = 60;      // in SETUP's answer: keep-alives come at half of it
  bool listsGetParameter = false;  // OPTIONS answered with a Public header naming it
  // Non-empty: a DESCRIBE of any address without "/moved" in it is answered
  // 302 with this Location ("{port}" becomes the device's port).
  std::string redirectTo{};
  int refuseStatus = 461;
  // > 0: after PLAY, one RTP packet (a whole picture, every 25th a key frame)
  // this often over the transport set up, while the session lives: until a
  // 454, or a session timeout without a keep-alive answered with success.
  int streamEveryMs = 0;
  // > 0: over UDP each streamed packet leaves up to this much later than its
  // turn, at random (a Wi-Fi bridge's late bursts): packets overtake each other.
  int udpJitterMs = 0;
  int keepAliveStatus = 0;  // non-zero: the first keep-alive is answered with this status
  // > 0: Digest asked for every request (the response is not checked); the
  // nonce changes this often, and one that is no longer the current one is
  // answered 401 with stale=true and the new nonce.
  int staleNonceEveryMs = 0;
  // > 0: DESCRIBEs within this long of the first are answered 503 with
  // "Retry-After: <this in whole seconds>".
  int busyForMs = 0;
  std::string describeReply{};  // non-empty: DESCRIBE answered with these bytes as they are
};

class ScriptedDevice {
 public:
  explicit ScriptedDevice(ScriptedAnswers answers);
  ~ScriptedDevice();  // stops the thread and closes every socket
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  unsigned short Port() const { return m_port; }
  int Setups() const { return m_setups.load(); }
  int UdpSetups() const { return m_udpSetups.load(); }
  int StaleRefusals() const { return m_staleRefusals.load(); }
  int KeepAlivesAnswered() const { return m_keepAlivesAnswered.load(); }  // with success
  // The methods of the requests it was sent, in order.
  std::vector<std::string> Methods() const {
    std::lock_guard<std::mutex> lock(m_methodsLock);
    return m_methods;
  }

 private:
  void Serve();
  struct Session;
  void Answer(int client);
  // The answer to one request, or empty when the connection is to end.
  std::string Reply(const std::string& request, Session* session);
  void SendRtpTo(int port);
  int Stream(int client, Session* session);

  const ScriptedAnswers m_answers;
  int m_listener = -1;
  unsigned short m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_setups{0};
  std::atomic<int> m_udpSetups{0};
  std::atomic<int> m_staleRefusals{0};
  std::atomic<int> m_keepAlivesAnswered{0};
  const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point m_busySince{};  // the first 503; the thread's own
  bool m_keepAliveRefused = false;                       // ... as is this
  mutable std::mutex m_methodsLock;
  std::vector<std::string> m_methods;  // under m_methodsLock
  std::thread m_thread;  // "scripted-device": one connection at a time
};

// An SDP whose video (H.264, payload type 96) follows `audioLines` audio
// media lines.
std::string SdpWithAudioFirst(int audioLines);

}  // namespace testing_device
