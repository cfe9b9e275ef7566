// The replay buffer: every record the DecThread hands to the player, kept as
// fed (compressed) for the last kReplayKeepMs, at most kReplayMaxBytes of
// payload; the oldest records go first, whole. The stream header is kept
// beside it, so a replay, a picture step or a clip can open a stream of its
// own. The DecThread writes; the GUI side and the replay and clip workers read
// spans, which share the records (no payload is copied to read). A span keeps
// its records after they leave the buffer: a replay holds at most 30 s of
// them, the clips waiting at most 60 s each (ClipSaver bounds how many).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/stream/codec.h"
#include "platform/sys/types.h"

// What a coach may replay or clip: the longest clip (60 s).
constexpr DWORD kReplayKeepMs = 60000;
// 60 s of an 8 Mbit/s stream take 60 MB: the bound holds them, and a faster
// stream keeps less than 60 s rather than more memory.
constexpr size_t kReplayMaxBytes = 64u << 20;

// One record as fed, with what the replay needs to know of its pictures.
struct HistoryRecord {
  DWORD dwTick = 0;         // when it was fed (GetTickCount, ms)
  std::vector<BYTE> data;   // the payload, whole TS packets
  // Time stamps (90 kHz) of the video pictures that start in it, in decode
  // order; -1 for a picture without one.
  std::vector<int64_t> pictures;
  bool bKey = false;        // its first picture start is a key frame
  int64_t llFirstPicture = 0;  // decode number of the first picture starting here, since the header
  int64_t llLastDts = -1;   // decode time stamp (90 kHz) of its last picture, -1 for none
};
using HistoryRecordRef = std::shared_ptr<const HistoryRecord>;

// The TS-level facts about one record: the time stamps of the video pictures
// that start in it, in order (-1 for none), the last one's decode time
// stamp, whether the first is a key frame (random-access flag on its
// packet), and the reordering its SPS states.
struct PictureScan {
  std::vector<int64_t> pictures;
  int64_t lastDts = -1;
  bool bKey = false;
  std::optional<int> statedReorder;  // what a key frame's SPS says of the reordering
};
PictureScan ScanPictures(const BYTE* data, DWORD size, stream::VideoCodec codec);

// A run of records, oldest first, with the header that opens their stream.
struct HistorySpan {
  std::shared_ptr<const std::vector<BYTE>> header;  // null when none
  std::vector<HistoryRecordRef> records;
};

class StreamHistory {
 public:
  // A new stream: forgets every record and keeps header (the intake, when a
  // header opens the player).
  void Restart(const BYTE* header, DWORD size);
  // The DecThread, beside each PlayM4_InputData: keeps a copy of the bytes,
  // then drops the records that are too old or over the byte bound. Returns
  // false (keeping nothing) when no header was given or memory runs out.
  bool Append(const BYTE* data, DWORD size);
  // Forgets everything, the header too (end of the session).
  void Clear();

  // Spans that run to the newest records end where every picture shown
  // before their last is in them: with B-frames the newest pictures may
  // still wait for ones shown earlier.
  // Records from the key frame at or before tick `fromTick` to the newest;
  // when no key frame is that old, from the oldest key frame. Empty when no
  // key frame is held.
  HistorySpan SpanFromKeyBefore(DWORD fromTick) const;
  // Records from the key frame nearest to `fromTick` to the newest (a clip
  // starts at a key frame and lasts as asked within one key interval / 2).
  HistorySpan SpanFromKeyNearest(DWORD fromTick) const;
  // Pictures are found by their time stamps (90 kHz), in display order.
  // The held picture whose time stamp is nearest to pts (the one a window
  // shows); false when none is held.
  bool NearestPts(int64_t pts, int64_t* held) const;
  // The time stamp of the picture `pictures` places after (before, when
  // negative) pts in display order, among those a step can show; pts itself
  // when it is at that end. False when none is held.
  bool StepPts(int64_t pts, int pictures, int64_t* target) const;
  // Records from the key frame a decoder must start at to the record after
  // which it has handed the picture with time stamp pts out (its reordering
  // holds pictures back); empty when that is not (or no longer) held.
  HistorySpan SpanForPts(int64_t pts) const;

  size_t DataBytes() const;  // payload bytes held
  size_t PeakBytes() const;  // most payload bytes ever held since the process started

 private:
  void Forget();                            // under m_mutex: every record
  // Under m_mutex: the deepest reordering so far, with these pictures.
  void NoteReordering(const PictureScan& scan);
  void Evict(DWORD now);                    // under m_mutex
  HistorySpan SpanFrom(size_t first, size_t end) const;  // under m_mutex; [first, end)
  // Under m_mutex: the span from `first` to the newest records, ending where
  // it shows every picture up to its last one.
  HistorySpan SpanToNewest(size_t first) const;
  // A held picture: its record (index in m_records), decode number and time stamp.
  struct Held {
    size_t record;
    int64_t decoded;
    int64_t pts;
  };
  // Under m_mutex: every picture with a time stamp after the oldest key
  // frame, in display order.
  std::vector<Held> ShowablePictures() const;
  // Under m_mutex: [first, end) of the span that shows `target`; false when
  // the decoder could not yet hand it out.
  bool SpanBounds(const Held& target, size_t* first, size_t* end) const;

  mutable std::mutex m_mutex;  // guards everything below; held only for bookkeeping
  std::shared_ptr<const std::vector<BYTE>> m_header;
  std::deque<HistoryRecordRef> m_records;  // oldest first
  size_t m_nDataBytes = 0;    // payload bytes of the live records
  size_t m_nPeakBytes = 0;
  int64_t m_llPictures = 0;   // pictures started since the header
  stream::VideoCodec m_codec = stream::VideoCodec::kNone;  // what the header names
  int m_nReorder = 0;  // the deepest reordering (B-frames) stated or seen since the header
  // Time stamps of the last pictures, enough to see any reordering.
  std::deque<int64_t> m_recentPts;
  static constexpr size_t kMaxReorder = 16;
};

// The one buffer of the program, fed by the DecThread.
extern StreamHistory g_history;
