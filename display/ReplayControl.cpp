#include "display/ReplayControl.h"

#include <QKeyEvent>

#include <algorithm>

#include "config/LocalConfig.h"
#include "display/VideoSurface.h"
#include "platform/sys/clock.h"
#include "platform/ui/handles.h"
#include "session/ClipSaver.h"
#include "session/DecThread.h"
#include "session/StreamHistory.h"
#include "session/StreamIntake.h"
#include "web/WebServer.h"

namespace {

// A picture without a time stamp is taken for the newest fed but this many:
// the decoder and the presenter's queue hold about one at 25/s.
constexpr int kShownLagPictures = 1;
constexpr int64_t kNewestPts = INT64_MAX;
// W shows the viewer address this long: time to take a phone out and scan it.
constexpr int kAddressShowMs = 20000;

bool SessionRuns() { return g_hDecThread.load() != nullptr; }

}  // namespace

QString ReplayMarker(double speed) {
  // Decimals: the dialog font has no glyph for the fractions ½, ¼ and ¾ at
  // the marker's size, and drew "½" as "1/".
  return QString::fromUtf8("回放 ") + QString::number(speed, 'g', 3) + QString::fromUtf8("×");
}

ReplayControl::ReplayControl(QWidget* window, VideoSurface* surface)
    : QObject(window), m_pSurface(surface) {
  window->installEventFilter(this);
}

ReplayControl::~ReplayControl() {
  m_replay.Stop();
  m_step.Stop();
}

bool ReplayControl::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) {
    return QObject::eventFilter(watched, event);
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  return Press(key->key(), key->isAutoRepeat()) || QObject::eventFilter(watched, event);
}

bool ReplayControl::Press(int key, bool repeat) {
  if (!SessionRuns()) {
    return false;
  }
  switch (key) {
    case Qt::Key_R:
      if (!repeat) ToggleReplay();
      return true;
    case Qt::Key_Space:
      if (!repeat) ToggleFreeze();
      return true;
    case Qt::Key_Left:
      Step(-1);  // held down: steps on
      return true;
    case Qt::Key_Right:
      Step(1);
      return true;
    case Qt::Key_S:
      if (!repeat) SaveClip();
      return true;
    case Qt::Key_W:
      if (!repeat) m_pSurface->ShowAddress(QString::fromStdString(ViewerAddress()), kAddressShowMs);
      return true;
    default:
      return false;
  }
}

void ReplayControl::ShowLive() {
  ++m_nReplay;
  m_replay.Stop();
  m_step.Stop();
  m_pSurface->ShowLive();
}

void ReplayControl::ToggleReplay() {
  if (m_pSurface->Showing() == VideoSurface::Source::kReplay) {
    ShowLive();
    return;
  }
  ShowLive();
  // The last seconds shown, which arrived one delay ago.
  const DWORD shown = ShownTick();
  const DWORD from = shown - static_cast<DWORD>(g_settings.replaySeconds) * 1000;
  const unsigned replay = m_nReplay;
  m_pSurface->ShowReplay(ReplayMarker(g_settings.replaySpeed));
  const bool started = m_replay.Start(
      g_history.SpanFromKeyBefore(from, shown), m_pSurface->ReplayWindow(), g_settings.replaySpeed,
      [this, replay] {
        // On the ReplayThread: the live picture comes back on the GUI thread,
        // unless another replay or a key took over meanwhile.
        ui::PostToGui([this, replay] {
          if (replay == m_nReplay) {
            ShowLive();
          }
        });
      });
  if (!started) {
    ShowLive();
  }
}

void ReplayControl::ToggleFreeze() {
  if (m_pSurface->Showing() == VideoSurface::Source::kFrozen) {
    ShowLive();
    return;
  }
  // The picture shown stays, a replay's too: its ports go after the freeze,
  // so that no live picture slips in before it.
  ++m_nReplay;
  m_pSurface->Freeze();
  m_replay.Stop();
  m_step.Stop();
  const int64_t shown = m_pSurface->ShownPts();
  if (shown < 0 || !g_history.NearestPts(shown, &m_llFrozenPts)) {
    // A picture without a time stamp.
    g_history.StepPts(kNewestPts, -kShownLagPictures, ShownTick(), &m_llFrozenPts);
  }
}

void ReplayControl::Step(int pictures) {
  int64_t target = 0;
  if (m_pSurface->Showing() != VideoSurface::Source::kFrozen ||
      !g_history.StepPts(m_llFrozenPts, pictures, ShownTick(), &target) ||
      target == m_llFrozenPts) {
    return;
  }
  HistorySpan span = g_history.SpanForPts(target);
  if (span.records.empty()) {
    return;
  }
  m_pSurface->ExpectStep(target);
  if (m_step.Start(std::move(span), m_pSurface->ReplayWindow(), 0, nullptr)) {
    m_llFrozenPts = target;
  }
}
