// Remuxes H.264 or H.265 access units of one real play into an MPEG-TS byte
// stream (stream type 0x1B or 0x24) and hands it on as whole 188-byte TS
// packets, as platform/stream/ts.h describes: first the header (the leading
// PSI packets: SDT, PAT, PMT), then data, each picture with its PTS and, with
// B-frames, its DTS. The muxer lives as long as the play, so the stream
// continues under the same header across reconnections.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/device/decode_timeline.h"
#include "platform/device/output_clock.h"
#include "platform/stream/codec.h"
#include "platform/sys/types.h"

struct AVBSFContext;
struct AVCodecParameters;
struct AVFormatContext;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct AVRational;

namespace device {

class TsRemuxer {
 public:
  // Receives (NET_DVR_SYSHEAD or NET_DVR_STREAMDATA, bytes, byte count).
  using Sink = std::function<void(DWORD type, BYTE* data, DWORD size)>;

  static constexpr int kTsPacketBytes = 188;
  static constexpr int kPmtPid = 0x1000;

  explicit TsRemuxer(Sink sink);
  ~TsRemuxer();
  TsRemuxer(const TsRemuxer&) = delete;
  TsRemuxer& operator=(const TsRemuxer&) = delete;

  // A new connection with these stream parameters: packets are dropped until
  // its first key frame. Sets up the muxer on the first call. 0 or AVERROR.
  int BeginConnection(const AVCodecParameters* parameters, AVRational timeBase);
  // Remuxes one packet (taken over and unreferenced); 0 or AVERROR.
  int Write(AVPacket* packet);
  // Pictures dropped because they came further out of order than the
  // stream's reordering allowed (see DecodeTimeline).
  uint64_t OutOfOrderDrops() const { return m_outOfOrderDrops; }

 private:
  static int WriteOut(void* self, uint8_t* data, int size);
  void Deliver(uint8_t* data, int size);
  int OpenMuxer(const AVCodecParameters* parameters);
  // Stamps m_filtered with its PTS and DTS; false when it is to be dropped.
  bool Stamp(const AVStream* out);

  Sink m_sink;
  AVFormatContext* m_mux = nullptr;
  AVIOContext* m_io = nullptr;
  AVBSFContext* m_filter = nullptr;  // dump_extra: parameter sets before every key frame
  AVPacket* m_filtered = nullptr;
  int m_timeBaseNum = 1;  // input time base of the current connection
  int m_timeBaseDen = 90000;
  stream::VideoCodec m_codec = stream::VideoCodec::kNone;  // of the current connection
  bool m_waitingForKeyFrame = true;
  bool m_headerDelivered = false;
  OutputClock m_clock;
  DecodeTimeline m_timeline;
  uint64_t m_outOfOrderDrops = 0;
};

}  // namespace device
