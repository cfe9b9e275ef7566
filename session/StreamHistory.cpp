#include "session/StreamHistory.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>

#include "platform/stream/sps.h"
#include "platform/stream/ts.h"
#include "platform/sys/clock.h"

StreamHistory g_history;

namespace {

// Age of a tick in ms, modulo 2^32 read as signed (see DecThread).
LONG AgeMs(DWORD now, DWORD tick) { return static_cast<LONG>(now - tick); }

// Pictures a step feeds beyond what the reordering holds back: a decoder may
// wait for the next picture's start before it hands one out.
constexpr int64_t kStepSparePictures = 1;

// From one key frame's time stamp to the next one's (33 bits, wrapping),
// or by their arrival where a time stamp is missing (90 kHz).
int64_t GroupDuration(const HistoryRecord& key, const HistoryRecord& next) {
  constexpr int64_t kPtsWrap = int64_t{1} << 33;
  const int64_t from = key.pictures.empty() ? -1 : key.pictures.front();
  const int64_t to = next.pictures.empty() ? -1 : next.pictures.front();
  if (from < 0 || to < 0) {
    return static_cast<int64_t>(static_cast<DWORD>(next.dwTick - key.dwTick)) * 90;
  }
  return ((to - from) % kPtsWrap + kPtsWrap) % kPtsWrap;
}

// The codec the stream header's PMT names.
stream::VideoCodec CodecOfHeader(const BYTE* header, DWORD size) {
  for (DWORD at = 0; at + stream::kTsPacketBytes <= size; at += stream::kTsPacketBytes) {
    if (const auto section = stream::SectionIn(header + at)) {
      if (const auto video = stream::VideoStreamOf(*section)) {
        return video->codec;
      }
    }
  }
  return stream::VideoCodec::kNone;
}

}  // namespace

PictureScan ScanPictures(const BYTE* data, DWORD size, stream::VideoCodec codec) {
  PictureScan scan;
  for (DWORD at = 0; at + stream::kTsPacketBytes <= size; at += stream::kTsPacketBytes) {
    const BYTE* packet = data + at;
    if (packet[0] != stream::kTsSyncByte || !stream::PacketStartsUnit(packet)) {
      continue;  // not the start of a PES
    }
    const std::optional<stream::Payload> payload = stream::PacketPayload(packet);
    if (!payload) {
      continue;
    }
    const BYTE* pes = packet + payload->offset;
    // A video PES starts one picture, even one whose header cannot be read.
    if (!stream::StartsVideoPes(pes, payload->size)) {
      continue;
    }
    const std::optional<stream::PesHeader> header = stream::ReadPesHeader(pes, payload->size);
    if (scan.pictures.empty()) {
      scan.bKey = stream::PacketRandomAccess(packet);
      // A key frame carries its parameter sets in front: its SPS usually
      // fits in this first packet (a cut one states nothing).
      if (scan.bKey && header && header->dataOffset < payload->size) {
        scan.statedReorder = stream::StatedReorderDepthIn(codec, pes + header->dataOffset,
                                                          payload->size - header->dataOffset);
      }
    }
    scan.pictures.push_back(!header || header->pts == stream::kNoTimestamp ? -1 : header->pts);
    scan.lastDts = !header || header->dts == stream::kNoTimestamp ? -1 : header->dts;
  }
  return scan;
}

void StreamHistory::SetCapacity(size_t bytes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nCapacity = bytes;
}

void StreamHistory::Restart(const BYTE* header, DWORD size) {
  auto kept = std::make_shared<const std::vector<BYTE>>(header, header + size);
  const stream::VideoCodec codec = CodecOfHeader(header, size);
  std::lock_guard<std::mutex> lock(m_mutex);
  Forget();
  m_header = std::move(kept);
  m_codec = codec;
}

void StreamHistory::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  Forget();
  m_header = nullptr;
  m_codec = stream::VideoCodec::kNone;
}

void StreamHistory::Forget() {
  m_records.clear();
  m_nDataBytes = 0;
  m_llPictures = 0;
  m_llCurrentGroup = -1;
  m_nReorder = 0;
  m_recentPts.clear();
  ++m_llGeneration;
}

void StreamHistory::NoteReordering(const PictureScan& scan) {
  if (scan.statedReorder) {
    m_nReorder = std::max(m_nReorder, *scan.statedReorder);
  }
  for (int64_t pts : scan.pictures) {
    if (pts < 0) {
      continue;
    }
    const auto later = std::count_if(m_recentPts.begin(), m_recentPts.end(),
                                     [pts](int64_t seen) { return seen > pts; });
    m_nReorder = std::max(m_nReorder, static_cast<int>(later));
    m_recentPts.push_back(pts);
    if (m_recentPts.size() > kMaxReorder + 1) {
      m_recentPts.pop_front();
    }
  }
}

bool StreamHistory::Append(const BYTE* data, DWORD size, DWORD tick) {
  if (size == 0) {
    return false;
  }
  // Copied and scanned outside the lock: readers never wait for a copy.
  std::shared_ptr<HistoryRecord> record;
  try {
    record = std::make_shared<HistoryRecord>();
    record->data.assign(data, data + size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  record->dwTick = tick;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_header == nullptr || size > m_nCapacity) {
    return false;
  }
  // Scanned under the lock for the codec; the few packet starts of a record
  // take microseconds.
  PictureScan scan = ScanPictures(data, size, m_codec);
  NoteReordering(scan);
  record->pictures = std::move(scan.pictures);
  record->bKey = scan.bKey;
  if (record->bKey) {
    m_llCurrentGroup = m_llGroups++;
  }
  record->llGroup = m_llCurrentGroup;
  record->llLastDts = scan.lastDts;
  record->llFirstPicture = m_llPictures;
  m_llPictures += static_cast<int64_t>(record->pictures.size());
  m_nDataBytes += size;
  m_records.push_back(std::move(record));
  Evict();
  if (m_nDataBytes > m_nPeakBytes) {
    m_nPeakBytes = m_nDataBytes;
  }
  return true;
}

void StreamHistory::Evict() {
  while (!m_records.empty() && m_nDataBytes > m_nCapacity) {
    m_nDataBytes -= m_records.front()->data.size();
    m_records.pop_front();
  }
}

HistorySpan StreamHistory::SpanFrom(size_t first, size_t end) const {
  HistorySpan span;
  span.header = m_header;
  span.records.assign(m_records.begin() + static_cast<std::ptrdiff_t>(first),
                      m_records.begin() + static_cast<std::ptrdiff_t>(end));
  return span;
}

size_t StreamHistory::EndAt(DWORD untilTick) const {
  size_t end = m_records.size();
  while (end > 0 && AgeMs(untilTick, m_records[end - 1]->dwTick) < 0) {
    --end;
  }
  return end;
}

HistorySpan StreamHistory::SpanShown(size_t first, DWORD untilTick) const {
  // Every picture the stream has yet to bring is shown after the newest
  // decode time (a decode time is the time of a picture already shown), and
  // within the records a cut is whole when nothing after it is shown before
  // what comes before it.
  const size_t shownEnd = EndAt(untilTick);
  if (first >= shownEnd) {
    return HistorySpan{m_header, {}};
  }
  const int64_t newestDts = m_records.back()->llLastDts;
  std::vector<int64_t> laterMin(m_records.size() + 1, INT64_MAX);  // earliest time from i on
  for (size_t i = m_records.size(); i-- > first;) {
    laterMin[i] = laterMin[i + 1];
    for (int64_t pts : m_records[i]->pictures) {
      laterMin[i] = pts >= 0 ? std::min(laterMin[i], pts) : laterMin[i];
    }
  }
  size_t end = shownEnd;
  if (newestDts >= 0) {
    int64_t shownMax = INT64_MIN;
    for (size_t i = first; i < shownEnd; ++i) {
      for (int64_t pts : m_records[i]->pictures) {
        shownMax = std::max(shownMax, pts);
      }
      if (shownMax < laterMin[i + 1] && shownMax <= newestDts) {
        end = i + 1;
      }
    }
  }
  return SpanFrom(first, end);
}

HistorySpan StreamHistory::SpanFromKeyBefore(DWORD fromTick, DWORD untilTick) const {
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
  return chosen == m_records.size() ? HistorySpan{m_header, {}} : SpanShown(chosen, untilTick);
}

HistorySpan StreamHistory::SpanFromKeyNearest(DWORD fromTick, DWORD untilTick) const {
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
  return chosen == m_records.size() ? HistorySpan{m_header, {}} : SpanShown(chosen, untilTick);
}

std::vector<StreamHistory::Held> StreamHistory::ShowablePictures() const {
  std::vector<Held> pictures;
  bool afterKey = false;
  for (size_t i = 0; i < m_records.size(); ++i) {
    const HistoryRecord& record = *m_records[i];
    afterKey = afterKey || record.bKey;
    for (size_t p = 0; afterKey && p < record.pictures.size(); ++p) {
      if (record.pictures[p] >= 0) {
        pictures.push_back({i, record.llFirstPicture + static_cast<int64_t>(p), record.pictures[p]});
      }
    }
  }
  std::sort(pictures.begin(), pictures.end(),
            [](const Held& a, const Held& b) { return a.pts < b.pts; });
  return pictures;
}

bool StreamHistory::SpanBounds(const Held& target, size_t* first, size_t* end) const {
  // The key frame to start at: the last one decoded before the picture and
  // shown no later than it.
  size_t key = target.record + 1;
  for (size_t i = target.record + 1; i-- > 0;) {
    const HistoryRecord& record = *m_records[i];
    if (record.bKey && !record.pictures.empty() && record.pictures.front() <= target.pts) {
      key = i;
      break;
    }
  }
  if (key > target.record) {
    return false;
  }
  // The decoder hands the picture out once every picture it shows from the
  // key frame up to this one is decoded and its reordering is full behind
  // them. (Pictures decoded after the key frame but shown before it belong
  // to the group before and are not shown.)
  const int64_t keyPts = m_records[key]->pictures.front();
  int64_t lastNeeded = target.decoded;
  for (size_t i = key; i < m_records.size(); ++i) {
    const HistoryRecord& record = *m_records[i];
    for (size_t p = 0; p < record.pictures.size(); ++p) {
      if (record.pictures[p] >= keyPts && record.pictures[p] <= target.pts) {
        lastNeeded = std::max(lastNeeded, record.llFirstPicture + static_cast<int64_t>(p));
      }
    }
  }
  lastNeeded += m_nReorder + kStepSparePictures;
  for (size_t i = target.record; i < m_records.size(); ++i) {
    const HistoryRecord& record = *m_records[i];
    if (record.llFirstPicture + static_cast<int64_t>(record.pictures.size()) > lastNeeded) {
      *first = key;
      *end = i + 1;
      return true;
    }
  }
  return false;  // not yet held: the decoder could not hand it out
}

bool StreamHistory::NearestPts(int64_t pts, int64_t* held) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  int64_t bestDistance = -1;
  for (const HistoryRecordRef& record : m_records) {
    for (int64_t picture : record->pictures) {
      const int64_t distance = std::abs(picture - pts);
      if (picture >= 0 && (bestDistance < 0 || distance < bestDistance)) {
        bestDistance = distance;
        *held = picture;
      }
    }
  }
  return bestDistance >= 0;
}

bool StreamHistory::StepPts(int64_t pts, int pictures, DWORD untilTick, int64_t* target) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<Held> shown = ShowablePictures();
  const size_t shownEnd = EndAt(untilTick);
  shown.erase(std::remove_if(shown.begin(), shown.end(),
                             [shownEnd](const Held& held) { return held.record >= shownEnd; }),
              shown.end());
  if (shown.empty()) {
    return false;
  }
  // Where pts stands among them (the nearest picture).
  auto at = std::lower_bound(shown.begin(), shown.end(), pts,
                             [](const Held& held, int64_t value) { return held.pts < value; });
  if (at == shown.end() || (at != shown.begin() && pts - (at - 1)->pts < at->pts - pts)) {
    --at;
  }
  const auto from = static_cast<std::ptrdiff_t>(at - shown.begin());
  const auto last = static_cast<std::ptrdiff_t>(shown.size()) - 1;
  std::ptrdiff_t to = std::clamp(from + pictures, std::ptrdiff_t{0}, last);
  // At either end a picture may not be showable: the newest ones wait for
  // the pictures that let the decoder hand them out, the oldest for a key
  // frame. Short of one, the step goes no further than it can show.
  const auto showable = [&](std::ptrdiff_t index) {
    size_t first = 0;
    size_t end = 0;
    return SpanBounds(shown[static_cast<size_t>(index)], &first, &end);
  };
  const std::ptrdiff_t back = to > from ? -1 : 1;
  while (to != from && !showable(to)) {
    to += back;
  }
  // Even where it stands may not be showable (the newest picture): the
  // nearest older one that is.
  while (to >= 0 && !showable(to)) {
    --to;
  }
  if (to < 0) {
    return false;
  }
  *target = shown[static_cast<size_t>(to)].pts;
  return true;
}

HistorySpan StreamHistory::SpanForPts(int64_t pts) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const Held& held : ShowablePictures()) {
    size_t first = 0;
    size_t end = 0;
    if (held.pts == pts && SpanBounds(held, &first, &end)) {
      return SpanFrom(first, end);
    }
  }
  return HistorySpan{m_header, {}};
}

std::vector<HistoryGroup> StreamHistory::Groups() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<HistoryGroup> groups;
  size_t key = m_records.size();  // the key record of the group being summed up
  for (size_t i = 0; i < m_records.size(); ++i) {
    const HistoryRecord& record = *m_records[i];
    if (record.bKey) {
      if (key < i) {
        groups.back().llDurationPts = GroupDuration(*m_records[key], record);
      }
      key = i;
      groups.push_back({record.llGroup, record.dwTick, 0, 0});
    }
    if (key <= i) {
      groups.back().nBytes += record.data.size();
    }
  }
  if (key < m_records.size()) {
    groups.pop_back();  // the newest group still grows
  }
  return groups;
}

HistorySpan StreamHistory::GroupSpan(int64_t number) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  size_t first = m_records.size();
  for (size_t i = 0; i < m_records.size(); ++i) {
    const HistoryRecord& record = *m_records[i];
    if (record.bKey && record.llGroup == number) {
      first = i;
    } else if (record.bKey && first < i) {
      return SpanFrom(first, i);
    }
  }
  return HistorySpan{m_header, {}};
}

stream::VideoCodec StreamHistory::Codec() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_codec;
}

StreamHistory::Pace StreamHistory::PaceOver(DWORD windowMs) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_records.size() < 2) {
    return {};
  }
  const DWORD newest = m_records.back()->dwTick;
  size_t pictures = 0;
  size_t bytes = 0;
  DWORD oldest = newest;
  // The newest record's bytes and pictures end the span; the oldest's start it.
  for (size_t i = m_records.size(); i-- > 0 && AgeMs(newest, m_records[i]->dwTick) <=
                                                   static_cast<LONG>(windowMs);) {
    oldest = m_records[i]->dwTick;
    if (i + 1 < m_records.size()) {
      pictures += m_records[i + 1]->pictures.size();
      bytes += m_records[i + 1]->data.size();
    }
  }
  const double seconds = static_cast<double>(static_cast<DWORD>(newest - oldest)) / 1000;
  if (seconds <= 0) {
    return {};
  }
  return {static_cast<double>(pictures) / seconds, static_cast<double>(bytes) * 8 / seconds};
}

uint64_t StreamHistory::Generation() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_llGeneration;
}

size_t StreamHistory::DataBytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nDataBytes;
}

size_t StreamHistory::PeakBytes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nPeakBytes;
}
