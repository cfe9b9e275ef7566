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
#include <vector>

#include "platform/sys/types.h"

// What a coach may replay or clip: the longest clip (60 s).
constexpr DWORD kReplayKeepMs = 60000;
// 60 s of an 8 Mbit/s stream take 60 MB: the bound holds them, and a faster
// stream keeps less than 60 s rather than more memory.
constexpr size_t kReplayMaxBytes = 64u << 20;

// One record as fed, with what the replay needs to know of its pictures.
struct ReplayRecord {
  DWORD dwTick = 0;         // when it was fed (GetTickCount, ms)
  std::vector<BYTE> data;   // the payload, whole TS packets
  int nPictures = 0;        // video pictures that start in it
  bool bKey = false;        // its first picture start is a key frame
  int64_t llFirstPicture = 0;  // number of the first picture starting here, counted since the header
  int64_t llFirstPts = -1;     // time stamp of that picture (90 kHz), -1 for none
};
using ReplayRecordRef = std::shared_ptr<const ReplayRecord>;

// A run of records, oldest first, with the header that opens their stream.
struct ReplaySpan {
  std::shared_ptr<const std::vector<BYTE>> header;  // null when none
  std::vector<ReplayRecordRef> records;
};

class ReplayBuffer {
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

  // Records from the key frame at or before tick `fromTick` to the newest;
  // when no key frame is that old, from the oldest key frame. Empty when no
  // key frame is held.
  ReplaySpan SpanFromKeyBefore(DWORD fromTick) const;
  // Records from the key frame nearest to `fromTick` to the newest (a clip
  // starts at a key frame and lasts as asked within one key interval / 2).
  ReplaySpan SpanFromKeyNearest(DWORD fromTick) const;
  // Records from the last key frame at or before picture `picture` up to and
  // including the record where picture `picture` + 1 starts (so the decoder
  // completes `picture`); *skip is the number of pictures before `picture`
  // in the span. Empty when that picture is no longer (or not yet) held.
  ReplaySpan SpanForPicture(int64_t picture, int* skip) const;
  // The number of the held picture with time stamp pts (90 kHz), or of the
  // one nearest to it; false when none is held.
  bool PictureOfPts(int64_t pts, int64_t* picture) const;
  // The numbers of the oldest and newest pictures held; false when none.
  bool PictureRange(int64_t* oldest, int64_t* newest) const;

  size_t DataBytes() const;  // payload bytes held
  size_t PeakBytes() const;  // most payload bytes ever held since the process started

 private:
  void Evict(DWORD now);                    // under m_mutex
  ReplaySpan SpanFrom(size_t first, size_t end) const;  // under m_mutex; [first, end)

  mutable std::mutex m_mutex;  // guards everything below; held only for bookkeeping
  std::shared_ptr<const std::vector<BYTE>> m_header;
  std::deque<ReplayRecordRef> m_records;  // oldest first
  size_t m_nDataBytes = 0;    // payload bytes of the live records
  size_t m_nPeakBytes = 0;
  int64_t m_llPictures = 0;   // pictures started since the header
};

// The one buffer of the program, fed by the DecThread.
extern ReplayBuffer g_replayBuffer;

// The TS-level facts about one record: how many video pictures start in it,
// whether the first is a key frame (random-access flag on its packet) and
// the first one's time stamp (-1 for none).
struct PictureScan {
  int nPictures = 0;
  bool bKey = false;
  int64_t llFirstPts = -1;
};
PictureScan ScanPictures(const BYTE* data, DWORD size);
