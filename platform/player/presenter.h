// A port's presenter thread ("player-pre-<port>"): takes decoded pictures
// from the decode thread into a queue of at most kMaxQueuedPictures and hands
// each to the window's video sink when its PresentationClock time comes, at
// most kMaxHoldMs after it was decoded, keeping it as the port's last picture.
// Pictures go in time stamp order: one that comes after a later one (a
// stream whose reordering the decoder did not know) is dropped, never shown
// as a step back; a key frame may start the clock again. A picture that finds the queue full (a burst, after a stall
// upstream) makes the oldest due at once and waits for the presenter to take
// it: the burst is shown quickly, none is lost and the player adds no delay
// beyond the queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/player/decoded_picture.h"
#include "platform/player/last_picture.h"
#include "platform/player/presentation_clock.h"
#include "platform/player/sink_painter.h"
#include "platform/player/stage_counters.h"
#include "platform/sys/types.h"

namespace player {

class Presenter {
 public:
  // At 25 pictures/s the clock's 40 ms margin keeps one or two waiting; three
  // hold the 80 ms bound at 37.5 pictures/s and more.
  static constexpr size_t kMaxQueuedPictures = 3;

  // last and counters must outlive the presenter.
  Presenter(LONG port, HWND window, LastPicture& last, StageCounters& counters);
  ~Presenter();
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  bool Start(const char* name);
  // Ends the thread; pictures still queued are not presented.
  void Stop();

  // On the decode thread: queues picture (time stamp pts, 90 kHz, negative
  // for none) for its time. Waits only for the presenter to take a due
  // picture when the queue is full, never for a window's paint.
  void Push(PictureRef picture, int64_t pts);

 private:
  using Clock = std::chrono::steady_clock;
  struct Queued {
    PictureRef picture;
    Clock::time_point due;
  };

  static DWORD Main(void* self);
  void Run();
  void Present(const PictureRef& picture);  // on the presenter thread

  const LONG port_;    // for diagnostics
  const HWND window_;  // sink to present to
  LastPicture& last_;  // the last picture presented
  StageCounters& counters_;
  const Clock::time_point epoch_ = Clock::now();  // the presentation clock's 0 ms
  std::mutex mutex_;
  std::condition_variable changed_;  // signalled on push, on take and on stop
  std::deque<Queued> queue_;         // guarded by mutex_; at most kMaxQueuedPictures
  PresentationClock clock_;          // guarded by mutex_
  bool stopping_ = false;            // guarded by mutex_
  SinkPainter painter_;              // presenter thread only
  HANDLE thread_ = nullptr;
};

}  // namespace player
