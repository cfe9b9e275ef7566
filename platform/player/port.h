// The fixed table of player ports and what each one holds.
#pragma once

#include <memory>
#include <mutex>
#include <shared_mutex>

#include "platform/player/decode_thread.h"
#include "platform/player/input_buffer.h"
#include "platform/player/jpeg_writer.h"
#include "platform/player/last_picture.h"
#include "platform/player/stage_counters.h"
#include "platform/sys/types.h"

namespace player {

// The program holds one port per session; 16 leaves room for a session that
// starts while the last one closes, and for tests that hold several.
constexpr LONG kPortCount = 16;

enum class PortState {
  kFree,     // not handed out
  kHeld,     // handed out by PlayM4_GetPort, no stream
  kOpen,     // stream open, input accepted, not decoding yet
  kPlaying,  // decode thread running
  kStopped,  // decode thread ended; last picture still kept
};

struct Port {
  // Taken exclusively by the calls that change the state (open, play, stop,
  // close, free) and shared by feeding and snapshots, so that a close waits
  // for a feed or snapshot in progress and none can start on a closing port.
  std::shared_mutex lifecycle;
  PortState state = PortState::kFree;     // guarded by lifecycle
  std::unique_ptr<InputBuffer> input;     // set from open to close; guarded by lifecycle
  std::unique_ptr<DecodeThread> decoder;  // set from play to stop; guarded by lifecycle
  LastPicture picture;                    // has its own lock (the decode thread writes it)
  StageCounters counters;                 // has its own lock; reset when a stream opens
  std::mutex jpegMutex;                   // one snapshot at a time
  JpegWriter jpeg;                        // guarded by jpegMutex
};

// The port numbered port, or null for -1 and every number outside the table.
Port* PortAt(LONG port);

}  // namespace player
