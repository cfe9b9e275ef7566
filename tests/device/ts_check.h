// What a test sees of a real play: every callback, and the TS bytes demuxed
// back with libavformat.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device/device.h"

namespace testing_device {

struct Piece {
  DWORD type;
  DWORD size;
  bool wholePackets;  // size a multiple of 188 and every packet starts with 0x47
};

class StreamRecorder {
 public:
  // Pass as the data callback with the recorder as user value.
  static void Callback(LONG realHandle, DWORD dataType, BYTE* buffer, DWORD size, void* user);

  std::vector<Piece> Pieces() const;
  std::string Bytes() const;        // every piece, header first, concatenated
  std::string HeaderBytes() const;  // the type-1 pieces only
  int Count() const { return m_count.load(); }
  bool InCallback() const { return m_inCallback.load(); }
  // Each callback sleeps this long: widens the window in which a stop meets a
  // callback in progress.
  void SetCallbackDelayMs(int ms) { m_delayMs = ms; }

 private:
  mutable std::mutex m_mutex;  // guards m_pieces, m_bytes, m_header
  std::vector<Piece> m_pieces;
  std::string m_bytes;
  std::string m_header;
  std::atomic<int> m_count{0};
  std::atomic<bool> m_inCallback{false};
  std::atomic<int> m_delayMs{0};
};

struct TsSummary {
  bool opened = false;  // libavformat took it as MPEG-TS
  bool h264 = false;    // its one video stream is H.264
  bool h265 = false;    // its one video stream is H.265
  int frames = 0;
  int keyFrames = 0;
  int keyFramesWithSpsPps = 0;  // with SPS and PPS (H.265: and VPS) in front
};

TsSummary DemuxTs(const std::string& bytes);

// PIDs of the whole TS packets in `bytes`, in order.
std::vector<int> PidsOf(const std::string& bytes);

}  // namespace testing_device
