// A port's bounded input: bytes given to PlayM4_InputData wait here for the
// decode thread. Writers never wait; the one reader waits for bytes or close.
#pragma once

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

  // Appends all size bytes, or none when they do not fit or the buffer is
  // closed. Never waits for the reader.
  bool TryWrite(const uint8_t* data, size_t size);
  // Waits until bytes are held or the buffer is closed; copies up to maxBytes.
  // Returns the bytes copied, 0 once closed (anything still held is dropped:
  // a stop does not wait for the rest of the stream).
  size_t Read(uint8_t* out, size_t maxBytes);
  // Wakes the reader and refuses every later write and read.
  void Close();

 private:
  InputBuffer(std::unique_ptr<uint8_t[]> ring, size_t capacityBytes);

  const std::unique_ptr<uint8_t[]> ring_;
  const size_t capacity_;  // bytes
  std::mutex mutex_;
  std::condition_variable readable_;  // signalled on write and on close
  size_t head_ = 0;      // offset of the oldest byte; guarded by mutex_
  size_t held_ = 0;      // bytes currently held; guarded by mutex_
  bool closed_ = false;  // guarded by mutex_
};

}  // namespace player
