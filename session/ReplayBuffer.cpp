#include "session/ReplayBuffer.h"

#include <cstdlib>
#include <new>

#include "platform/sys/clock.h"

ReplayBuffer g_replayBuffer;

namespace {

constexpr DWORD kTsPacketBytes = 188;
constexpr BYTE kTsSync = 0x47;

// Age of a tick in ms, modulo 2^32 read as signed (see DecThread).
LONG AgeMs(DWORD now, DWORD tick) { return static_cast<LONG>(now - tick); }

// The PTS of a PES header (pes points at its start code), -1 when it has none.
int64_t PesPts(const BYTE* pes, DWORD bytes) {
  if (bytes < 14 || (pes[7] & 0x80) == 0) {
    return -1;
  }
  return (static_cast<int64_t>((pes[9] >> 1) & 7) << 30) | (static_cast<int64_t>(pes[10]) << 22) |
         (static_cast<int64_t>(pes[11] >> 1) << 15) | (static_cast<int64_t>(pes[12]) << 7) |
         (pes[13] >> 1);
}

}  // namespace

PictureScan ScanPictures(const BYTE* data, DWORD size) {
  PictureScan scan;
  for (DWORD at = 0; at + kTsPacketBytes <= size; at += kTsPacketBytes) {
    const BYTE* packet = data + at;
    if (packet[0] != kTsSync || (packet[1] & 0x40) == 0) {
      continue;  // not the start of a PES
    }
    const int control = (packet[3] >> 4) & 3;
    DWORD payload = 4;
    bool randomAccess = false;
    if ((control & 2) != 0) {
      const DWORD fieldBytes = packet[4];
      randomAccess = fieldBytes > 0 && (packet[5] & 0x40) != 0;
      payload += 1 + fieldBytes;
    }
    if ((control & 1) == 0 || payload + 4 > kTsPacketBytes) {
      continue;
    }
    const BYTE* pes = packet + payload;
    // A video PES (stream ids 0xE0..0xEF) starts one picture.
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || (pes[3] & 0xF0) != 0xE0) {
      continue;
    }
    if (scan.nPictures == 0) {
      scan.bKey = randomAccess;
      scan.llFirstPts = PesPts(pes, kTsPacketBytes - payload);
    }
    ++scan.nPictures;
  }
  return scan;
}

void ReplayBuffer::Restart(const BYTE* header, DWORD size) {
  auto kept = std::make_shared<const std::vector<BYTE>>(header, header + size);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_records.clear();
  m_nDataBytes = 0;
  m_llPictures = 0;
  m_header = std::move(kept);
}

void ReplayBuffer::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_records.clear();
  m_nDataBytes = 0;
  m_llPictures = 0;
  m_header = nullptr;
}

bool ReplayBuffer::Append(const BYTE* data, DWORD size) {
  if (size == 0 || size > kReplayMaxBytes) {
    return false;
  }
  // Copied and scanned outside the lock: readers never wait for a copy.
  std::shared_ptr<ReplayRecord> record;
  try {
    record = std::make_shared<ReplayRecord>();
    record->data.assign(data, data + size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  record->dwTick = GetTickCount();
  const PictureScan scan = ScanPictures(data, size);
  record->nPictures = scan.nPictures;
  record->bKey = scan.bKey;
  record->llFirstPts = scan.llFirstPts;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_header == nullptr) {
    return false;
  }
  record->llFirstPicture = m_llPictures;
  m_llPictures += record->nPictures;
  m_nDataBytes += size;
  m_records.push_back(std::move(record));
  Evict(m_records.back()->dwTick);
  if (m_nDataBytes > m_nPeakBytes) {
    m_nPeakBytes = m_nDataBytes;
  }
  return true;
}

void ReplayBuffer::Evict(DWORD now) {
  while (!m_records.empty() &&
         (m_nDataBytes > kReplayMaxBytes ||
          AgeMs(now, m_records.front()->dwTick) > static_cast<LONG>(kReplayKeepMs))) {
    m_nDataBytes -= m_records.front()->data.size();
    m_records.pop_front();
  }
}

ReplaySpan ReplayBuffer::SpanFrom(size_t first, size_t end) const {
  ReplaySpan span;
  span.header = m_header;
  span.records.assign(m_records.begin() + static_cast<std::ptrdiff_t>(first),
                      m_records.begin() + static_cast<std::ptrdiff_t>(end));
  return span;
}

ReplaySpan ReplayBuffer::SpanFromKeyBefore(DWORD fromTick) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  size_t chosen = m_records.size();
  for (size_t i = 0; i < m_records.size(); ++i) {
    if (!m_records[i]->bKey) {
      continue;
    }
    if (chosen == m_records.size() || AgeMs(fromTick, m_records[i]->dwTick) >= 0) {
      chosen = i;  // the oldest key, then every key at or before fromTick
    }
    if (AgeMs(fromTick, m_records[i]->dwTick) < 0) {
      break;
    }
  }
  return chosen == m_records.size() ? ReplaySpan{m_header, {}} : SpanFrom(chosen, m_records.size());
}

ReplaySpan ReplayBuffer::SpanFromKeyNearest(DWORD fromTick) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  size_t chosen = m_records.size();
  LONG best = 0;
  for (size_t i = 0; i < m_records.size(); ++i) {
    if (!m_records[i]->bKey) {
      continue;
    }
    LONG distance = AgeMs(fromTick, m_records[i]->dwTick);
    distance = distance < 0 ? -distance : distance;
    if (chosen == m_records.size() || distance < best) {
      chosen = i;
      best = distance;
    }
  }
  return chosen == m_records.size() ? ReplaySpan{m_header, {}} : SpanFrom(chosen, m_records.size());
}

ReplaySpan ReplayBuffer::SpanForPicture(int64_t picture, int* skip) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const size_t none = m_records.size();
  size_t key = none;
  size_t end = none;
  for (size_t i = 0; i < m_records.size(); ++i) {
    const ReplayRecord& record = *m_records[i];
    if (record.bKey && record.llFirstPicture <= picture) {
      key = i;
    }
    if (record.nPictures > 0 && record.llFirstPicture + record.nPictures > picture + 1) {
      end = i + 1;  // picture + 1 starts here: picture is whole before it
      break;
    }
  }
  if (key == none || end == none) {
    return ReplaySpan{m_header, {}};
  }
  *skip = static_cast<int>(picture - m_records[key]->llFirstPicture);
  return SpanFrom(key, end);
}

bool ReplayBuffer::PictureOfPts(int64_t pts, int64_t* picture) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  int64_t bestDistance = -1;
  for (const ReplayRecordRef& record : m_records) {
    if (record->nPictures == 0 || record->llFirstPts < 0) {
      continue;
    }
    const int64_t distance = std::abs(record->llFirstPts - pts);
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      *picture = record->llFirstPicture;
    }
  }
  return bestDistance >= 0;
}

bool ReplayBuffer::PictureRange(int64_t* oldest, int64_t* newest) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_llPictures == 0 || m_records.empty()) {
    return false;
  }
  *oldest = m_records.front()->llFirstPicture;
  *newest = m_llPictures - 1;
  return true;
}

size_t ReplayBuffer::DataBytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nDataBytes;
}

size_t ReplayBuffer::PeakBytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nPeakBytes;
}
