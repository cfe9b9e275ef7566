// Writes the seed corpora of the stream fuzzers into the folder given
// (fuzz/corpus): small real streams, made once and committed.
//   fuzz_player_stream/  header and pictures as the device delivers them
//   fuzz_device/         encoded pictures as a camera's RTSP stream carries them
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/device_input.h"
#include "tests/player/ts_maker.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace {

constexpr int kRtpClock = 90000;  // an RTSP camera's video time base

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string Concatenated(const playertest::TsStream& stream) {
  std::string bytes(stream.header.begin(), stream.header.end());
  for (const auto& chunk : stream.chunks) {
    bytes.append(chunk.begin(), chunk.end());
  }
  return bytes;
}

bool WritePlayerSeeds(const std::string& dir) {
  playertest::EncodeSettings tiny;
  tiny.width = 64;
  tiny.height = 48;
  tiny.keyInterval = 4;
  playertest::EncodeSettings small = tiny;
  small.width = 96;
  small.height = 64;
  small.keyInterval = 3;

  playertest::TsMaker resized;  // a picture size change inside one stream
  if (!resized.AddSegment(tiny, 3, playertest::PaintPattern) ||
      !resized.AddSegment(small, 3, playertest::PaintPattern)) {
    return false;
  }
  return WriteFile(dir + "/pattern_64x48.ts",
                   Concatenated(playertest::MakeStream(tiny, 8, playertest::PaintPattern))) &&
         WriteFile(dir + "/solid_96x64.ts",
                   Concatenated(playertest::MakeStream(small, 6, [](int, AVFrame& frame) {
                     playertest::PaintSolidCentre(frame, 200, 40, 40);
                   }))) &&
         WriteFile(dir + "/resized.ts", Concatenated(resized.Stream()));
}

// Encodes count pictures; with globalHeader SPS/PPS travel as extradata only,
// as a camera that gives them in the SDP sends them.
bool EncodeDeviceSeed(const std::string& path, int count, bool globalHeader, bool reconnect) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  AVCodecContext* encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
  if (encoder == nullptr) {
    return false;
  }
  encoder->width = 64;
  encoder->height = 48;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = {1, kRtpClock};
  encoder->framerate = {25, 1};
  encoder->gop_size = 4;
  encoder->max_b_frames = 0;
  if (globalHeader) {
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  av_opt_set(encoder->priv_data, "preset", "ultrafast", 0);
  av_opt_set(encoder->priv_data, "tune", "zerolatency", 0);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = avcodec_open2(encoder, codec, nullptr) == 0 && frame != nullptr && packet != nullptr;
  if (ok) {
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = encoder->width;
    frame->height = encoder->height;
    ok = av_frame_get_buffer(frame, 0) == 0;
  }

  std::string out;
  fuzzdevice::PutUnsigned(out, 1, 2);
  fuzzdevice::PutUnsigned(out, kRtpClock, 4);
  fuzzdevice::PutUnsigned(out, static_cast<uint64_t>(encoder->width), 2);
  fuzzdevice::PutUnsigned(out, static_cast<uint64_t>(encoder->height), 2);
  fuzzdevice::PutUnsigned(out, static_cast<uint64_t>(ok ? encoder->extradata_size : 0), 2);
  if (ok) {
    out.append(reinterpret_cast<const char*>(encoder->extradata),
               static_cast<size_t>(encoder->extradata_size));
  }
  int written = 0;
  auto drain = [&]() {
    while (ok && avcodec_receive_packet(encoder, packet) == 0) {
      uint8_t flags = fuzzdevice::kHasPts;
      if ((packet->flags & AV_PKT_FLAG_KEY) != 0) {
        flags |= fuzzdevice::kKeyFrame;
      }
      if (reconnect && written == count / 2) {
        flags |= fuzzdevice::kReconnect;
      }
      // The first packet of an RTSP read has no pts.
      if (written == 0) {
        flags &= static_cast<uint8_t>(~fuzzdevice::kHasPts);
      }
      out.push_back(static_cast<char>(flags));
      if ((flags & fuzzdevice::kHasPts) != 0) {
        fuzzdevice::PutUnsigned(out, static_cast<uint64_t>(packet->pts), 8);
      }
      fuzzdevice::PutUnsigned(out, static_cast<uint64_t>(packet->size), 2);
      out.append(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
      ++written;
      av_packet_unref(packet);
    }
  };
  for (int index = 0; ok && index < count; ++index) {
    ok = av_frame_make_writable(frame) == 0;
    if (ok) {
      playertest::PaintPattern(index, *frame);
      frame->pts = static_cast<int64_t>(index) * kRtpClock / 25;
      ok = avcodec_send_frame(encoder, frame) == 0;
    }
    drain();
  }
  if (ok) {
    avcodec_send_frame(encoder, nullptr);
    drain();
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&encoder);
  return ok && WriteFile(path, out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus FOLDER (fuzz/corpus)\n");
    return 2;
  }
  const std::string top = argv[1];
  av_log_set_level(AV_LOG_FATAL);
  const bool ok = WritePlayerSeeds(top + "/fuzz_player_stream") &&
                  EncodeDeviceSeed(top + "/fuzz_device/in_band.bin", 6, false, false) &&
                  EncodeDeviceSeed(top + "/fuzz_device/sdp_parameters.bin", 6, true, false) &&
                  EncodeDeviceSeed(top + "/fuzz_device/reconnect.bin", 8, false, true);
  if (!ok) {
    std::fprintf(stderr, "make_corpus: could not make the seeds\n");
    return 1;
  }
  return 0;
}
