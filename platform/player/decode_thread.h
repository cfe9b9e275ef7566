// A port's decode thread: demuxes the MPEG-TS bytes of the port's input
// buffer, decodes the video, keeps the last picture and hands every picture
// to the window's video sink.
#pragma once

#include <atomic>

#include "platform/player/input_buffer.h"
#include "platform/player/last_picture.h"
#include "platform/sys/types.h"

namespace player {

class DecodeThread {
 public:
  // input and last must outlive the thread (until Stop returns).
  DecodeThread(InputBuffer& input, LastPicture& last, HWND window);
  ~DecodeThread();
  DecodeThread(const DecodeThread&) = delete;
  DecodeThread& operator=(const DecodeThread&) = delete;

  // Starts the thread under name (at most 15 characters shown).
  bool Start(const char* name);
  // Closes the input, which ends the thread within one picture's decode time,
  // and waits for its end.
  void Stop();

 private:
  static DWORD Main(void* self);
  void Run();

  InputBuffer& input_;
  LastPicture& last_;
  const HWND window_;            // sink to draw on; null for none
  std::atomic<bool> stopping_{false};
  HANDLE thread_ = nullptr;
};

}  // namespace player
