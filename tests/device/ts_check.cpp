#include "tests/device/ts_check.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

namespace testing_device {
namespace {

struct MemoryReader {
  const std::string* bytes;
  size_t offset;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
  auto* reader = static_cast<MemoryReader*>(opaque);
  const size_t left = reader->bytes->size() - reader->offset;
  if (left == 0) {
    return AVERROR_EOF;
  }
  const size_t n = std::min(left, static_cast<size_t>(size));
  std::memcpy(buffer, reader->bytes->data() + reader->offset, n);
  reader->offset += n;
  return static_cast<int>(n);
}

// NAL unit types after Annex B start codes: SPS and PPS, and for H.265 VPS.
bool HasParameterSets(const uint8_t* data, int size, bool h265) {
  bool vps = !h265;
  bool sps = false;
  bool pps = false;
  for (int i = 0; i + 3 < size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      const int type = h265 ? (data[i + 3] >> 1) & 0x3F : data[i + 3] & 0x1F;
      vps = vps || (h265 && type == 32);
      sps = sps || type == (h265 ? 33 : 7);
      pps = pps || type == (h265 ? 34 : 8);
    }
  }
  return vps && sps && pps;
}

}  // namespace

void StreamRecorder::Callback(LONG, DWORD dataType, BYTE* buffer, DWORD size, void* user) {
  auto* self = static_cast<StreamRecorder*>(user);
  self->m_inCallback.store(true);
  bool whole = size % 188 == 0;
  for (DWORD at = 0; whole && at < size; at += 188) {
    whole = buffer[at] == 0x47;
  }
  {
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_pieces.push_back({dataType, size, whole});
    self->m_bytes.append(reinterpret_cast<const char*>(buffer), size);
    if (dataType == NET_DVR_SYSHEAD) {
      self->m_header.append(reinterpret_cast<const char*>(buffer), size);
    }
  }
  if (self->m_delayMs.load() > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(self->m_delayMs.load()));
  }
  self->m_count.fetch_add(1);
  self->m_inCallback.store(false);
}

std::vector<Piece> StreamRecorder::Pieces() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_pieces;
}

std::string StreamRecorder::Bytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bytes;
}

std::string StreamRecorder::HeaderBytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_header;
}

TsSummary DemuxTs(const std::string& bytes) {
  TsSummary summary;
  MemoryReader reader{&bytes, 0};
  constexpr int kBufferBytes = 4096;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferBytes));
  AVIOContext* io =
      avio_alloc_context(buffer, kBufferBytes, 0, &reader, ReadMemory, nullptr, nullptr);
  AVFormatContext* input = avformat_alloc_context();
  input->pb = io;
  input->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&input, nullptr, av_find_input_format("mpegts"), nullptr) == 0) {
    summary.opened = true;
    const AVCodecID codec =
        input->nb_streams == 1 ? input->streams[0]->codecpar->codec_id : AV_CODEC_ID_NONE;
    summary.h264 = codec == AV_CODEC_ID_H264;
    summary.h265 = codec == AV_CODEC_ID_HEVC;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input, packet) >= 0) {
      ++summary.frames;
      if ((packet->flags & AV_PKT_FLAG_KEY) != 0) {
        ++summary.keyFrames;
        if (HasParameterSets(packet->data, packet->size, summary.h265)) {
          ++summary.keyFramesWithSpsPps;
        }
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
  }  // a failed open has freed the context itself
  av_freep(&io->buffer);
  avio_context_free(&io);
  return summary;
}

std::vector<int> PidsOf(const std::string& bytes) {
  std::vector<int> pids;
  for (size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    pids.push_back(((p[1] & 0x1F) << 8) | p[2]);
  }
  return pids;
}

}  // namespace testing_device
