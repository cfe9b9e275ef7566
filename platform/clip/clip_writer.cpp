#include "platform/clip/clip_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace clip {
namespace {

// Reads the pieces one after the other for the demuxer.
struct PieceReader {
  const std::vector<Bytes>* pieces;
  size_t piece = 0;   // index of the piece being read
  size_t offset = 0;  // bytes of it already read
};

int ReadPieces(void* opaque, uint8_t* buffer, int size) {
  auto* reader = static_cast<PieceReader*>(opaque);
  int copied = 0;
  while (copied < size && reader->piece < reader->pieces->size()) {
    const Bytes& piece = (*reader->pieces)[reader->piece];
    const size_t left = piece.size - reader->offset;
    const size_t now = std::min(left, static_cast<size_t>(size - copied));
    std::memcpy(buffer + copied, piece.data + reader->offset, now);
    copied += static_cast<int>(now);
    reader->offset += now;
    if (reader->offset == piece.size) {
      ++reader->piece;
      reader->offset = 0;
    }
  }
  return copied > 0 ? copied : AVERROR_EOF;
}

// 188 x 64: whole TS packets per read, as the device layer writes them.
constexpr int kReadBufferBytes = 188 * 64;

void Report(const char* what, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(error, text, sizeof text);
  std::fprintf(stderr, "clip: %s: %s\n", what, text);
}

class Remux {
 public:
  ~Remux() {
    if (out_ != nullptr) {
      if (out_->pb != nullptr) {
        avio_closep(&out_->pb);
      }
      avformat_free_context(out_);
    }
    avformat_close_input(&in_);
    if (io_ != nullptr) {
      av_freep(&io_->buffer);
      avio_context_free(&io_);
    }
  }

  bool Run(const std::vector<Bytes>& pieces, const std::string& path) {
    reader_.pieces = &pieces;
    if (!OpenInput() || !OpenOutput(path)) {
      return false;
    }
    return CopyPackets();
  }

 private:
  bool OpenInput() {
    auto* buffer = static_cast<uint8_t*>(av_malloc(kReadBufferBytes));
    io_ = buffer != nullptr
              ? avio_alloc_context(buffer, kReadBufferBytes, 0, &reader_, ReadPieces, nullptr, nullptr)
              : nullptr;
    in_ = avformat_alloc_context();
    if (io_ == nullptr || in_ == nullptr) {
      av_free(io_ == nullptr ? buffer : nullptr);
      std::fputs("clip: out of memory\n", stderr);
      return false;
    }
    in_->pb = io_;
    in_->flags |= AVFMT_FLAG_CUSTOM_IO;
    int error = avformat_open_input(&in_, nullptr, av_find_input_format("mpegts"), nullptr);
    if (error < 0) {
      Report("the stream cannot be read", error);
      return false;
    }
    // In memory this is quick; it gives the picture size and parameter sets
    // the MP4 header needs.
    error = avformat_find_stream_info(in_, nullptr);
    if (error < 0) {
      Report("the stream's video cannot be told", error);
      return false;
    }
    video_ = av_find_best_stream(in_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video_ < 0) {
      Report("no video in the stream", video_);
      return false;
    }
    return true;
  }

  bool OpenOutput(const std::string& path) {
    int error = avformat_alloc_output_context2(&out_, nullptr, "mp4", path.c_str());
    AVStream* stream = error >= 0 ? avformat_new_stream(out_, nullptr) : nullptr;
    if (stream == nullptr) {
      Report("no MP4 muxer", error < 0 ? error : AVERROR(ENOMEM));
      return false;
    }
    error = avcodec_parameters_copy(stream->codecpar, in_->streams[video_]->codecpar);
    stream->codecpar->codec_tag = 0;
    stream->time_base = in_->streams[video_]->time_base;
    if (error >= 0) {
      error = avio_open(&out_->pb, path.c_str(), AVIO_FLAG_WRITE);
    }
    if (error >= 0) {
      error = avformat_write_header(out_, nullptr);
    }
    if (error < 0) {
      Report(path.c_str(), error);
      return false;
    }
    return true;
  }

  bool CopyPackets() {
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) {
      return false;
    }
    const AVRational from = in_->streams[video_]->time_base;
    const AVRational to = out_->streams[0]->time_base;
    int64_t first = AV_NOPTS_VALUE;  // dts of the first key frame, input time base
    int64_t lastDts = AV_NOPTS_VALUE;
    int error = 0;
    int written = 0;
    while ((error = av_read_frame(in_, packet)) >= 0) {
      const bool take = packet->stream_index == video_ &&
                        (first != AV_NOPTS_VALUE || (packet->flags & AV_PKT_FLAG_KEY) != 0) &&
                        packet->dts != AV_NOPTS_VALUE;
      if (take) {
        if (first == AV_NOPTS_VALUE) {
          first = packet->dts;
        }
        packet->pts = (packet->pts == AV_NOPTS_VALUE ? packet->dts : packet->pts) - first;
        packet->dts -= first;
        av_packet_rescale_ts(packet, from, to);
        if (lastDts != AV_NOPTS_VALUE && packet->dts <= lastDts) {
          packet->dts = lastDts + 1;  // a repeated stamp would stop the muxer
          packet->pts = std::max(packet->pts, packet->dts);
        }
        lastDts = packet->dts;
        packet->stream_index = 0;
        packet->pos = -1;
        error = av_write_frame(out_, packet);
        if (error < 0) {
          break;
        }
        ++written;
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (error != AVERROR_EOF) {
      Report("the clip could not be written", error);
      return false;
    }
    if (written == 0) {
      std::fputs("clip: no key frame to start at\n", stderr);
      return false;
    }
    error = av_write_trailer(out_);
    if (error >= 0) {
      error = avio_closep(&out_->pb);
    }
    if (error < 0) {
      Report("the clip could not be finished", error);
      return false;
    }
    return true;
  }

  PieceReader reader_{};
  AVIOContext* io_ = nullptr;
  AVFormatContext* in_ = nullptr;
  AVFormatContext* out_ = nullptr;
  int video_ = -1;
};

}  // namespace

bool WriteMp4(const std::vector<Bytes>& pieces, const std::string& path) {
  bool written = false;
  {
    Remux remux;
    written = remux.Run(pieces, path);
  }
  if (!written) {
    std::remove(path.c_str());
  }
  return written;
}

}  // namespace clip
