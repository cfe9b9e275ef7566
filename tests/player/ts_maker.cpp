#include "tests/player/ts_maker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace playertest {
namespace {

constexpr int kTsPacketBytes = 188;
constexpr int kVideoPid = 0x100;  // the muxer's first elementary stream PID
constexpr int kMuxBufferBytes = kTsPacketBytes * 64;

int Pid(const uint8_t* packet) { return ((packet[1] & 0x1F) << 8) | packet[2]; }

}  // namespace

struct TsMaker::Muxer {
  AVFormatContext* format = nullptr;
  AVStream* stream = nullptr;
  std::vector<uint8_t> pending;  // bytes written since the last chunk ended
  bool headerSplit = false;

  static int Write(void* opaque, uint8_t* data, int size) {
    auto& pending = static_cast<Muxer*>(opaque)->pending;
    pending.insert(pending.end(), data, data + size);
    return size;
  }

  ~Muxer() {
    if (format != nullptr) {
      if (format->pb != nullptr) {
        av_freep(&format->pb->buffer);
        avio_context_free(&format->pb);
      }
      avformat_free_context(format);
    }
  }

  bool Open(const AVCodecContext& encoder) {
    if (avformat_alloc_output_context2(&format, nullptr, "mpegts", nullptr) < 0) {
      return false;
    }
    auto* buffer = static_cast<uint8_t*>(av_malloc(kMuxBufferBytes));
    format->pb = avio_alloc_context(buffer, kMuxBufferBytes, 1, this, nullptr, &Write, nullptr);
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    stream = avformat_new_stream(format, nullptr);
    if (format->pb == nullptr || stream == nullptr ||
        avcodec_parameters_from_context(stream->codecpar, &encoder) < 0) {
      return false;
    }
    stream->time_base = encoder.time_base;
    AVDictionary* options = nullptr;
    // As the device layer muxes: the PES length lets the demuxer hand a
    // picture on at its last byte instead of at the next picture's start.
    av_dict_set(&options, "omit_video_pes_length", "0", 0);
    const int written = avformat_write_header(format, &options);
    av_dict_free(&options);
    return written >= 0;
  }

  // Moves what was written into the header (first time) and one chunk.
  void EndChunk(TsStream& out) {
    avio_flush(format->pb);
    size_t at = 0;
    if (!headerSplit) {
      while (at + kTsPacketBytes <= pending.size() && Pid(&pending[at]) != kVideoPid) {
        at += kTsPacketBytes;
      }
      out.header.assign(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(at));
      headerSplit = true;
    }
    out.chunks.emplace_back(pending.begin() + static_cast<ptrdiff_t>(at), pending.end());
    pending.clear();
  }
};

TsMaker::TsMaker() : muxer_(std::make_unique<Muxer>()) {
  // The encoder's statistics and the decoder's complaints about damaged test
  // input would bury the test output.
  av_log_set_level(AV_LOG_FATAL);
}
TsMaker::~TsMaker() = default;

const char* CodecName(Codec codec) { return codec == Codec::kH265 ? "h265" : "h264"; }

namespace {

struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using EncoderPtr = std::unique_ptr<AVCodecContext, CodecFree>;

// An encoder as a camera runs one: low latency, parameter sets in band
// before every key frame (no global header), a fixed key interval.
EncoderPtr OpenEncoder(const EncodeSettings& settings) {
  const bool hevc = settings.codec == Codec::kH265;
  const AVCodec* codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
  if (codec == nullptr) {
    return nullptr;
  }
  EncoderPtr encoder(avcodec_alloc_context3(codec));
  encoder->width = settings.width;
  encoder->height = settings.height;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = {1, settings.framesPerSecond};
  encoder->framerate = {settings.framesPerSecond, 1};
  encoder->gop_size = settings.keyInterval;
  encoder->max_b_frames = settings.bFrames;
  encoder->thread_count = settings.threads;
  if (settings.bitRate > 0) {
    encoder->bit_rate = settings.bitRate;
    encoder->rc_max_rate = settings.bitRate;
    encoder->rc_buffer_size = static_cast<int>(settings.bitRate);  // one second
  }
  av_opt_set(encoder->priv_data, "preset", settings.preset, 0);
  av_opt_set(encoder->priv_data, "tune", "zerolatency", 0);
  if (hevc) {
    // zerolatency turns B-frames off; the settings decide. Scene cuts would
    // add key frames the tests do not expect; x265's banner would bury the output.
    std::string params = "bframes=" + std::to_string(settings.bFrames) +
                         ":keyint=" + std::to_string(settings.keyInterval) +
                         ":scenecut=0:log-level=error";
    if (settings.bFrames > 0) {
      // x265 places B-frames only with a lookahead deeper than their run.
      params += ":rc-lookahead=" + std::to_string(settings.bFrames + 1);
    }
    if (settings.threads == 1) {
      // No thread pool: x265 otherwise starts one per core whatever
      // thread_count says (and its lock-free hand-offs confuse ThreadSanitizer).
      params += ":pools=none:frame-threads=1";
    }
    av_opt_set(encoder->priv_data, "x265-params", params.c_str(), 0);
  }
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) {
    return nullptr;
  }
  return encoder;
}

}  // namespace

bool TsMaker::AddSegment(const EncodeSettings& settings, int count, const Painter& paint) {
  EncoderPtr encoder = OpenEncoder(settings);
  if (!encoder) {
    return false;
  }
  if (muxer_->format == nullptr && !muxer_->Open(*encoder)) {
    return false;
  }
  struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
  };
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = settings.width;
  frame->height = settings.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) {
    return false;
  }
  AVPacket* packet = av_packet_alloc();
  bool ok = true;
  auto drain = [&]() {
    while (ok && avcodec_receive_packet(encoder.get(), packet) == 0) {
      packet->stream_index = muxer_->stream->index;
      // Continue across segments; with B-frames dts runs behind pts.
      packet->pts += nextPts_;
      packet->dts += nextPts_;
      if (packet->pts < latestPts_) {
        ++stream_.reorderedPictures;
      }
      latestPts_ = std::max(latestPts_, packet->pts);
      av_packet_rescale_ts(packet, encoder->time_base, muxer_->stream->time_base);
      ok = av_write_frame(muxer_->format, packet) >= 0;
      av_packet_unref(packet);
      muxer_->EndChunk(stream_);
    }
  };
  for (int i = 0; i < count && ok; ++i) {
    ok = av_frame_make_writable(frame.get()) >= 0;
    paint(i, *frame);
    frame->pts = i;
    // The first picture of a segment is a key frame.
    frame->pict_type = i == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    ok = ok && avcodec_send_frame(encoder.get(), frame.get()) >= 0;
    drain();
  }
  avcodec_send_frame(encoder.get(), nullptr);
  drain();
  nextPts_ += count + kSegmentGapPictures;
  av_packet_free(&packet);
  return ok;
}

TsStream MakeStream(const EncodeSettings& settings, int count, const Painter& paint) {
  TsMaker maker;
  if (!maker.AddSegment(settings, count, paint)) {
    return {};
  }
  return maker.Stream();
}

void PaintSolid(AVFrame& frame, int red, int green, int blue) {
  const double y = 16 + (65.481 * red + 128.553 * green + 24.966 * blue) / 255.0;
  const double cb = 128 + (-37.797 * red - 74.203 * green + 112.0 * blue) / 255.0;
  const double cr = 128 + (112.0 * red - 93.786 * green - 18.214 * blue) / 255.0;
  const uint8_t values[3] = {static_cast<uint8_t>(std::lround(y)),
                             static_cast<uint8_t>(std::lround(cb)),
                             static_cast<uint8_t>(std::lround(cr))};
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? frame.height : (frame.height + 1) / 2;
    const int cols = plane == 0 ? frame.width : (frame.width + 1) / 2;
    for (int row = 0; row < rows; ++row) {
      std::memset(frame.data[plane] + static_cast<ptrdiff_t>(row) * frame.linesize[plane],
                  values[plane], static_cast<size_t>(cols));
    }
  }
}

void PaintSolidCentre(AVFrame& frame, int red, int green, int blue) {
  AVFrame centre = frame;
  centre.width = frame.width / 2;
  centre.height = frame.height / 2;
  const int offsets[3] = {0, 1, 1};  // chroma planes are half size
  for (int plane = 0; plane < 3; ++plane) {
    const int x = frame.width / 4 >> offsets[plane];
    const int y = frame.height / 4 >> offsets[plane];
    centre.data[plane] = frame.data[plane] + static_cast<ptrdiff_t>(y) * frame.linesize[plane] + x;
  }
  PaintSolid(centre, red, green, blue);
}

void PaintPattern(int index, AVFrame& frame) {
  for (int row = 0; row < frame.height; ++row) {
    uint8_t* line = frame.data[0] + static_cast<ptrdiff_t>(row) * frame.linesize[0];
    for (int col = 0; col < frame.width; ++col) {
      line[col] = static_cast<uint8_t>(16 + (((col + 4 * index) ^ (row + 2 * index)) & 0xFF) * 219 / 255);
    }
  }
  for (int plane = 1; plane < 3; ++plane) {
    for (int row = 0; row < (frame.height + 1) / 2; ++row) {
      uint8_t* line = frame.data[plane] + static_cast<ptrdiff_t>(row) * frame.linesize[plane];
      for (int col = 0; col < (frame.width + 1) / 2; ++col) {
        line[col] = static_cast<uint8_t>(64 + ((col * plane + row + index) & 0x7F));
      }
    }
  }
}

void PaintFullNoise(AVFrame& frame, uint32_t seed) {
  std::minstd_rand noise(seed);
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? frame.height : (frame.height + 1) / 2;
    const int cols = plane == 0 ? frame.width : (frame.width + 1) / 2;
    for (int row = 0; row < rows; ++row) {
      uint8_t* line = frame.data[plane] + static_cast<ptrdiff_t>(row) * frame.linesize[plane];
      for (int col = 0; col < cols; ++col) {
        line[col] = static_cast<uint8_t>(16 + noise() % 225);  // 16..240, limited range
      }
    }
  }
}

void PaintNoisyMotion(int index, AVFrame& frame, uint32_t seed) {
  PaintPattern(index, frame);
  std::minstd_rand noise(seed + static_cast<uint32_t>(index));
  for (int row = 0; row < frame.height; ++row) {
    uint8_t* line = frame.data[0] + static_cast<ptrdiff_t>(row) * frame.linesize[0];
    for (int col = 0; col < frame.width; ++col) {
      const int value = line[col] + static_cast<int>(noise() % 17) - 8;  // +-8 of 219 steps
      line[col] = static_cast<uint8_t>(value < 16 ? 16 : (value > 235 ? 235 : value));
    }
  }
}

}  // namespace playertest
