// The stream history: the program's one record of the camera's stream, every
// piece kept as it arrived (compressed, stamped with its arrival tick), at
// most its capacity of payload ("historyMB"); the oldest records go first,
// whole. The stream header is kept beside it, so that a replay, a picture
// step, a clip or a web screen can open a stream of its own at any key
// frame. The intake writes on the device's thread; the GUI side, the replay
// and clip workers and the web server read spans, which share the records
// (no payload is copied to read). A span keeps its records after they leave
// the history: a replay holds at most 30 s of them, the clips waiting at most
// 60 s each (ClipSaver bounds how many), a web answer one key-frame group.
//
// What the main display shows runs the session's delay behind the arrivals:
// the spans of what was shown end at an `untilTick` (now minus the delay).
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

// One record as it arrived, with what the readers need to know of its pictures.
struct HistoryRecord {
  DWORD dwTick = 0;         // when it arrived (GetTickCount, ms), as its ring record
  int64_t llGroup = -1;     // number of the key-frame group it belongs to, -1 before the first
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

// A key-frame group, as the web screens serve it: from one key frame to the
// next, whole (the newest group, still growing, is not one yet).
struct HistoryGroup {
  int64_t llNumber = 0;     // counted since the program started: never the same twice
  DWORD dwFirstTick = 0;    // arrival of its first record
  int64_t llDurationPts = 0;  // from its key frame's time stamp to the next one's (90 kHz)
  size_t nBytes = 0;        // payload bytes, the header not counted
};

class StreamHistory {
 public:
  // The capacity unless set: about 2 minutes of an 8 Mbit/s stream.
  static constexpr size_t kDefaultBytes = 128u << 20;

  // Payload bytes kept at most, from the next Append on.
  void SetCapacity(size_t bytes);
  // A new stream: forgets every record and keeps header (the intake, when a
  // header opens the player). Its groups are numbered on from the last stream's.
  void Restart(const BYTE* header, DWORD size);
  // The intake, beside each record it stores in the ring: keeps a copy of the
  // bytes that arrived at tick, then drops the oldest records over the
  // capacity. Returns false (keeping nothing) when no header was given or
  // memory runs out.
  bool Append(const BYTE* data, DWORD size, DWORD tick);
  // Forgets everything, the header too (end of the session).
  void Clear();

  // Spans of what was shown end where every picture shown before their last
  // is in them: with B-frames the newest pictures may still wait for ones
  // shown earlier.
  // Records from the key frame at or before tick `fromTick` to `untilTick`;
  // when no key frame is that old, from the oldest key frame. Empty when no
  // key frame is held.
  HistorySpan SpanFromKeyBefore(DWORD fromTick, DWORD untilTick) const;
  // Records from the key frame nearest to `fromTick` to `untilTick` (a clip
  // starts at a key frame and lasts as asked within one key interval / 2).
  HistorySpan SpanFromKeyNearest(DWORD fromTick, DWORD untilTick) const;
  // Pictures are found by their time stamps (90 kHz), in display order.
  // The held picture whose time stamp is nearest to pts (the one a window
  // shows); false when none is held.
  bool NearestPts(int64_t pts, int64_t* held) const;
  // The time stamp of the picture `pictures` places after (before, when
  // negative) pts in display order, among those that arrived by untilTick
  // and a step can show; pts itself when it is at that end. False when none
  // is held.
  bool StepPts(int64_t pts, int pictures, DWORD untilTick, int64_t* target) const;
  // Records from the key frame a decoder must start at to the record after
  // which it has handed the picture with time stamp pts out (its reordering
  // holds pictures back); empty when that is not (or no longer) held.
  HistorySpan SpanForPts(int64_t pts) const;

  // Every whole key-frame group held, oldest first.
  std::vector<HistoryGroup> Groups() const;
  // The records of group `number` with the header; empty when it is not
  // (or no longer, or not yet wholly) held.
  HistorySpan GroupSpan(int64_t number) const;
  // The codec the stream header names; kNone without one.
  stream::VideoCodec Codec() const;
  // Changes with every Restart and Clear: a reader sees a stream end or begin.
  uint64_t Generation() const;
  // How the stream runs over its last `windowMs` of arrivals: pictures a
  // second and bits a second; zeros without two records in the window.
  struct Pace {
    double picturesPerSecond = 0;
    double bitsPerSecond = 0;
  };
  Pace PaceOver(DWORD windowMs) const;

  size_t DataBytes() const;  // payload bytes held
  size_t PeakBytes() const;  // most payload bytes ever held since the process started

 private:
  void Forget();                            // under m_mutex: every record
  // Under m_mutex: the deepest reordering so far, with these pictures.
  void NoteReordering(const PictureScan& scan);
  void Evict();                             // under m_mutex
  HistorySpan SpanFrom(size_t first, size_t end) const;  // under m_mutex; [first, end)
  // Under m_mutex: the span from `first` to the records that arrived by
  // untilTick, ending where it shows every picture up to its last one.
  HistorySpan SpanShown(size_t first, DWORD untilTick) const;
  // Under m_mutex: the end of the records that arrived by untilTick.
  size_t EndAt(DWORD untilTick) const;
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
  size_t m_nCapacity = kDefaultBytes;  // payload bytes kept at most
  uint64_t m_llGeneration = 0;
  int64_t m_llGroups = 0;              // key-frame groups begun since the program started
  int64_t m_llCurrentGroup = -1;       // the group records join now; -1 before this stream's first key
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

// The one history of the program, fed by the intake.
extern StreamHistory g_history;
