// The stream record: the unit the intake stores in the ring and the DecThread
// takes out of it. Layout, little-endian, back to back with no filler:
//   offset 0, 4 bytes: dwTick  arrival tick (GetTickCount, ms, wraps at 2^32)
//   offset 4, 4 bytes: dwLen   payload length in bytes, never 0
//   offset 8, dwLen bytes: the payload, exactly as the device delivered it
#pragma once

#include "platform/sys/types.h"

constexpr DWORD kRecordHeaderBytes = 8;

// Largest payload a record may carry (bytes). The DecThread copies each payload
// into a scratch buffer of exactly this size, so a larger piece is refused when
// it is stored (StreamRing::StoreRecord) and never enters the ring.
constexpr DWORD kMaxRecordPayloadBytes = 4194304;

struct StreamRecordHeader {
  DWORD dwTick;  // arrival tick, ms
  DWORD dwLen;   // payload bytes
};

// Encodes the header into its 8 stored bytes.
inline void EncodeRecordHeader(const StreamRecordHeader& header, BYTE* out) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<BYTE>(header.dwTick >> (8 * i));
    out[4 + i] = static_cast<BYTE>(header.dwLen >> (8 * i));
  }
}

inline StreamRecordHeader DecodeRecordHeader(const BYTE* in) {
  StreamRecordHeader header{0, 0};
  for (int i = 0; i < 4; ++i) {
    header.dwTick |= static_cast<DWORD>(in[i]) << (8 * i);
    header.dwLen |= static_cast<DWORD>(in[4 + i]) << (8 * i);
  }
  return header;
}
