#include "platform/player/decode_thread.h"

#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/player/sink_access.h"
#include "platform/player/sink_painter.h"
#include "platform/sys/thread.h"

namespace player {
namespace {

// Demuxer read size: 8 KB is what the MPEG-TS demuxer probes at open; larger
// buys nothing, since a read returns whatever the port holds.
constexpr int kReadChunkBytes = 8192;

struct FormatClose {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct IoFree {
  void operator()(AVIOContext* io) const {
    if (io != nullptr) {
      av_freep(&io->buffer);
    }
    avio_context_free(&io);
  }
};
struct CodecFree {
  void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

int ReadInput(void* opaque, uint8_t* buffer, int size) {
  auto& input = *static_cast<InputBuffer*>(opaque);
  const size_t count = input.Read(buffer, static_cast<size_t>(size));
  // Never 0: the demuxer would take it for "try again" and spin.
  return count == 0 ? AVERROR_EOF : static_cast<int>(count);
}

int Interrupted(void* opaque) { return static_cast<std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

// Opens the decoder for a video stream with the low-delay settings: a picture
// leaves the decoder as soon as its last slice is in, on this one thread.
std::unique_ptr<AVCodecContext, CodecFree> OpenDecoder(const AVCodecParameters& parameters) {
  const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
  if (codec == nullptr) {
    return nullptr;
  }
  std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(codec));
  if (!context || avcodec_parameters_to_context(context.get(), &parameters) < 0) {
    return nullptr;
  }
  context->flags |= AV_CODEC_FLAG_LOW_DELAY;
  // One thread: frame threading adds a picture of delay per thread, and one
  // core decodes 1080p at 8 Mbit/s at over 100 pictures/s.
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) {
    return nullptr;
  }
  return context;
}

}  // namespace

DecodeThread::DecodeThread(InputBuffer& input, LastPicture& last, HWND window)
    : input_(input), last_(last), window_(window) {}

DecodeThread::~DecodeThread() { Stop(); }

bool DecodeThread::Start(const char* name) {
  thread_ = CreateThread(&DecodeThread::Main, this, name);
  return thread_ != nullptr;
}

void DecodeThread::Stop() {
  if (thread_ == nullptr) {
    return;
  }
  stopping_.store(true);
  input_.Close();
  CloseHandle(thread_);  // joins: every wait of the thread ends on the close
  thread_ = nullptr;
}

DWORD DecodeThread::Main(void* self) {
  try {
    static_cast<DecodeThread*>(self)->Run();
  } catch (const std::bad_alloc&) {
    // Out of memory: the port stops showing pictures; the stop still works.
  }
  return 0;
}

void DecodeThread::Run() {
  auto* readBuffer = static_cast<uint8_t*>(av_malloc(kReadChunkBytes));
  if (readBuffer == nullptr) {
    return;
  }
  std::unique_ptr<AVIOContext, IoFree> io(
      avio_alloc_context(readBuffer, kReadChunkBytes, 0, &input_, &ReadInput, nullptr, nullptr));
  if (!io) {
    av_free(readBuffer);
    return;
  }
  AVFormatContext* opening = avformat_alloc_context();
  if (opening == nullptr) {
    return;
  }
  opening->pb = io.get();
  opening->flags |= AVFMT_FLAG_CUSTOM_IO;
  opening->interrupt_callback = {&Interrupted, &stopping_};
  // No stream-info probing (it would wait for over a second of stream); the
  // program map table says what the streams are.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "probesize", "32", 0);
  av_dict_set(&options, "analyzeduration", "0", 0);
  // noparse: each PES (one picture as the device muxes it) goes to the decoder
  // as it is. The H.264 parser would hold every picture back until the next
  // one starts, a whole picture interval of delay; the decoder finds key
  // frames and parameter sets by itself, so the parser's key-frame flag is
  // not missed.
  av_dict_set(&options, "fflags", "nobuffer+noparse", 0);
  // Blocks until about 8 KB have come in; that is why it runs here and not in
  // PlayM4_OpenStream. It frees the context itself when it fails.
  const int opened = avformat_open_input(&opening, nullptr, av_find_input_format("mpegts"), &options);
  av_dict_free(&options);
  if (opened < 0) {
    return;
  }
  std::unique_ptr<AVFormatContext, FormatClose> format(opening);

  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!packet || !frame) {
    return;
  }
  std::unique_ptr<AVCodecContext, CodecFree> decoder;
  int decodedStream = -1;  // index of the stream decoder decodes
  SinkPainter painter;

  while (!stopping_.load()) {
    const int read = av_read_frame(format.get(), packet.get());
    if (read < 0) {
      if (read == AVERROR_EOF || io->eof_reached) {
        break;  // the input was closed: the port stops
      }
      continue;  // damaged input; the demuxer resynchronises on what follows
    }
    const AVStream* stream = format->streams[packet->stream_index];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (packet->stream_index != decodedStream) {
        decoder = OpenDecoder(*stream->codecpar);
        decodedStream = decoder ? packet->stream_index : -1;
      }
      if (decoder && avcodec_send_packet(decoder.get(), packet.get()) >= 0) {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
          last_.Keep(*frame);
          if (window_ != nullptr) {
            WithVideoSink(window_, [&](VideoSink& sink) { painter.Paint(*frame, sink); });
          }
          av_frame_unref(frame.get());
        }
      }
    }
    av_packet_unref(packet.get());
  }
}

}  // namespace player
