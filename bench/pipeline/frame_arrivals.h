// When each video frame of the device's MPEG-TS stream was complete: the
// arrival tick of the piece that carried the frame's last TS packet. Fed with
// every piece on the device's receive thread, read by the benchmark after it.
//
// A frame starts with a TS packet that begins a video PES (payload_unit_start
// with start code 00 00 01 and a stream id 0xE0..0xEF) and ends with the last
// packet on that PID before the next such start, so a frame is known complete
// once the next one begins. Key frames carry the adaptation field's random
// access indicator.
#pragma once

#include <mutex>
#include <vector>

#include "platform/sys/types.h"

namespace pipeline {

struct FrameArrival {
  DWORD completeTick = 0;  // ms tick of the piece holding the frame's last byte
  bool key = false;        // random access point: decoding can start here
};

class FrameArrivals {
 public:
  // One piece of the stream (whole 188-byte TS packets) and its arrival tick.
  void OnPiece(const BYTE* data, DWORD size, DWORD tick);
  // The frames complete so far, in stream order.
  std::vector<FrameArrival> Complete() const;

 private:
  mutable std::mutex m_mutex;
  int m_videoPid = -1;          // PID the video PES starts were seen on
  bool m_inFrame = false;       // a frame has started and is not known complete
  FrameArrival m_current;       // the frame in progress
  DWORD m_lastVideoTick = 0;    // ms tick of the piece with the latest video packet
  std::vector<FrameArrival> m_complete;
};

}  // namespace pipeline
