// Where the player draws: a window registers a video sink for its handle, and
// the decode thread of a port playing on that handle hands it every picture.
// No Qt here: a picture is 32-bit pixels laid out as QImage::Format_RGB32
// expects them (bytes B, G, R, 0xFF in memory).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/sys/types.h"

namespace player {

class DecodedPicture;  // platform/player/decoded_picture.h
using PictureRef = std::shared_ptr<const DecodedPicture>;

// One picture, already scaled to the size the sink asked for.
struct VideoPicture {
  int width = 0;                    // pixels
  int height = 0;                   // pixels
  int strideBytes = 0;              // bytes from the start of one row to the next
  const uint8_t* pixels = nullptr;  // valid only during OnPicture
};

struct SurfaceSize {
  int width = 0;   // pixels; 0 with height 0 means "the picture's own size"
  int height = 0;  // pixels
};

// Implemented by the window side. Every call comes on a player decode thread;
// none may wait for the thread that stops the player (the GUI thread), or
// that stop waits for ever.
//
// Two ways to take pictures: a window that paints takes the decoded picture
// itself (TakesDecodedPictures), keeps the reference and converts it once, at
// paint time, into what it paints; the decoder never waits for that. Other
// sinks get each picture ready converted at the size Surface asks for.
class VideoSink {
 public:
  virtual ~VideoSink() = default;
  virtual bool TakesDecodedPictures() const { return false; }
  // Each picture when TakesDecodedPictures; keep the reference as long as needed.
  virtual void OnDecodedPicture(const PictureRef& picture) { (void)picture; }
  // Otherwise: the size in pixels the next picture is to be scaled to, then
  // the picture (one call after the other).
  virtual SurfaceSize Surface() { return {}; }
  // Copy what is needed; the pixels are gone once this returns.
  virtual void OnPicture(const VideoPicture& picture) { (void)picture; }
};

// Registers sink for window. Fails when either is null or the window already
// has a sink. The sink must stay alive until UnregisterVideoSink has returned.
bool RegisterVideoSink(HWND window, VideoSink* sink);

// Removes the window's sink (nothing happens when it has none). When this
// returns, no call into that sink is running and none will start, so the sink
// may be destroyed. Must not be called from inside the sink's own calls.
void UnregisterVideoSink(HWND window);

}  // namespace player
