#include "session/ReplayPlayer.h"

#include "platform/player/player.h"
#include "platform/player/presentation_speed.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"

ReplayPlayer::~ReplayPlayer() { Stop(); }

bool ReplayPlayer::Start(HistorySpan span, HWND window, double speed, std::function<void()> onEnd) {
  Stop();
  if (span.header == nullptr || span.records.empty()) {
    return false;
  }
  LONG port = -1;
  if (!PlayM4_GetPort(&port)) {
    return false;
  }
  const auto& header = *span.header;
  const double presented = speed > 0 ? speed : player::kMaxPresentationSpeed;
  if (!PlayM4_SetStreamOpenMode(port, 0) ||
      !PlayM4_OpenStream(port, header.data(), static_cast<DWORD>(header.size()), kInputBytes) ||
      !player::SetPresentationSpeed(port, presented) || !PlayM4_Play(port, window)) {
    PlayM4_FreePort(port);
    return false;
  }
  m_lPort = port;
  m_span = std::move(span);
  m_dSpeed = speed;
  m_onEnd = std::move(onEnd);
  m_bStop = false;
  m_hThread = CreateThread(&ReplayPlayer::Main, this, "ReplayThread");
  if (m_hThread == nullptr) {
    Stop();
    return false;
  }
  return true;
}

void ReplayPlayer::Stop() {
  m_bStop = true;
  CloseHandle(m_hThread);  // joins; a wait step at most
  m_hThread = nullptr;
  if (m_lPort != -1) {
    PlayM4_Stop(m_lPort);
    PlayM4_CloseStream(m_lPort);
    PlayM4_FreePort(m_lPort);
    m_lPort = -1;
  }
  m_span = HistorySpan{};
  m_onEnd = nullptr;
}

DWORD ReplayPlayer::Main(void* self) {
  static_cast<ReplayPlayer*>(self)->Feed();
  return 0;
}

bool ReplayPlayer::WaitUntil(DWORD due) {
  while (static_cast<LONG>(GetTickCount() - due) < 0) {
    if (m_bStop) {
      return false;
    }
    Sleep(kWaitStepMs);
  }
  return !m_bStop;
}

void ReplayPlayer::Feed() {
  const DWORD start = GetTickCount();
  const DWORD firstTick = m_span.records.front()->dwTick;
  // Real ms for `ms` of the stream at the replay's speed.
  auto slowed = [this](DWORD ms) {
    return m_dSpeed > 0 ? static_cast<DWORD>(ms / m_dSpeed) : DWORD{0};
  };
  for (const HistoryRecordRef& record : m_span.records) {
    if (!WaitUntil(start + slowed(record->dwTick - firstTick))) {
      return;
    }
    // A full input buffer (a burst, or a step's all-at-once feed) waits
    // for the decoder: a replay drops nothing.
    while (!PlayM4_InputData(m_lPort, record->data.data(), static_cast<DWORD>(record->data.size()))) {
      if (!WaitUntil(GetTickCount() + kWaitStepMs)) {
        return;
      }
    }
  }
  if (WaitUntil(GetTickCount() + slowed(kTailMs)) && m_onEnd) {
    m_onEnd();
  }
}
