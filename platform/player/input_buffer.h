// A port's bounded input: bytes given to PlayM4_InputData wait here for the
// decode thread, and so do the ends of the pieces they came in, so that the
// demuxer can end a picture with the piece that completes it. Writers never
// wait; the one reader waits for bytes or close.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace player {

class InputBuffer {
 public:
  // Null when capacityBytes cannot be allocated.
  static std::unique_ptr<InputBuffer> Create(size_t capacityBytes);

  // At most this many pieces are held at once (32 KiB of bookkeeping): the
  // program's 1 MiB buffer holds a few dozen of the device's records (a
  // picture, or 12 KiB of one); pieces beyond this are refused like bytes
  // beyond the capacity.
  static constexpr size_t kMaxPieces = 4096;

  // Appends all size bytes as one piece, or none when they do not fit, the
  // buffer holds kMaxPieces pieces or is closed. Never waits for the reader.
  bool TryWrite(const uint8_t* data, size_t size);
  using Clock = std::chrono::steady_clock;
  struct ReadPart {
    size_t bytes = 0;          // copied; 0 once closed
    bool pieceEnds = false;    // the bytes reach the end of their piece
    Clock::time_point written;  // when their piece was written
  };
  // Waits until bytes are held or the buffer is closed; copies up to maxBytes,
  // never past the end of the oldest piece. Once closed, anything still held
  // is dropped: a stop does not wait for the rest of the stream.
  ReadPart Read(uint8_t* out, size_t maxBytes);
  // Wakes the reader and refuses every later write and read.
  void Close();

 private:
  struct Piece {
    size_t bytes = 0;  // not read yet
    Clock::time_point written;
  };

  InputBuffer(std::unique_ptr<uint8_t[]> ring, std::unique_ptr<Piece[]> pieces,
              size_t capacityBytes);

  const std::unique_ptr<uint8_t[]> ring_;
  const std::unique_ptr<Piece[]> pieces_;  // the pieces held, kMaxPieces slots
  const size_t capacity_;  // bytes
  std::mutex mutex_;
  std::condition_variable readable_;  // signalled on write and on close
  size_t head_ = 0;      // offset of the oldest byte; guarded by mutex_
  size_t held_ = 0;      // bytes currently held; guarded by mutex_
  size_t firstPiece_ = 0;  // slot of the oldest piece; guarded by mutex_
  size_t pieceCount_ = 0;  // pieces held, the oldest maybe in part; guarded by mutex_
  bool closed_ = false;  // guarded by mutex_
};

}  // namespace player
