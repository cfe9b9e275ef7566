// The port's video decoder: whole pictures from the demuxer in, decoded
// frames out, on the decode thread. Opens (again) for the stream's codec.
//
// Up to 1080p it decodes on the calling thread with the low-delay settings:
// a picture leaves as soon as its last slice is in. Larger pictures (4K) take
// more than a picture interval on one core, so from the next key frame on (or
// at once, when the stream starts with it) it decodes with frame threads, one per core (at most kMaxThreads), which holds
// each picture back by one picture interval per extra thread (40 ms at 25
// pictures/s on two cores).
#pragma once

#include <functional>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/player/av_ptr.h"
#include "platform/player/ts_demuxer.h"

namespace player {

class VideoDecoder {
 public:
  VideoDecoder();
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Pictures up to this many pixels decode on one thread (1080p, with the
  // 1088 lines the codec rounds up to).
  static constexpr int kSingleThreadPixels = 1920 * 1088;
  static constexpr int kMaxThreads = 4;

  enum class Result { kDecoded, kNoDecoder, kRefused };
  // Decodes picture and hands every frame that comes out to show (the frame
  // is unreferenced after show returns; take a reference to keep it).
  Result Decode(const DemuxedPicture& picture, const std::function<void(AVFrame&)>& show);
  // The error text of the last kRefused or kNoDecoder.
  const char* LastError() const { return error_; }
  // Decoding threads in use now.
  int Threads() const { return threads_; }

 private:
  bool Open(stream::VideoCodec codec, int threads);
  Result Send(const DemuxedPicture& picture);

  struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
  };
  std::unique_ptr<AVCodecContext, CodecFree> context_;
  stream::VideoCodec codec_ = stream::VideoCodec::kNone;  // what context_ decodes
  int threads_ = 1;                       // threads context_ decodes with
  int wantedThreads_ = 1;                 // for the size of the latest picture
  int decoded_ = 0;                       // pictures out of context_ so far
  struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
  };
  FramePtr frame_;
  std::unique_ptr<AVPacket, PacketFree> packet_;  // borrows each picture's bytes
  char error_[AV_ERROR_MAX_STRING_SIZE] = {};
};

}  // namespace player
