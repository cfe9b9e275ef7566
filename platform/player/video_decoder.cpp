#include "platform/player/video_decoder.h"

#include <cstdio>

namespace player {
namespace {

// PES time stamps count at 90 kHz.
constexpr AVRational kPesTimeBase = {1, 90000};

}  // namespace

VideoDecoder::VideoDecoder() : frame_(av_frame_alloc()), packet_(av_packet_alloc()) {}
VideoDecoder::~VideoDecoder() = default;

// Low-delay settings: a picture leaves the decoder as soon as its last slice
// is in, on this one thread (frame threading adds a picture of delay per
// thread; one core decodes 1080p at 8 Mbit/s at over 100 pictures/s).
bool VideoDecoder::Open(VideoCodec codec) {
  context_.reset();
  codec_ = VideoCodec::kNone;
  const AVCodec* decoder =
      avcodec_find_decoder(codec == VideoCodec::kH265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
  if (decoder == nullptr) {
    return false;
  }
  std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(decoder));
  if (!context) {
    return false;
  }
  context->flags |= AV_CODEC_FLAG_LOW_DELAY;
  context->thread_count = 1;
  context->pkt_timebase = kPesTimeBase;
  if (avcodec_open2(context.get(), decoder, nullptr) < 0) {
    return false;
  }
  context_ = std::move(context);
  codec_ = codec;
  return true;
}

VideoDecoder::Result VideoDecoder::Decode(const DemuxedPicture& picture,
                                          const std::function<void(AVFrame&)>& show) {
  if (!frame_ || !packet_ || (picture.codec != codec_ && !Open(picture.codec))) {
    std::snprintf(error_, sizeof error_, "no decoder");
    return Result::kNoDecoder;
  }
  // Not reference-counted: the decoder copies the bytes (with the padding it
  // needs) before this returns.
  packet_->data = const_cast<uint8_t*>(picture.bytes);
  packet_->size = static_cast<int>(picture.size);
  packet_->pts = picture.pts == kNoTimestamp ? AV_NOPTS_VALUE : picture.pts;
  packet_->dts = picture.dts == kNoTimestamp ? AV_NOPTS_VALUE : picture.dts;
  const int sent = avcodec_send_packet(context_.get(), packet_.get());
  av_packet_unref(packet_.get());  // forgets the borrowed bytes
  Result result = Result::kDecoded;
  if (sent < 0) {
    av_strerror(sent, error_, sizeof error_);
    result = Result::kRefused;
  }
  // Frames already decoded leave even when this picture was refused.
  while (avcodec_receive_frame(context_.get(), frame_.get()) >= 0) {
    show(*frame_);
    av_frame_unref(frame_.get());
  }
  return result;
}

}  // namespace player
