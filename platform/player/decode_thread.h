// A port's decode thread: demuxes the MPEG-TS bytes of the port's input
// buffer into whole pictures, decodes them (in display order) and hands every
// picture to the port's presenter, which keeps the last one shown; without a
// window it keeps the last one decoded. Counts what each stage does.
#pragma once

#include <memory>

#include "platform/player/input_buffer.h"
#include "platform/player/last_picture.h"
#include "platform/player/presenter.h"
#include "platform/player/stage_counters.h"
#include "platform/sys/types.h"

namespace player {

class DecodeThread {
 public:
  // input, last and counters must outlive the thread (until Stop returns).
  DecodeThread(LONG port, InputBuffer& input, LastPicture& last, StageCounters& counters,
               HWND window);
  ~DecodeThread();
  DecodeThread(const DecodeThread&) = delete;
  DecodeThread& operator=(const DecodeThread&) = delete;

  // Starts the threads: "player-dec-<port>", and "player-pre-<port>" when
  // the port has a window.
  bool Start();
  // Closes the input, which ends the thread within one picture's decode time,
  // and waits for its end; then ends the presenter.
  void Stop();

 private:
  static DWORD Main(void* self);
  void Run();

  const LONG port_;  // for diagnostics
  InputBuffer& input_;
  LastPicture& last_;
  StageCounters& counters_;
  const HWND window_;  // sink to draw on; null for none
  std::unique_ptr<Presenter> presenter_;  // set while running with a window
  HANDLE thread_ = nullptr;
};

}  // namespace player
