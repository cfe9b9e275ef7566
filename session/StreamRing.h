// StreamRing: the fixed byte ring that carries the live stream, as stream
// records (StreamRecord.h), from the intake (the one producer) to the DecThread
// (the one consumer).
//
// Locks: every change runs under the ring's own m_cs. A whole record goes in
// and comes out under g_csStream, taken first (lock order g_csStream, m_cs), so
// while nobody holds g_csStream the ring holds only whole records.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sys/lock.h"
#include "platform/sys/types.h"
#include "session/StreamRecord.h"

class StreamRing {
 public:
  static constexpr DWORD kBytesPerMiB = 1048576;
  // 30 MiB, the capacity unless configured: about 63 s of a 4 Mbit/s stream,
  // 31 s of an 8 Mbit/s one. Longer delays of a stream need a larger ring.
  static constexpr DWORD kRingBytes = 30 * kBytesPerMiB;

  // Allocates a block of dwSize bytes; null when it cannot be allocated (no
  // ring at all).
  static StreamRing* Create(DWORD dwSize = kRingBytes);
  ~StreamRing();
  StreamRing(const StreamRing&) = delete;
  StreamRing& operator=(const StreamRing&) = delete;

  // Appends len bytes unless m_dwDataLen + len >= m_dwSize (then nothing is
  // stored). Returns 1 in every case: callers test for room first.
  BOOL Write(const BYTE* src, DWORD len);
  // Takes len bytes into dst. 0, and nothing changes, when len is 0 or more
  // than is held.
  BOOL Read(BYTE* dst, DWORD len);

  // Stores one whole record; the caller holds g_csStream. Returns 1 when
  // stored, 0 when dropped whole: an empty or over-long payload
  // (> kMaxRecordPayloadBytes), or no room (m_dwDataLen + len + 8 must stay
  // strictly below m_dwSize).
  BOOL StoreRecord(DWORD dwTick, const BYTE* payload, DWORD len);
  // Takes the 8-byte header of the next record; the caller holds g_csStream
  // and then takes the payload with Read. 0 when fewer than 8 bytes are held.
  BOOL TakeRecordHeader(StreamRecordHeader* header);

  // The arrival tick of the oldest record held; 0 when the ring is empty.
  // The caller holds g_csStream.
  BOOL PeekOldestTick(DWORD* dwTick);

  // Capacity for a session with a delay of nDelaySeconds: the larger of
  // ringMB MiB and what the delay takes at kSizingMbps with a quarter to
  // spare, at most kRingMBMax MiB. Up to 12 s that is the default 30 MiB.
  static DWORD BytesForDelay(int nDelaySeconds, int32_t ringMB);
  // Whole MiB that hold nDelaySeconds of a stream of bytesPerSecond, with a
  // quarter to spare (bitrates vary with the scene).
  static int32_t MiBToHold(double bytesPerSecond, int nDelaySeconds);
  // Cameras' main streams stay below this; 60 s of it take 144 MiB.
  static constexpr int kSizingMbps = 16;

  // Drops every record held; the caller holds g_csStream. The stop calls it
  // once nothing feeds or takes, so a new session starts from an empty ring.
  void DiscardRecords();

  // Bytes held. An atomic 32-bit read without any lock: the DecThread peeks
  // at it to see whether the ring is empty; a stale value is harmless.
  DWORD GetDataLen() const { return m_dwDataLen.load(std::memory_order_acquire); }
  DWORD GetSize() const { return m_dwSize; }
  DWORD GetWritePos();
  DWORD GetReadPos();

 private:
  StreamRing(BYTE* block, DWORD dwSize);
  // Copies len bytes from the block at m_dwReadPos (split at the end of the
  // block) and moves the read position on; m_cs is held and len is held.
  void TakeLocked(BYTE* dst, DWORD len);
  // The same without moving on.
  void CopyOutLocked(BYTE* dst, DWORD len) const;
  // The next record's header, taken or only looked at; 0 with fewer than
  // kRecordHeaderBytes held.
  BOOL ReadRecordHeader(StreamRecordHeader* header, bool take);

  // The DecThread's peek must be one plain 32-bit load, never a hidden lock.
  static_assert(std::atomic<DWORD>::is_always_lock_free);
  std::atomic<DWORD> m_dwDataLen;  // bytes currently held, always < m_dwSize
  const DWORD m_dwSize;            // capacity in bytes
  BYTE* m_pBuf;                    // the block of m_dwSize bytes, owned
  DWORD m_dwWritePos;              // offset of the next byte stored
  DWORD m_dwReadPos;               // offset of the next byte taken
  CRITICAL_SECTION m_cs;           // the ring's own lock
};

// The one ring: created by the main dialog at start-up, freed at tear-down.
extern StreamRing* g_pStreamRing;
// Keeps a record whole: held around storing one record and taking one.
extern CRITICAL_SECTION g_csStream;
