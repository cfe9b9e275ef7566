// The coach's keys on the display window, read as the window's own key events
// (only while it has the keyboard focus, so typing in other programs is never
// caught): R replays the last "replaySeconds" slowed to "replaySpeed", Space
// freezes the picture and Left/Right then step through the stream history, S
// keeps a clip, W shows the web screens' address and its QR code. They do nothing while no session runs; Escape and C stay with
// the system-wide watcher.
#pragma once

#include <QObject>
#include <QString>

#include "session/ReplayPlayer.h"

class VideoSurface;

class ReplayControl : public QObject {
 public:
  // surface must outlive this object's use; watches window's key events.
  ReplayControl(QWidget* window, VideoSurface* surface);
  ~ReplayControl() override;

  // Back to the live picture, the replay and step ports given back (GUI thread).
  void ShowLive();
  // What key `key` (Qt::Key_R, ...) does, whether typed or sent from the
  // coach's phone (GUI thread); false when it does nothing (no session, or
  // not one of these keys).
  bool Press(int key, bool repeat = false);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ToggleReplay();
  void ToggleFreeze();
  void Step(int pictures);  // back (negative) or forward while frozen, in display order

  VideoSurface* m_pSurface;
  ReplayPlayer m_replay;   // R
  ReplayPlayer m_step;     // one picture while frozen
  int64_t m_llFrozenPts = -1;  // time stamp (90 kHz) of the picture shown while frozen
  unsigned m_nReplay = 0;   // which replay an end report belongs to
};

// "回放 0.5×": the marker of a replay at speed, as a decimal.
QString ReplayMarker(double speed);
