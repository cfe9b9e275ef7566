// A device's video stream as packets: describes, sets up and plays it over
// the transport asked for (falling back to the other one once when the device
// refuses it or nothing arrives over UDP), and turns its RTP packets into
// H.264 or H.265 access units. Owned and used by one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/device/rtp_depacketizer.h"
#include "platform/device/rtp_reorder.h"
#include "platform/device/rtsp_client.h"

struct AVCodecParameters;
struct AVPacket;

namespace device {

struct SourceRequest {
  RtspTarget target;
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

  // describeOnly: the device answers and accepts the credentials, and has an
  // H.264 or H.265 video stream at the address; nothing is set up. Otherwise
  // the stream is set up and playing. Ok or the reason; kTransportRefused
  // when neither transport delivers.
  Outcome Open(const SourceRequest& request, bool describeOnly);
  // Whether the open stream came over UDP (it may differ from the request).
  bool Udp() const { return m_udp; }
  // Next access unit, or why the stream broke: kTimedOut (nothing within the
  // read deadline), kConnectionLost, kNotFound (the session gone), kStopped.
  Outcome Read(AVPacket* packet);
  // Codec, and the SDP's parameter sets as extradata; null when closed.
  const AVCodecParameters* Parameters() const;
  int ClockRate() const { return m_clockRate; }
  // What the UDP reorder did since this source was made, over every connection.
  ReorderCounts ReorderTotals() const {
    ReorderCounts totals = m_reorderDone;
    totals += m_reorder.Counts();
    return totals;
  }
  // Of every session this source opened.
  SessionStats& Stats() { return m_client.Stats(); }
  void Close();

 private:
  Outcome OpenOnce(const SourceRequest& request, bool describeOnly);
  Outcome Play(bool udp, RtspClient::Clock::time_point deadline);
  // The next RTP packet, in sequence order over UDP, into m_packet.
  Outcome NextPacket();

  const std::atomic<bool>* m_stop;
  RtspClient m_client;
  std::unique_ptr<RtpDepacketizer> m_depacketizer;
  RtpReorder m_reorder;          // UDP only
  ReorderCounts m_reorderDone;   // of the connections before m_reorder's
  AVCodecParameters* m_parameters = nullptr;
  std::vector<uint8_t> m_packet;  // the RTP packet being taken apart
  bool m_havePacket = false;      // m_packet came with the open and is not taken yet
  bool m_udp = false;
  int m_readDeadlineMs = 3000;
  int m_clockRate = 90000;
  bool m_haveTime = false;  // RTP time stamps are unwrapped from the first one on
  uint32_t m_lastRtpTime = 0;
  int64_t m_time = 0;  // unwrapped RTP time of the last unit
};

}  // namespace device
