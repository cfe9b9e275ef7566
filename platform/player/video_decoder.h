// The port's video decoder: whole pictures from the demuxer in, decoded
// frames out, on the decode thread. Opens (again) for the stream's codec.
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

  enum class Result { kDecoded, kNoDecoder, kRefused };
  // Decodes picture and hands every frame that comes out to show (the frame
  // is unreferenced after show returns; take a reference to keep it).
  Result Decode(const DemuxedPicture& picture, const std::function<void(AVFrame&)>& show);
  // The error text of the last kRefused or kNoDecoder.
  const char* LastError() const { return error_; }

 private:
  bool Open(VideoCodec codec);

  struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
  };
  std::unique_ptr<AVCodecContext, CodecFree> context_;
  VideoCodec codec_ = VideoCodec::kNone;  // what context_ decodes
  struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
  };
  FramePtr frame_;
  std::unique_ptr<AVPacket, PacketFree> packet_;  // borrows each picture's bytes
  char error_[AV_ERROR_MAX_STRING_SIZE] = {};
};

}  // namespace player
