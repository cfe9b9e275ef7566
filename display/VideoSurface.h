// The picture on the display window: a child widget covering the window's
// client area that the player hands each decoded picture to (as the video
// sink registered for the window's handle) and that paints the latest one.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

#include "platform/player/video_sink.h"

class VideoSurface : public QWidget, public player::VideoSink {
 public:
  explicit VideoSurface(QWidget* window);

  // player::VideoSink, on a decode thread.
  player::SurfaceSize Surface() override;
  void OnPicture(const player::VideoPicture& picture) override;

  // Forgets the picture held and hides, so the window's own face shows until
  // the next picture; paints still queued for the old picture show nothing.
  void DropPicture();

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // At most this many pictures wait to be painted; a picture that would be a
  // third is dropped, so a slow paint never queues stale pictures.
  static constexpr int kMaxPendingPaints = 2;

  void Follow(const QSize& size);

  std::atomic<int> m_width{0};   // pixels, as last laid out on the GUI thread
  std::atomic<int> m_height{0};  // pixels
  std::atomic<int> m_pendingPaints{0};
  std::mutex m_mutex;
  QImage m_latest;  // guarded by m_mutex: the newest picture, in the surface's size
  unsigned m_generation = 0;  // guarded by m_mutex: counts DropPicture calls
};
