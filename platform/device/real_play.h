// One real play: its RTSP connection, its remuxer and its named receive thread
// ("dvr-receive"), which delivers the stream to the data callback and
// reconnects when the stream breaks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/device/device.h"
#include "platform/device/rtsp_source.h"
#include "platform/device/ts_remuxer.h"

namespace device {

struct PlayTarget {
  LONG handle;  // real-play handle given to the callbacks
  LONG userId;  // login handle given to the exception callback
  RtspTarget address;
  bool udp;  // the link mode asked for
  REALDATACALLBACK callback;
  void* user;
};

class RealPlay {
 public:
  explicit RealPlay(PlayTarget target);
  ~RealPlay();  // stops the thread if still running
  RealPlay(const RealPlay&) = delete;
  RealPlay& operator=(const RealPlay&) = delete;

  // Opens the stream within the connect time on the calling thread and
  // prepares the remuxer for it (kUnsupportedMedia when it refuses).
  Outcome Open();
  // Starts the receive thread; false when no thread could start.
  bool Start();
  // Ends the receive thread and waits for it: no callback runs after return.
  // A play that was started then writes its closing line of statistics.
  void Stop();

  LONG UserId() const { return m_target.userId; }
  // The link mode the stream came over: 1 UDP, 0 TCP.
  DWORD LinkMode() const { return m_udp.load() ? 1 : 0; }
  // True on a receive thread of this layer (where Stop must not be called).
  static bool OnReceiveThread();

 private:
  static DWORD ThreadMain(void* self);
  void Run();
  bool WaitForStop(int ms);  // true when stopped during the wait
  bool Reconnect();
  void OnTsData(DWORD type, BYTE* data, DWORD size);

  PlayTarget m_target;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_udp{false};  // the transport in use; reconnections keep it
  std::mutex m_waitMutex;          // with m_wake: interruptible reconnect wait
  std::condition_variable m_wake;
  RtspSource m_source;
  TsRemuxer m_remuxer;
  HANDLE m_thread = nullptr;
};

}  // namespace device
