#include "platform/device/real_play.h"

#include <algorithm>
#include <chrono>

#include "platform/device/settings.h"
#include "platform/sys/thread.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace device {
namespace {

thread_local bool t_onReceiveThread = false;

// Below this a camera that is gone would be asked many times a second.
constexpr int kMinReconnectIntervalMs = 100;

SourceRequest RequestFor(const PlayTarget& target) {
  const ConnectTime connect = CurrentConnectTime();
  return SourceRequest{target.url, target.udp, connect.waitMs, connect.tries};
}

}  // namespace

RealPlay::RealPlay(PlayTarget target)
    : m_target(std::move(target)),
      m_source(&m_stop),
      m_remuxer([this](DWORD type, BYTE* data, DWORD size) { OnTsData(type, data, size); }) {}

RealPlay::~RealPlay() { Stop(); }

bool RealPlay::OnReceiveThread() { return t_onReceiveThread; }

DWORD RealPlay::Open() {
  const DWORD error = m_source.Open(RequestFor(m_target), false);
  if (error != NET_DVR_NOERROR) {
    return error;
  }
  const AVStream* video = m_source.Video();
  if (m_remuxer.BeginConnection(video->codecpar, video->time_base) < 0) {
    m_source.Close();
    return NET_DVR_ERR_STREAM;
  }
  return NET_DVR_NOERROR;
}

bool RealPlay::Start() {
  m_thread = CreateThread(&RealPlay::ThreadMain, this, "dvr-receive");
  return m_thread != nullptr;
}

void RealPlay::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_waitMutex);
    m_stop.store(true);
  }
  m_wake.notify_all();
  // The stop flag interrupts a blocking read or open at once; a callback in
  // progress is waited for.
  CloseHandle(m_thread);
  m_thread = nullptr;
}

DWORD RealPlay::ThreadMain(void* self) {
  t_onReceiveThread = true;
  static_cast<RealPlay*>(self)->Run();
  return 0;
}

bool RealPlay::WaitForStop(int ms) {
  std::unique_lock<std::mutex> lock(m_waitMutex);
  return m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void RealPlay::Run() {
  AVPacket* packet = av_packet_alloc();
  bool streaming = packet != nullptr;  // Open() left the stream ready
  while (!m_stop.load()) {
    if (!streaming) {
      const ReconnectPolicy reconnect = CurrentReconnect();
      if (!reconnect.enabled || packet == nullptr) {
        break;
      }
      if (WaitForStop(std::max(reconnect.intervalMs, kMinReconnectIntervalMs))) {
        break;
      }
      streaming = Open() == NET_DVR_NOERROR;
      if (streaming) {
        NotifyException(EXCEPTION_RECONNECT_SUCCEEDED, m_target.userId, m_target.handle);
      }
      continue;
    }
    if (m_source.Read(packet) < 0) {
      m_source.Close();  // server gone, silent past the read deadline, or stopped
      streaming = false;
      continue;
    }
    if (m_remuxer.Write(packet) < 0) {
      // Data the muxer refuses (e.g. time stamps it cannot place) breaks the
      // connection; a new one starts clean at a key frame.
      m_source.Close();
      streaming = false;
    }
  }
  m_source.Close();
  av_packet_free(&packet);
}

void RealPlay::OnTsData(DWORD type, BYTE* data, DWORD size) {
  if (m_stop.load() || m_target.callback == nullptr) {
    return;
  }
  m_target.callback(m_target.handle, type, data, size, m_target.user);
}

}  // namespace device
