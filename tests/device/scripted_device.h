// A device on 127.0.0.1 that speaks just enough RTSP for a test to shape its
// answers: the SDP it describes, which transports it refuses (461), a reply
// that announces a huge body. Over TCP it never sends RTP; over UDP it sends
// its packets after PLAY unless `silentUdp`. Counts what it was asked.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_device {

struct ScriptedAnswers {
  std::string sdp;              // body of DESCRIBE's answer
  bool refuseTcp = false;       // SETUP over TCP answered 461
  bool refuseUdp = false;       // SETUP over UDP answered 461
  long long hugeBodyBytes = 0;  // > 0: DESCRIBE announces this body and streams zeros
  bool silentUdp = false;       // UDP set up, but nothing ever sent
  // RTP packets sent over UDP in this order; empty: one small slice.
  std::vector<std::vector<unsigned char>> udpPackets{};
  int sessionTimeoutS = 60;      // in SETUP's answer: keep-alives come at half of it
  bool listsGetParameter = false;  // OPTIONS answered with a Public header naming it
  // Non-empty: a DESCRIBE of any address without "/moved" in it is answered
  // 302 with this Location ("{port}" becomes the device's port).
  std::string redirectTo{};
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
  // The methods of the requests it was sent, in order.
  std::vector<std::string> Methods() const {
    std::lock_guard<std::mutex> lock(m_methodsLock);
    return m_methods;
  }

 private:
  void Serve();
  void Answer(int client);
  void SendRtpTo(int port);

  const ScriptedAnswers m_answers;
  int m_listener = -1;
  unsigned short m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_setups{0};
  std::atomic<int> m_udpSetups{0};
  mutable std::mutex m_methodsLock;
  std::vector<std::string> m_methods;  // under m_methodsLock
  std::thread m_thread;  // "scripted-device": one connection at a time
};

// An SDP whose video (H.264, payload type 96) follows `audioLines` audio
// media lines.
std::string SdpWithAudioFirst(int audioLines);

}  // namespace testing_device
