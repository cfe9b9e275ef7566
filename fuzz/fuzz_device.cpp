// The device layer's remux path fed what a camera could send: stream
// parameters and packets with any data, key flags, time stamps and
// reconnections. Whatever comes in, the program must get one header that
// opens a player port, then whole TS packets only.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/device_input.h"
#include "platform/device/device.h"
#include "platform/device/ts_remuxer.h"
#include "platform/player/stream_header.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace {

constexpr int kTsPacket = device::TsRemuxer::kTsPacketBytes;
constexpr uint8_t kSyncByte = 0x47;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_device: %s\n", what);
    std::abort();
  }
}

// Checks every delivery as the program's stream intake would receive it.
struct DeliveryCheck {
  bool headerSeen = false;

  void operator()(DWORD type, BYTE* data, DWORD size) {
    Check(size % kTsPacket == 0, "a delivery that is not whole TS packets");
    for (DWORD at = 0; at < size; at += kTsPacket) {
      Check(data[at] == kSyncByte, "a TS packet without its sync byte");
    }
    if (!headerSeen) {
      Check(type == NET_DVR_SYSHEAD, "data before the header");
      Check(player::IsStreamHeader(data, size), "a header the player refuses");
      headerSeen = true;
    } else {
      Check(type == NET_DVR_STREAMDATA, "a second header");
      Check(size > 0, "an empty data delivery");
    }
  }
};

AVCodecParameters* ReadParameters(fuzzdevice::Reader& in, AVRational* timeBase) {
  const int num = static_cast<int>(in.Unsigned(2));
  const int den = static_cast<int>(in.Unsigned(4) & 0x7FFFFFFF);
  *timeBase = AVRational{num == 0 ? 1 : num, den == 0 ? 90000 : den};
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  Check(parameters != nullptr, "out of memory");
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = AV_CODEC_ID_H264;
  parameters->width = static_cast<int>(in.Unsigned(2));
  parameters->height = static_cast<int>(in.Unsigned(2));
  size_t extraSize = 0;
  const uint8_t* extra = in.Bytes(in.Unsigned(2), &extraSize);
  if (extraSize != 0) {
    parameters->extradata =
        static_cast<uint8_t*>(av_mallocz(extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
    Check(parameters->extradata != nullptr, "out of memory");
    std::memcpy(parameters->extradata, extra, extraSize);
    parameters->extradata_size = static_cast<int>(extraSize);
  }
  return parameters;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);  // damaged packets make the muxer talk
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzdevice::Reader in(data, size);
  AVRational timeBase;
  AVCodecParameters* parameters = ReadParameters(in, &timeBase);
  AVPacket* packet = av_packet_alloc();
  Check(packet != nullptr, "out of memory");
  {
    DeliveryCheck check;
    device::TsRemuxer remuxer([&check](DWORD type, BYTE* bytes, DWORD count) {
      check(type, bytes, count);
    });
    // As the receive thread does: a refused packet breaks the connection,
    // and the next one starts anew.
    bool connected = remuxer.BeginConnection(parameters, timeBase) == 0;
    while (connected && !in.AtEnd()) {
      const auto flags = static_cast<uint8_t>(in.Unsigned(1));
      const int64_t pts =
          (flags & fuzzdevice::kHasPts) != 0 ? static_cast<int64_t>(in.Unsigned(8)) : AV_NOPTS_VALUE;
      size_t count = 0;
      const uint8_t* bytes = in.Bytes(in.Unsigned(2), &count);
      if ((flags & fuzzdevice::kReconnect) != 0) {
        connected = remuxer.BeginConnection(parameters, timeBase) == 0;
      }
      Check(av_new_packet(packet, static_cast<int>(count)) == 0, "out of memory");
      if (count != 0) {
        std::memcpy(packet->data, bytes, count);
      }
      packet->pts = pts;
      packet->flags = (flags & fuzzdevice::kKeyFrame) != 0 ? AV_PKT_FLAG_KEY : 0;
      if (connected && remuxer.Write(packet) < 0) {
        connected = remuxer.BeginConnection(parameters, timeBase) == 0;
      }
      av_packet_unref(packet);
    }
  }
  av_packet_free(&packet);
  avcodec_parameters_free(&parameters);
  return 0;
}
