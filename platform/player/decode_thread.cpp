#include "platform/player/decode_thread.h"

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "platform/player/decoded_picture.h"
#include "platform/player/diagnostics.h"
#include "platform/player/ts_demuxer.h"
#include "platform/player/video_decoder.h"
#include "platform/sys/thread.h"

namespace player {
namespace {

// Bytes taken from the input at once: a read never waits for more than the
// input holds, and never reads past the end of a fed piece.
constexpr size_t kReadChunkBytes = 64 * 1024;

}  // namespace

DecodeThread::DecodeThread(LONG port, InputBuffer& input, LastPicture& last,
                           StageCounters& counters, HWND window)
    : port_(port), input_(input), last_(last), counters_(counters), window_(window) {}

DecodeThread::~DecodeThread() { Stop(); }

bool DecodeThread::Start() {
  const std::string number = std::to_string(port_);
  if (window_ != nullptr) {
    presenter_ = std::make_unique<Presenter>(port_, window_, last_, counters_);
    if (!presenter_->Start(("player-pre-" + number).c_str())) {
      presenter_.reset();
      return false;
    }
  }
  thread_ = CreateThread(&DecodeThread::Main, this, ("player-dec-" + number).c_str());
  if (thread_ == nullptr) {
    presenter_.reset();
  }
  return thread_ != nullptr;
}

void DecodeThread::Stop() {
  if (thread_ != nullptr) {
    input_.Close();
    // Joins: the thread's waits end on the close, or on the presenter taking
    // a picture (it runs until after this).
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  presenter_.reset();  // stops and joins it
}

DWORD DecodeThread::Main(void* self) {
  auto& thread = *static_cast<DecodeThread*>(self);
  try {
    thread.Run();
  } catch (const std::bad_alloc&) {
    // The port stops showing pictures; the stop still works.
    Diagnose(Diagnostic::kMemory, "port %d: out of memory, decoding stopped",
             static_cast<int>(thread.port_));
  }
  return 0;
}

void DecodeThread::Run() {
  using Clock = InputBuffer::Clock;
  std::vector<uint8_t> chunk(kReadChunkBytes);
  VideoDecoder decoder;
  const int port = static_cast<int>(port_);

  auto show = [&](AVFrame& frame) {
    if (!presenter_) {
      last_.Keep(frame);  // no window: kept for snapshots only
      return;
    }
    PictureRef picture = DecodedPicture::Share(frame);
    if (!picture) {
      counters_.PicturesDropped(1);
      Diagnose(Diagnostic::kMemory, "port %d: out of memory passing a picture on", port);
      return;
    }
    presenter_->Push(std::move(picture), frame.pts == AV_NOPTS_VALUE ? -1 : frame.pts);
  };
  // When the piece being worked through was fed: a picture the demuxer hands
  // on was completed by it.
  Clock::time_point pieceWritten;
  TsDemuxer demuxer([&](const DemuxedPicture& picture) {
    const auto started = Clock::now();
    const VideoDecoder::Result result = decoder.Decode(picture, [&](AVFrame& frame) {
      const auto out = Clock::now();
      counters_.PictureDecoded(std::chrono::duration<double, std::milli>(out - started).count(),
                               std::chrono::duration<double, std::milli>(out - pieceWritten).count());
      show(frame);
    });
    counters_.DecoderThreads(decoder.Threads());
    if (result == VideoDecoder::Result::kRefused) {
      counters_.DecodeError();
      Diagnose(Diagnostic::kDecoder, "port %d: the decoder refused a picture of %zu bytes: %s",
               port, picture.size, decoder.LastError());
    } else if (result == VideoDecoder::Result::kNoDecoder) {
      counters_.PicturesDropped(1);
      Diagnose(Diagnostic::kDecoder, "port %d: %s for the stream's codec", port,
               decoder.LastError());
    }
  });

  uint64_t droppedPes = 0;
  uint64_t skippedBytes = 0;
  for (;;) {
    const InputBuffer::ReadPart part = input_.Read(chunk.data(), chunk.size());
    if (part.bytes == 0) {
      break;  // the input was closed: the port stops
    }
    pieceWritten = part.written;
    demuxer.Feed(chunk.data(), part.bytes);
    if (part.pieceEnds) {
      demuxer.EndPiece();
    }
    if (demuxer.DroppedPes() != droppedPes) {
      counters_.PicturesDropped(demuxer.DroppedPes() - droppedPes);
      droppedPes = demuxer.DroppedPes();
      Diagnose(Diagnostic::kDemux, "port %d: a picture was given up (too large or damaged)", port);
    }
    if (demuxer.SkippedBytes() != skippedBytes) {
      skippedBytes = demuxer.SkippedBytes();
      Diagnose(Diagnostic::kDemux, "port %d: %llu bytes skipped to find TS packets so far", port,
               static_cast<unsigned long long>(skippedBytes));
    }
  }
}

}  // namespace player
