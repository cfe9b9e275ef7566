#include "platform/player/ts_demuxer.h"

#include <algorithm>
#include <cstring>

namespace player {
namespace {

constexpr uint8_t kStreamTypeH264 = 0x1B;
constexpr uint8_t kStreamTypeH265 = 0x24;
// PES: start code (3), stream id (1), length (2), then the optional header:
// two flag bytes and its data length.
constexpr size_t kPesFixedBytes = 6;
constexpr size_t kPesHeaderBytes = 9;
// A picture and the PES header around it.
constexpr size_t kMaxPesBytes = kMaxPictureBytes + 64 * 1024;

int64_t Timestamp(const uint8_t* at) {
  return (static_cast<int64_t>(at[0] & 0x0E) << 29) | (static_cast<int64_t>(at[1]) << 22) |
         (static_cast<int64_t>(at[2] & 0xFE) << 14) | (static_cast<int64_t>(at[3]) << 7) |
         (at[4] >> 1);
}

// Damaged input: the offset of the next sync byte that is followed by another
// one packet later (or by the end of the bytes), so that a stray 0x47 inside
// a payload does not pass for a packet start.
size_t SyncOffset(const uint8_t* data, size_t size) {
  for (size_t at = 1; at < size; ++at) {
    if (data[at] == kTsSyncByte &&
        (at + kTsPacketBytes >= size || data[at + kTsPacketBytes] == kTsSyncByte)) {
      return at;
    }
  }
  return size;
}

}  // namespace

TsDemuxer::TsDemuxer(Output output) : output_(std::move(output)) {}

void TsDemuxer::Feed(const uint8_t* data, size_t size) {
  // Complete a packet begun in an earlier feed.
  if (partialBytes_ > 0) {
    const size_t take = std::min(size, kTsPacketBytes - partialBytes_);
    std::memcpy(partial_ + partialBytes_, data, take);
    partialBytes_ += take;
    data += take;
    size -= take;
    if (partialBytes_ < kTsPacketBytes) {
      return;
    }
    partialBytes_ = 0;
    Packet(partial_);
  }
  while (size >= kTsPacketBytes) {
    if (data[0] != kTsSyncByte) {
      const size_t skip = SyncOffset(data, size);
      skippedBytes_ += skip;
      data += skip;
      size -= skip;
      continue;
    }
    Packet(data);
    data += kTsPacketBytes;
    size -= kTsPacketBytes;
  }
  if (size > 0) {
    std::memcpy(partial_, data, size);
    partialBytes_ = size;
  }
}

void TsDemuxer::EndPiece() {
  // A piece holds whole packets: a part of one left over is damage, and the
  // next piece starts on a packet boundary again.
  skippedBytes_ += partialBytes_;
  partialBytes_ = 0;
  // Only a padded packet ends a PES of unstated length; a piece that ends in
  // the middle of a picture ends on a full packet.
  if (joining_ && lastPadded_) {
    EndPes();
  }
}

void TsDemuxer::Packet(const uint8_t* packet) {
  const unsigned pid = PacketPid(packet);
  if (pid == videoPid_) {
    VideoPacket(packet);
  } else if (pid == kPatPid || pid == pmtPid_) {
    ProgramTables(packet);
  }
}

void TsDemuxer::ProgramTables(const uint8_t* packet) {
  const std::optional<Section> section = SectionIn(packet);
  if (!section) {
    return;
  }
  const uint8_t* bytes = section->bytes;
  const size_t end = section->size - kSectionCrcBytes;
  if (section->pid == kPatPid && bytes[0] == kPatTableId) {
    // Program loop after the 8-byte header; the first program is the one.
    for (size_t entry = 8; entry + 4 <= end; entry += 4) {
      if (((bytes[entry] << 8) | bytes[entry + 1]) != 0) {  // 0 names the network PID
        pmtPid_ = ((bytes[entry + 2] & 0x1F) << 8) | bytes[entry + 3];
        break;
      }
    }
  } else if (section->pid == pmtPid_ && bytes[0] == kPmtTableId && end >= 12) {
    // Header (8), PCR PID (2), program info length (2) and its descriptors,
    // then one entry per stream: type (1), PID (2), info length (2), descriptors.
    size_t entry = 12 + (((bytes[10] & 0x0F) << 8) | bytes[11]);
    while (entry + 5 <= end) {
      const uint8_t type = bytes[entry];
      const unsigned pid = ((bytes[entry + 1] & 0x1F) << 8) | bytes[entry + 2];
      if (type == kStreamTypeH264 || type == kStreamTypeH265) {
        const VideoCodec codec = type == kStreamTypeH264 ? VideoCodec::kH264 : VideoCodec::kH265;
        if (pid != videoPid_ || codec != codec_) {
          // Another stream (a camera that came back with other settings):
          // what was joined of the old one is no picture of the new one.
          pes_.clear();
          joining_ = false;
          videoPid_ = pid;
          codec_ = codec;
        }
        return;
      }
      entry += 5 + (((bytes[entry + 3] & 0x0F) << 8) | bytes[entry + 4]);
    }
  }
}

void TsDemuxer::VideoPacket(const uint8_t* packet) {
  const std::optional<Payload> payload = PacketPayload(packet);
  if (!payload) {
    return;
  }
  if (PacketStartsUnit(packet)) {
    if (joining_) {
      EndPes();  // the next PES starts: the last one is whole
    }
    joining_ = true;
  } else if (!joining_) {
    return;  // the rest of a PES whose start was lost
  }
  if (pes_.size() + payload->size > kMaxPesBytes) {
    ++droppedPes_;
    pes_.clear();
    joining_ = false;
    return;
  }
  pes_.insert(pes_.end(), packet + payload->offset, packet + kTsPacketBytes);
  lastPadded_ = payload->padded;
  if (pes_.size() >= kPesFixedBytes) {
    const size_t stated = (pes_[4] << 8) | pes_[5];
    if (stated != 0 && pes_.size() >= kPesFixedBytes + stated) {
      pes_.resize(kPesFixedBytes + stated);
      EndPes();
    }
  }
}

void TsDemuxer::EndPes() {
  joining_ = false;
  // Start code 00 00 01, then the header with its '10' marker bits.
  const bool readable = pes_.size() >= kPesHeaderBytes && pes_[0] == 0 && pes_[1] == 0 &&
                        pes_[2] == 1 && (pes_[6] & 0xC0) == 0x80;
  const size_t dataStart = readable ? kPesHeaderBytes + pes_[8] : 0;
  if (!readable || dataStart >= pes_.size() || codec_ == VideoCodec::kNone) {
    ++droppedPes_;
    pes_.clear();
    return;
  }
  DemuxedPicture picture;
  picture.codec = codec_;
  picture.bytes = pes_.data() + dataStart;
  picture.size = pes_.size() - dataStart;
  const uint8_t timestamps = pes_[7] >> 6;  // 2: PTS, 3: PTS and DTS
  if ((timestamps & 0x2) && pes_[8] >= 5) {
    picture.pts = Timestamp(&pes_[kPesHeaderBytes]);
    picture.dts = picture.pts;
  }
  if (timestamps == 0x3 && pes_[8] >= 10) {
    picture.dts = Timestamp(&pes_[kPesHeaderBytes + 5]);
  }
  output_(picture);
  pes_.clear();
}

}  // namespace player
