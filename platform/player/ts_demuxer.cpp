#include "platform/player/ts_demuxer.h"

#include <algorithm>
#include <cstring>

namespace player {
namespace {

using stream::kTsPacketBytes;
using stream::kTsSyncByte;
// A picture and the PES header around it.
constexpr size_t kMaxPesBytes = kMaxPictureBytes + 64 * 1024;

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
  const unsigned pid = stream::PacketPid(packet);
  if (pid == videoPid_) {
    VideoPacket(packet);
  } else if (pid == stream::kPatPid || pid == pmtPid_) {
    ProgramTables(packet);
  }
}

void TsDemuxer::ProgramTables(const uint8_t* packet) {
  const std::optional<stream::Section> section = stream::SectionIn(packet);
  if (!section) {
    return;
  }
  if (section->pid == stream::kPatPid && section->bytes[0] == stream::kPatTableId) {
    const std::vector<unsigned> pmtPids = stream::PmtPidsOf(*section);
    if (!pmtPids.empty()) {
      pmtPid_ = pmtPids.front();  // the first program is the one
    }
    return;
  }
  if (section->pid != pmtPid_) {
    return;
  }
  const std::optional<stream::VideoStream> video = stream::VideoStreamOf(*section);
  if (video && (video->pid != videoPid_ || video->codec != codec_)) {
    // Another stream (a camera that came back with other settings): what was
    // joined of the old one is no picture of the new one.
    pes_.clear();
    joining_ = false;
    videoPid_ = video->pid;
    codec_ = video->codec;
  }
}

void TsDemuxer::VideoPacket(const uint8_t* packet) {
  const std::optional<stream::Payload> payload = stream::PacketPayload(packet);
  if (!payload) {
    return;
  }
  if (stream::PacketStartsUnit(packet)) {
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
  if (pes_.size() >= stream::kPesFixedBytes) {
    const size_t stated = (pes_[4] << 8) | pes_[5];
    if (stated != 0 && pes_.size() >= stream::kPesFixedBytes + stated) {
      pes_.resize(stream::kPesFixedBytes + stated);
      EndPes();
    }
  }
}

void TsDemuxer::EndPes() {
  joining_ = false;
  const std::optional<stream::PesHeader> header = stream::ReadPesHeader(pes_.data(), pes_.size());
  if (!header || header->dataOffset >= pes_.size() || codec_ == stream::VideoCodec::kNone) {
    ++droppedPes_;
    pes_.clear();
    return;
  }
  DemuxedPicture picture;
  picture.codec = codec_;
  picture.bytes = pes_.data() + header->dataOffset;
  picture.size = pes_.size() - header->dataOffset;
  picture.pts = header->pts;
  picture.dts = header->dts;
  output_(picture);
  pes_.clear();
}

}  // namespace player
