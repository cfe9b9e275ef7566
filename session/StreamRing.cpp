#include "session/StreamRing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "config/LocalConfig.h"

StreamRing* g_pStreamRing = nullptr;
CRITICAL_SECTION g_csStream;

int32_t StreamRing::MiBToHold(double bytesPerSecond, int nDelaySeconds) {
  const double bytes = bytesPerSecond * std::max(nDelaySeconds, 0) * 1.25;  // a quarter to spare
  return static_cast<int32_t>(std::ceil(bytes / kBytesPerMiB));
}

DWORD StreamRing::BytesForDelay(int nDelaySeconds, int32_t ringMB) {
  constexpr double kBytesPerMbit = 1e6 / 8;
  const int32_t mib = std::clamp(
      std::max(ringMB, MiBToHold(kSizingMbps * kBytesPerMbit, nDelaySeconds)), 1, kRingMBMax);
  return static_cast<DWORD>(mib) * kBytesPerMiB;
}

StreamRing* StreamRing::Create(DWORD dwSize) {
  BYTE* block = new (std::nothrow) BYTE[dwSize];
  if (block == nullptr) {
    return nullptr;
  }
  StreamRing* ring = new (std::nothrow) StreamRing(block, dwSize);
  if (ring == nullptr) {
    delete[] block;
  }
  return ring;
}

StreamRing::StreamRing(BYTE* block, DWORD dwSize)
    : m_dwDataLen(0), m_dwSize(dwSize), m_pBuf(block), m_dwWritePos(0), m_dwReadPos(0) {
  InitializeCriticalSection(&m_cs);
}

StreamRing::~StreamRing() {
  delete[] m_pBuf;
  m_pBuf = nullptr;
  DeleteCriticalSection(&m_cs);
}

BOOL StreamRing::Write(const BYTE* src, DWORD len) {
  CSLock lock(m_cs);
  const DWORD dataLen = m_dwDataLen.load(std::memory_order_relaxed);
  if (dataLen + len >= m_dwSize) {
    return 1;
  }
  if (m_dwWritePos + len > m_dwSize) {
    const DWORD first = m_dwSize - m_dwWritePos;
    std::memcpy(m_pBuf + m_dwWritePos, src, first);
    std::memcpy(m_pBuf, src + first, len - first);
  } else {
    std::memcpy(m_pBuf + m_dwWritePos, src, len);
  }
  m_dwDataLen.store(dataLen + len, std::memory_order_release);
  m_dwWritePos = (m_dwWritePos + len) % m_dwSize;
  return 1;
}

BOOL StreamRing::Read(BYTE* dst, DWORD len) {
  CSLock lock(m_cs);
  if (len == 0 || len > m_dwDataLen.load(std::memory_order_relaxed)) {
    return 0;
  }
  TakeLocked(dst, len);
  return 1;
}

void StreamRing::CopyOutLocked(BYTE* dst, DWORD len) const {
  if (m_dwReadPos + len > m_dwSize) {
    const DWORD first = m_dwSize - m_dwReadPos;
    std::memcpy(dst, m_pBuf + m_dwReadPos, first);
    std::memcpy(dst + first, m_pBuf, len - first);
  } else {
    std::memcpy(dst, m_pBuf + m_dwReadPos, len);
  }
}

void StreamRing::TakeLocked(BYTE* dst, DWORD len) {
  CopyOutLocked(dst, len);
  m_dwReadPos = (m_dwReadPos + len) % m_dwSize;
  m_dwDataLen.store(m_dwDataLen.load(std::memory_order_relaxed) - len, std::memory_order_release);
}

BOOL StreamRing::StoreRecord(DWORD dwTick, const BYTE* payload, DWORD len) {
  if (len == 0 || len > kMaxRecordPayloadBytes) {
    return 0;
  }
  // Only the holder of g_csStream changes the ring, so this count stays true
  // until both writes are done; len is bounded above, so the sum cannot wrap.
  if (GetDataLen() + len + kRecordHeaderBytes >= m_dwSize) {
    return 0;
  }
  BYTE header[kRecordHeaderBytes];
  EncodeRecordHeader(StreamRecordHeader{dwTick, len}, header);
  Write(header, kRecordHeaderBytes);
  Write(payload, len);
  return 1;
}

BOOL StreamRing::PeekOldestTick(DWORD* dwTick) {
  StreamRecordHeader header;
  if (!ReadRecordHeader(&header, false)) {
    return 0;
  }
  *dwTick = header.dwTick;
  return 1;
}

BOOL StreamRing::TakeRecordHeader(StreamRecordHeader* header) {
  return ReadRecordHeader(header, true);
}

BOOL StreamRing::ReadRecordHeader(StreamRecordHeader* header, bool take) {
  BYTE bytes[kRecordHeaderBytes];
  {
    CSLock lock(m_cs);
    if (m_dwDataLen.load(std::memory_order_relaxed) < kRecordHeaderBytes) {
      return 0;
    }
    if (take) {
      TakeLocked(bytes, kRecordHeaderBytes);
    } else {
      CopyOutLocked(bytes, kRecordHeaderBytes);
    }
  }
  *header = DecodeRecordHeader(bytes);
  return 1;
}

void StreamRing::DiscardRecords() {
  CSLock lock(m_cs);
  m_dwReadPos = m_dwWritePos;
  m_dwDataLen.store(0, std::memory_order_release);
}

DWORD StreamRing::GetWritePos() {
  CSLock lock(m_cs);
  return m_dwWritePos;
}

DWORD StreamRing::GetReadPos() {
  CSLock lock(m_cs);
  return m_dwReadPos;
}
