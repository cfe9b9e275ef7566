#include "platform/device/ts_remuxer.h"

#include "platform/device/device.h"
#include "platform/device/diagnostics.h"
#include "platform/stream/sps.h"
#include "platform/stream/ts.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace device {
namespace {

// 64 TS packets (12,032 bytes): a whole-packet multiple, so every write-out of
// the muxer's buffer is whole TS packets; a typical frame is flushed in one or
// two pieces.
constexpr int kIoBufferBytes = TsRemuxer::kTsPacketBytes * 64;

bool IsPsi(const uint8_t* packet) {
  const unsigned pid = stream::PacketPid(packet);
  return pid == stream::kPatPid || pid == stream::kSdtPid || pid == TsRemuxer::kPmtPid;
}

}  // namespace

TsRemuxer::TsRemuxer(Sink sink) : m_sink(std::move(sink)), m_filtered(av_packet_alloc()) {}

TsRemuxer::~TsRemuxer() {
  av_bsf_free(&m_filter);
  av_packet_free(&m_filtered);
  if (m_mux != nullptr) {
    avformat_free_context(m_mux);  // no trailer: nothing is delivered after the play ends
  }
  if (m_io != nullptr) {
    av_freep(&m_io->buffer);
    avio_context_free(&m_io);
  }
}

int TsRemuxer::WriteOut(void* self, uint8_t* data, int size) {
  static_cast<TsRemuxer*>(self)->Deliver(data, size);
  return size;
}

// The muxer writes whole TS packets into a buffer that is a whole-packet
// multiple and is flushed after every frame, so `size` is a multiple of 188.
void TsRemuxer::Deliver(uint8_t* data, int size) {
  int offset = 0;
  if (!m_headerDelivered) {
    // avformat_write_header writes nothing; the first frame's write-out starts
    // with SDT, PAT and PMT: those leading packets are the header.
    while (offset + kTsPacketBytes <= size && IsPsi(data + offset)) {
      offset += kTsPacketBytes;
    }
    m_headerDelivered = true;
    m_sink(NET_DVR_SYSHEAD, data, static_cast<DWORD>(offset));
  }
  if (size > offset) {
    m_sink(NET_DVR_STREAMDATA, data + offset, static_cast<DWORD>(size - offset));
  }
}

int TsRemuxer::OpenMuxer(const AVCodecParameters* parameters) {
  int result = avformat_alloc_output_context2(&m_mux, nullptr, "mpegts", nullptr);
  if (result < 0) {
    return result;
  }
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
  if (buffer == nullptr) {
    return AVERROR(ENOMEM);
  }
  m_io =
      avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &TsRemuxer::WriteOut, nullptr);
  if (m_io == nullptr) {
    av_free(buffer);
    return AVERROR(ENOMEM);
  }
  m_mux->pb = m_io;
  m_mux->flags |= AVFMT_FLAG_CUSTOM_IO;

  AVStream* stream = avformat_new_stream(m_mux, nullptr);
  if (stream == nullptr) {
    return AVERROR(ENOMEM);
  }
  result = avcodec_parameters_copy(stream->codecpar, parameters);
  if (result < 0) {
    return result;
  }
  stream->codecpar->codec_tag = 0;
  stream->time_base = {1, 90000};

  AVDictionary* options = nullptr;
  // With the PES length written, a demuxer can pass a frame on as soon as it
  // has it instead of waiting for the next one: a frame less latency.
  av_dict_set(&options, "omit_video_pes_length", "0", 0);
  av_dict_set_int(&options, "mpegts_pmt_start_pid", kPmtPid, 0);
  result = avformat_write_header(m_mux, &options);
  av_dict_free(&options);
  return result;
}

int TsRemuxer::BeginConnection(const AVCodecParameters* parameters, AVRational timeBase) {
  if (m_mux != nullptr && m_mux->streams[0]->codecpar->codec_id != parameters->codec_id) {
    // A camera switched between H.264 and H.265: the header already given out
    // names the old codec, and a player cannot follow the change under it.
    return AVERROR_INVALIDDATA;
  }
  av_bsf_free(&m_filter);
  const AVBitStreamFilter* dumpExtra = av_bsf_get_by_name("dump_extra");
  if (dumpExtra == nullptr) {
    return AVERROR_BSF_NOT_FOUND;
  }
  int result = av_bsf_alloc(dumpExtra, &m_filter);
  if (result < 0) {
    return result;
  }
  // A camera may send its parameter sets (VPS, SPS, PPS) only in the SDP:
  // repeat them before every key frame so that a player can start at any.
  av_opt_set(m_filter->priv_data, "freq", "keyframe", 0);
  result = avcodec_parameters_copy(m_filter->par_in, parameters);
  if (result < 0) {
    return result;
  }
  m_filter->time_base_in = timeBase;
  result = av_bsf_init(m_filter);
  if (result < 0) {
    return result;
  }
  if (m_mux == nullptr) {
    result = OpenMuxer(m_filter->par_out);
    if (result < 0) {
      return result;
    }
  }
  m_codec = parameters->codec_id == AV_CODEC_ID_HEVC ? stream::VideoCodec::kH265
                                                     : stream::VideoCodec::kH264;
  m_timeBaseNum = timeBase.num;
  m_timeBaseDen = timeBase.den;
  m_waitingForKeyFrame = true;
  m_clock.Restart();
  m_timeline.Restart();
  return 0;
}

bool TsRemuxer::Stamp(const AVStream* out) {
  if ((m_filtered->flags & AV_PKT_FLAG_KEY) != 0) {
    // Key frames carry the parameter sets (the filter puts them there).
    if (const std::optional<int> depth = stream::StatedReorderDepthIn(
            m_codec, m_filtered->data, static_cast<size_t>(m_filtered->size))) {
      m_timeline.StateDepth(*depth);
    }
  }
  const bool hasPts = m_filtered->pts != AV_NOPTS_VALUE;
  const int64_t pts90k =
      hasPts ? av_rescale_q(m_filtered->pts, AVRational{m_timeBaseNum, m_timeBaseDen},
                            AVRational{1, 90000})
             : 0;
  const int64_t pts = m_clock.Next(hasPts, pts90k);
  if (m_clock.TookNewOrigin()) {
    m_timeline.Restart();
  }
  const int depthBefore = m_timeline.Depth();
  const std::optional<DecodeTimeline::Stamps> stamps = m_timeline.Next(pts);
  if (!stamps) {
    ++m_outOfOrderDrops;
    Diagnostics().Report(kDiagnoseRemux,
                         "a picture came out of order deeper than the stream's reordering of %d "
                         "and was dropped; reordering now %d",
                         depthBefore, m_timeline.Depth());
    return false;
  }
  m_filtered->pts = av_rescale_q(stamps->pts, AVRational{1, 90000}, out->time_base);
  m_filtered->dts = av_rescale_q(stamps->dts, AVRational{1, 90000}, out->time_base);
  return true;
}

int TsRemuxer::Write(AVPacket* packet) {
  if (m_filter == nullptr || m_mux == nullptr) {
    av_packet_unref(packet);
    return AVERROR(EINVAL);
  }
  if (m_waitingForKeyFrame && (packet->flags & AV_PKT_FLAG_KEY) == 0) {
    // Pictures before the first key frame of a connection would only decode
    // as garbage.
    av_packet_unref(packet);
    return 0;
  }
  m_waitingForKeyFrame = false;
  int result = av_bsf_send_packet(m_filter, packet);
  if (result < 0) {
    av_packet_unref(packet);
    return result;
  }
  AVStream* out = m_mux->streams[0];
  while ((result = av_bsf_receive_packet(m_filter, m_filtered)) == 0) {
    if (!Stamp(out)) {
      av_packet_unref(m_filtered);
      continue;
    }
    m_filtered->duration = 0;
    m_filtered->stream_index = 0;
    m_filtered->pos = -1;
    const int written = av_write_frame(m_mux, m_filtered);
    av_packet_unref(m_filtered);
    if (written < 0) {
      return written;
    }
    avio_flush(m_mux->pb);  // hand the frame on now, not when the buffer fills
  }
  return result == AVERROR(EAGAIN) ? 0 : result;
}

}  // namespace device
