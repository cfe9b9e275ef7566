// One RTSP connection on libavformat: opens a device's H.264 video stream
// within a deadline and reads its packets with a read deadline. Owned and used
// by one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/sys/types.h"

struct AVFormatContext;
struct AVPacket;
struct AVStream;

namespace device {

struct SourceRequest {
  std::string url;    // with credentials: never logged
  bool udp = false;   // RTP over UDP; otherwise interleaved in the RTSP TCP connection
  int waitMs = 3000;  // bound of one attempt; also the silence that counts as a break
  int tries = 1;      // attempts while nothing answers
};

class RtspSource {
 public:
  // `stop` (may be null) interrupts a blocking open or read at once when set.
  explicit RtspSource(const std::atomic<bool>* stop);
  ~RtspSource();
  RtspSource(const RtspSource&) = delete;
  RtspSource& operator=(const RtspSource&) = delete;

  // Describes and sets up the first H.264 video stream; also starts it unless
  // describeOnly. Returns NET_DVR_NOERROR or the NET_DVR_ERR_* reason.
  DWORD Open(const SourceRequest& request, bool describeOnly);
  // Next packet of the video stream: 0, or a negative AVERROR when the stream
  // broke (server gone, nothing within the read deadline) or was stopped.
  int Read(AVPacket* packet);
  // The open video stream; null when closed.
  const AVStream* Video() const;
  void Close();

 private:
  static int Interrupt(void* self);
  DWORD OpenOnce(const SourceRequest& request, bool describeOnly);
  void ArmDeadline(int ms);

  const std::atomic<bool>* m_stop;
  AVFormatContext* m_input = nullptr;
  int m_videoIndex = -1;
  int m_readDeadlineMs = 3000;
  int64_t m_deadlineUs = 0;  // av_gettime_relative() after which blocking calls give up
};

}  // namespace device
