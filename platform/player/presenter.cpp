#include "platform/player/presenter.h"

#include <new>

#include "platform/player/diagnostics.h"
#include "platform/player/presentation_speed.h"
#include "platform/player/sink_access.h"
#include "platform/sys/thread.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace player {

Presenter::Presenter(LONG port, HWND window, LastPicture& last, StageCounters& counters)
    : port_(port), window_(window), last_(last), counters_(counters) {}

Presenter::~Presenter() { Stop(); }

bool Presenter::Start(const char* name) {
  thread_ = CreateThread(&Presenter::Main, this, name);
  return thread_ != nullptr;
}

void Presenter::Stop() {
  if (thread_ == nullptr) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  CloseHandle(thread_);  // joins
  thread_ = nullptr;
  queue_.clear();
}

void Presenter::Push(PictureRef picture, int64_t pts) {
  const double nowMs = std::chrono::duration<double, std::milli>(Clock::now() - epoch_).count();
  std::unique_lock<std::mutex> lock(mutex_);
  clock_.SetSpeed(PresentationSpeed(port_));
  // A key frame starts a stream of its own (a camera whose clock started
  // again): its time is a new clock, not a step back.
  if (picture->Frame().key_frame == 0 && clock_.Behind(pts)) {
    lock.unlock();
    counters_.PicturesDropped(1);
    Diagnose(Diagnostic::kOrder, "port %d: a picture came after a later one and was dropped",
             static_cast<int>(port_));
    return;
  }
  const double dueMs = clock_.Due(pts, nowMs);
  while (queue_.size() >= kMaxQueuedPictures && !stopping_) {
    queue_.front().due = Clock::now();
    changed_.notify_all();
    changed_.wait(lock);
  }
  queue_.push_back({std::move(picture),
                    epoch_ + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double, std::milli>(dueMs))});
  const auto depth = static_cast<int>(queue_.size());
  lock.unlock();
  counters_.QueueDepth(depth);
  changed_.notify_all();
}

DWORD Presenter::Main(void* self) {
  static_cast<Presenter*>(self)->Run();
  return 0;
}

void Presenter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (queue_.empty()) {
      changed_.wait(lock);
      continue;
    }
    // A push may bring an earlier picture (a re-anchored clock): wake up for it too.
    if (changed_.wait_until(lock, queue_.front().due) == std::cv_status::no_timeout) {
      continue;
    }
    PictureRef picture = std::move(queue_.front().picture);
    queue_.pop_front();
    const auto depth = static_cast<int>(queue_.size());
    lock.unlock();
    changed_.notify_all();  // room for a waiting push
    counters_.QueueDepth(depth);
    try {
      Present(picture);
    } catch (const std::bad_alloc&) {
      counters_.PicturesDropped(1);
      Diagnose(Diagnostic::kMemory, "port %d: out of memory presenting a picture",
               static_cast<int>(port_));
    }
    picture.reset();  // not under the lock: the last reference may free a frame
    lock.lock();
  }
}

void Presenter::Present(const PictureRef& picture) {
  last_.Keep(picture->Frame());
  bool painted = false;
  const bool hasSink = WithVideoSink(window_, [&](VideoSink& sink) {
    if (sink.TakesDecodedPictures()) {
      sink.OnDecodedPicture(picture);
      painted = true;
    } else {
      painted = painter_.Paint(picture->Frame(), sink);
    }
  });
  if (!hasSink) {
    return;  // no window to show it in (yet)
  }
  if (painted) {
    counters_.PicturePresented();
  } else {
    counters_.PicturesDropped(1);
    Diagnose(Diagnostic::kPicture, "port %d: a %dx%d picture could not be converted for the window",
             static_cast<int>(port_), picture->Width(), picture->Height());
  }
}

}  // namespace player
