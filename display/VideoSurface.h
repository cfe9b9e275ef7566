// The picture on the display window: a child widget covering the window's
// client area. The player hands it each decoded picture (as the video sink
// registered for the window's handle); it keeps only the newest, and when it
// paints converts that one once, at the size it is shown, keeping its aspect
// ratio with black bars around it.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

class QPainter;

#include <atomic>
#include <mutex>

#include "platform/player/decoded_picture.h"
#include "platform/player/video_sink.h"
#include "platform/sys/types.h"

class VideoSurface : public QWidget, public player::VideoSink {
 public:
  explicit VideoSurface(QWidget* window);
  ~VideoSurface() override;

  // What the surface shows: the live port's pictures, a replay port's
  // pictures (the live ones pass unseen meanwhile), or one picture held
  // still. Changed on the GUI thread.
  enum class Source { kLive, kReplay, kFrozen };
  void ShowLive();
  // Replay pictures with `marker` in the top left corner.
  void ShowReplay(const QString& marker);
  // Holds the picture shown now.
  void Freeze();
  // While frozen: the replay port's picture with time stamp pts (90 kHz)
  // replaces the held picture.
  void ExpectStep(int64_t pts);
  Source Showing() const { return m_source; }
  // Time stamp of the picture shown (90 kHz), -1 for none (GUI thread).
  int64_t ShownPts();
  // Shows `marker` (what the coach's phone did) under the replay's marker for
  // `forMs` (GUI thread).
  void ShowRemote(const QString& marker, int forMs);
  // Shows `address` and its QR code in the bottom right corner for `forMs`
  // (GUI thread); an empty address says that the web screens are off.
  void ShowAddress(const QString& address, int forMs);
  // Handle of the replay port's window: its pictures arrive there (GUI thread).
  HWND ReplayWindow() const { return m_hReplay; }

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
  // Draws `marker` in the picture's top left corner from `top` down; where it ends.
  int DrawMarker(QPainter& painter, const QRect& picture, const QString& marker, int top);
  void DrawAddress(QPainter& painter, const QRect& picture);
  void Take(const player::PictureRef& picture);  // any thread: becomes the newest
  void TakeReplayPicture(const player::PictureRef& picture);  // replay port's thread

  // The replay port's sink: its pictures go to TakeReplayPicture.
  class ReplaySink : public player::VideoSink {
   public:
    explicit ReplaySink(VideoSurface& surface) : m_surface(surface) {}
    bool TakesDecodedPictures() const override { return true; }
    void OnDecodedPicture(const player::PictureRef& picture) override {
      m_surface.TakeReplayPicture(picture);
    }

   private:
    VideoSurface& m_surface;
  };
  ReplaySink m_replaySink{*this};
  HWND m_hReplay = nullptr;

  std::atomic<Source> m_source{Source::kLive};
  std::atomic<int64_t> m_llStepWanted{-1};  // time stamp of the replay picture to show while frozen, -1 none
  QString m_strMarker;                 // GUI thread; drawn over replay pictures
  QString m_strRemote;                 // GUI thread; what the phone did, while it shows
  QTimer m_remoteTimer;                // GUI thread; ends its showing
  QString m_strAddress;                // GUI thread; the viewer address while it shows
  QImage m_qrCode;                     // GUI thread; its QR code, a pixel a module
  QTimer m_addressTimer;               // GUI thread; ends the address's showing

  std::mutex m_mutex;  // held only to hand the newest picture over, never while painting
  player::PictureRef m_latest;        // guarded by m_mutex
  std::atomic<bool> m_paintQueued{false};  // a paint request is on its way to the GUI thread

  // GUI thread only.
  player::PictureRef m_shown;  // the picture m_converted was made from
  QImage m_converted;          // m_shown converted at the size it is shown
  player::PictureConverter m_converter;
};
