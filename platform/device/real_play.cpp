#include "platform/device/real_play.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/device/diagnostics.h"
#include "platform/device/play_summary.h"
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
// Within one reconnection attempt, a camera that refuses the connection (it
// is restarting its server) is asked again this often until the connect time
// has passed: a restart of a second or two then costs no full interval.
constexpr int kRefusedRetryMs = 250;

BreakCause CauseOf(const Outcome& broken) {
  switch (broken.kind) {
    case OutcomeKind::kTimedOut:
      return BreakCause::kSilent;
    case OutcomeKind::kConnectionLost:
      return BreakCause::kClosed;
    case OutcomeKind::kNotFound:
      return BreakCause::kSessionLost;
    case OutcomeKind::kMalformedReply:
    case OutcomeKind::kTooLarge:
      return BreakCause::kBadReply;
    default:
      return BreakCause::kOther;
  }
}

}  // namespace

RealPlay::RealPlay(PlayTarget target)
    : m_target(std::move(target)),
      m_udp(m_target.udp),
      m_source(&m_stop),
      m_remuxer([this](DWORD type, BYTE* data, DWORD size) { OnTsData(type, data, size); }) {}

RealPlay::~RealPlay() { Stop(); }

bool RealPlay::OnReceiveThread() { return t_onReceiveThread; }

Outcome RealPlay::Open() {
  const ConnectTime connect = CurrentConnectTime();
  const Outcome outcome =
      m_source.Open({m_target.address, m_udp.load(), connect.waitMs, connect.tries}, false);
  if (!outcome.Ok()) {
    return outcome;
  }
  m_udp.store(m_source.Udp());
  if (m_remuxer.BeginConnection(m_source.Parameters(), AVRational{1, m_source.ClockRate()}) < 0) {
    m_source.Close();
    return {OutcomeKind::kUnsupportedMedia};
  }
  return {};
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
  if (m_thread != nullptr) {
    // Beside the player's closing line; the receive thread has ended, so
    // the statistics are no longer counted.
    std::fputs(PlaySummary(m_target.handle, m_source.Stats(), m_source.ReorderTotals(),
                           m_remuxer.OutOfOrderDrops())
                   .c_str(),
               stderr);
  }
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

bool RealPlay::Reconnect() {
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(CurrentConnectTime().waitMs);
  for (;;) {
    const Outcome outcome = Open();
    if (outcome.Ok()) {
      return true;
    }
    const bool refused =
        outcome.kind == OutcomeKind::kUnreachable || outcome.kind == OutcomeKind::kConnectionLost;
    if (!refused || std::chrono::steady_clock::now() >= until || WaitForStop(kRefusedRetryMs)) {
      if (!m_stop.load()) {
        Diagnostics().Report(kDiagnoseReconnect, "reconnection failed: %s",
                             OutcomeText(outcome).c_str());
      }
      return false;
    }
  }
}

void RealPlay::Run() {
  AVPacket* packet = av_packet_alloc();
  bool streaming = packet != nullptr;  // Open() left the stream ready
  // The first attempt after a break starts at once: a camera that restarted
  // quickly is back without waiting a whole interval.
  bool firstAttempt = true;
  BreakCause cause = BreakCause::kOther;  // of the last break
  while (!m_stop.load()) {
    if (!streaming) {
      const ReconnectPolicy reconnect = CurrentReconnect();
      if (!reconnect.enabled || packet == nullptr) {
        break;
      }
      if (!firstAttempt && WaitForStop(std::max(reconnect.intervalMs, kMinReconnectIntervalMs))) {
        break;
      }
      if (firstAttempt) {
        m_source.Stats().CountReconnection(cause);
      }
      firstAttempt = false;
      streaming = Reconnect();
      if (streaming) {
        NotifyException(EXCEPTION_RECONNECT_SUCCEEDED, m_target.userId, m_target.handle);
      }
      continue;
    }
    const Outcome read = m_source.Read(packet);
    if (!read.Ok()) {
      if (!m_stop.load()) {
        Diagnostics().Report(kDiagnoseBreak, "stream broke: %s",
                             read.kind == OutcomeKind::kTimedOut
                                 ? "nothing within the read deadline"
                                 : OutcomeText(read).c_str());
      }
      m_source.Close();  // server gone, silent past the read deadline, session lost, or stopped
      streaming = false;
      firstAttempt = true;
      cause = CauseOf(read);
      continue;
    }
    if (const int written = m_remuxer.Write(packet); written < 0) {
      char text[AV_ERROR_MAX_STRING_SIZE];
      av_strerror(written, text, sizeof text);
      Diagnostics().Report(kDiagnoseRemux, "remuxer refused a picture: %s", text);
      // Data the muxer refuses (e.g. time stamps it cannot place) breaks the
      // connection; a new one starts clean at a key frame.
      m_source.Close();
      streaming = false;
      firstAttempt = true;
      cause = BreakCause::kRemuxRefused;
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
