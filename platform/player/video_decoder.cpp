#include "platform/player/video_decoder.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/stream/nal.h"

namespace player {
namespace {

// PES time stamps count at 90 kHz.
constexpr AVRational kPesTimeBase = {1, 90000};

int CoreThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, static_cast<unsigned>(VideoDecoder::kMaxThreads)));
}

}  // namespace

VideoDecoder::VideoDecoder() : frame_(av_frame_alloc()), packet_(av_packet_alloc()) {}
VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::Open(stream::VideoCodec codec, int threads) {
  context_.reset();
  codec_ = stream::VideoCodec::kNone;
  const AVCodec* decoder =
      avcodec_find_decoder(codec == stream::VideoCodec::kH265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
  if (decoder == nullptr) {
    return false;
  }
  std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(decoder));
  if (!context) {
    return false;
  }
  if (threads == 1) {
    // One core decodes 1080p at 8 Mbit/s at over 100 pictures/s; the
    // low-delay flag also keeps frame threading off.
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context->thread_count = 1;
  } else {
    context->thread_count = threads;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  }
  context->pkt_timebase = kPesTimeBase;
  if (avcodec_open2(context.get(), decoder, nullptr) < 0) {
    return false;
  }
  context_ = std::move(context);
  codec_ = codec;
  threads_ = threads;
  decoded_ = 0;
  return true;
}

VideoDecoder::Result VideoDecoder::Decode(const DemuxedPicture& picture,
                                          const std::function<void(AVFrame&)>& show) {
  const bool keyFrame = stream::StartsKeyFrame(picture.codec, picture.bytes, picture.size);
  // A new codec opens at once; a new thread count waits for a key frame.
  const bool reopen = picture.codec != codec_ || (wantedThreads_ != threads_ && keyFrame);
  if (reopen && context_) {
    // Pictures the old decoder still holds (reordering, frame threads) come out first.
    avcodec_send_packet(context_.get(), nullptr);
    while (avcodec_receive_frame(context_.get(), frame_.get()) >= 0) {
      show(*frame_);
      av_frame_unref(frame_.get());
    }
  }
  if (!frame_ || !packet_ || (reopen && !Open(picture.codec, wantedThreads_))) {
    std::snprintf(error_, sizeof error_, "no decoder");
    return Result::kNoDecoder;
  }
  Result result = Send(picture);
  // The first picture of a fresh one-thread decoder tells the size: a key
  // frame too large for one thread is decoded again, with threads, rather
  // than leaving the whole first key interval to one thread.
  const bool mayRedo = keyFrame && threads_ == 1 && decoded_ == 0;
  while (avcodec_receive_frame(context_.get(), frame_.get()) >= 0) {
    ++decoded_;
    wantedThreads_ = frame_->width * frame_->height > kSingleThreadPixels ? CoreThreads() : 1;
    if (mayRedo && wantedThreads_ != threads_) {
      av_frame_unref(frame_.get());
      if (!Open(picture.codec, wantedThreads_)) {
        std::snprintf(error_, sizeof error_, "no decoder");
        return Result::kNoDecoder;
      }
      result = Send(picture);
      continue;
    }
    show(*frame_);
    av_frame_unref(frame_.get());
  }
  return result;
}

VideoDecoder::Result VideoDecoder::Send(const DemuxedPicture& picture) {
  // Not reference-counted: the decoder copies the bytes (with the padding it
  // needs) before this returns.
  packet_->data = const_cast<uint8_t*>(picture.bytes);
  packet_->size = static_cast<int>(picture.size);
  packet_->pts = picture.pts == stream::kNoTimestamp ? AV_NOPTS_VALUE : picture.pts;
  packet_->dts = picture.dts == stream::kNoTimestamp ? AV_NOPTS_VALUE : picture.dts;
  const int sent = avcodec_send_packet(context_.get(), packet_.get());
  av_packet_unref(packet_.get());  // forgets the borrowed bytes
  if (sent < 0) {
    av_strerror(sent, error_, sizeof error_);
    return Result::kRefused;
  }
  return Result::kDecoded;
}

}  // namespace player
