#include "platform/player/input_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace player {

std::unique_ptr<InputBuffer> InputBuffer::Create(size_t capacityBytes) {
  if (capacityBytes == 0) {
    return nullptr;
  }
  std::unique_ptr<uint8_t[]> ring(new (std::nothrow) uint8_t[capacityBytes]);
  std::unique_ptr<Piece[]> pieces(new (std::nothrow) Piece[kMaxPieces]);
  if (!ring || !pieces) {
    return nullptr;
  }
  return std::unique_ptr<InputBuffer>(
      new (std::nothrow) InputBuffer(std::move(ring), std::move(pieces), capacityBytes));
}

InputBuffer::InputBuffer(std::unique_ptr<uint8_t[]> ring, std::unique_ptr<Piece[]> pieces,
                         size_t capacityBytes)
    : ring_(std::move(ring)), pieces_(std::move(pieces)), capacity_(capacityBytes) {}

bool InputBuffer::TryWrite(const uint8_t* data, size_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || size == 0 || size > capacity_ - held_ || pieceCount_ == kMaxPieces) {
      return false;
    }
    pieces_[(firstPiece_ + pieceCount_) % kMaxPieces] = {size, Clock::now()};
    ++pieceCount_;
    size_t tail = (head_ + held_) % capacity_;
    const size_t first = std::min(size, capacity_ - tail);
    std::memcpy(ring_.get() + tail, data, first);
    std::memcpy(ring_.get(), data + first, size - first);
    held_ += size;
  }
  readable_.notify_one();
  return true;
}

InputBuffer::ReadPart InputBuffer::Read(uint8_t* out, size_t maxBytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  readable_.wait(lock, [this] { return closed_ || held_ > 0; });
  ReadPart part;
  if (closed_) {
    return part;
  }
  Piece& piece = pieces_[firstPiece_];
  const size_t count = std::min(maxBytes, piece.bytes);
  piece.bytes -= count;
  part.bytes = count;
  part.written = piece.written;
  if (piece.bytes == 0) {
    part.pieceEnds = true;
    firstPiece_ = (firstPiece_ + 1) % kMaxPieces;
    --pieceCount_;
  }
  const size_t first = std::min(count, capacity_ - head_);
  std::memcpy(out, ring_.get() + head_, first);
  std::memcpy(out + first, ring_.get(), count - first);
  head_ = (head_ + count) % capacity_;
  held_ -= count;
  return part;
}

void InputBuffer::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    held_ = 0;
    pieceCount_ = 0;
  }
  readable_.notify_all();
}

}  // namespace player
