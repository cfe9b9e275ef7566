// The picture on the display window: a child widget covering the window's
// client area. The player hands it each decoded picture (as the video sink
// registered for the window's handle); it keeps only the newest, and when it
// paints converts that one once, at the size it is shown, keeping its aspect
// ratio with black bars around it.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

#include "platform/player/decoded_picture.h"
#include "platform/player/video_sink.h"

class VideoSurface : public QWidget, public player::VideoSink {
 public:
  explicit VideoSurface(QWidget* window);

  // player::VideoSink, on a decode thread: never waits for a paint.
  bool TakesDecodedPictures() const override { return true; }
  void OnDecodedPicture(const player::PictureRef& picture) override;

  // GUI thread. Forgets the picture held and hides, so the window's own face
  // shows until the next picture; paints still queued for it show nothing.
  void DropPicture();

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Follow(const QSize& size);

  std::mutex m_mutex;  // held only to hand the newest picture over, never while painting
  player::PictureRef m_latest;        // guarded by m_mutex
  std::atomic<bool> m_paintQueued{false};  // a paint request is on its way to the GUI thread

  // GUI thread only.
  player::PictureRef m_shown;  // the picture m_converted was made from
  QImage m_converted;          // m_shown converted at the size it is shown
  player::PictureConverter m_converter;
};
