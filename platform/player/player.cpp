// The PlayM4_* calls: each checks the port and its state under the port's
// lifecycle lock, then leaves the work to the port's parts.
#include "platform/player/player.h"

#include <cstdio>
#include <new>
#include <string>

#include "platform/player/port.h"
#include "platform/player/presentation_speed.h"
#include "platform/player/stage_stats.h"
#include "platform/player/stream_header.h"

using player::Port;
using player::PortAt;
using player::PortState;

namespace {

// The program asks for 1 MiB; anything far beyond that is a fault, refused
// rather than allocated.
constexpr DWORD kMaxInputBufferBytes = 64u << 20;

bool HasStream(PortState state) {
  return state == PortState::kOpen || state == PortState::kPlaying || state == PortState::kStopped;
}

// Ends decoding and drops the stream, with one stderr line of what its stages
// did; the caller holds the lifecycle lock.
void ReleaseStream(LONG number, Port& port) {
  if (HasStream(port.state)) {
    std::fputs(port.counters.Summary(number).c_str(), stderr);
  }
  if (port.decoder) {
    port.decoder->Stop();
    port.decoder.reset();
  }
  port.input.reset();
  port.picture.Clear();
  std::lock_guard<std::mutex> lock(port.jpegMutex);
  port.jpeg.Release();
}

}  // namespace

BOOL PlayM4_GetPort(LONG* port) {
  if (port == nullptr) {
    return FALSE;
  }
  for (LONG number = 0; number < player::kPortCount; ++number) {
    Port& candidate = *PortAt(number);
    std::unique_lock<std::shared_mutex> lock(candidate.lifecycle);
    if (candidate.state == PortState::kFree) {
      candidate.state = PortState::kHeld;
      *port = number;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL PlayM4_SetStreamOpenMode(LONG port, DWORD mode) {
  Port* target = PortAt(port);
  if (target == nullptr || mode != 0) {
    return FALSE;
  }
  std::unique_lock<std::shared_mutex> lock(target->lifecycle);
  return target->state == PortState::kHeld ? TRUE : FALSE;
}

BOOL PlayM4_OpenStream(LONG port, const BYTE* header, DWORD headerSize, DWORD bufferSize) {
  Port* target = PortAt(port);
  if (target == nullptr || !player::IsStreamHeader(header, headerSize) ||
      bufferSize < headerSize || bufferSize > kMaxInputBufferBytes) {
    return FALSE;
  }
  std::unique_lock<std::shared_mutex> lock(target->lifecycle);
  if (target->state != PortState::kHeld) {
    return FALSE;
  }
  std::unique_ptr<player::InputBuffer> input = player::InputBuffer::Create(bufferSize);
  // The header starts the stream the demuxer reads.
  if (!input || !input->TryWrite(header, headerSize)) {
    return FALSE;
  }
  target->input = std::move(input);
  target->counters.Reset();
  player::SetPresentationSpeed(port, 1.0);
  target->state = PortState::kOpen;
  return TRUE;
}

BOOL PlayM4_Play(LONG port, HWND window) {
  Port* target = PortAt(port);
  if (target == nullptr) {
    return FALSE;
  }
  std::unique_lock<std::shared_mutex> lock(target->lifecycle);
  if (target->state != PortState::kOpen) {
    return FALSE;
  }
  auto decoder = std::unique_ptr<player::DecodeThread>(
      new (std::nothrow) player::DecodeThread(port, *target->input, target->picture,
                                              target->counters, window));
  if (!decoder || !decoder->Start()) {
    return FALSE;
  }
  target->decoder = std::move(decoder);
  target->state = PortState::kPlaying;
  return TRUE;
}

BOOL PlayM4_InputData(LONG port, const BYTE* data, DWORD size) {
  Port* target = PortAt(port);
  if (target == nullptr || data == nullptr || size == 0) {
    return FALSE;
  }
  std::shared_lock<std::shared_mutex> lock(target->lifecycle);
  if (target->state != PortState::kOpen && target->state != PortState::kPlaying) {
    return FALSE;
  }
  if (!target->input->TryWrite(data, size)) {
    target->counters.BytesRefused(size);
    return FALSE;
  }
  return TRUE;
}

BOOL PlayM4_Stop(LONG port) {
  Port* target = PortAt(port);
  if (target == nullptr) {
    return FALSE;
  }
  std::unique_lock<std::shared_mutex> lock(target->lifecycle);
  if (target->state != PortState::kOpen && target->state != PortState::kPlaying) {
    return FALSE;
  }
  if (target->decoder) {
    target->decoder->Stop();
    target->decoder.reset();
  }
  target->input->Close();
  target->state = PortState::kStopped;
  return TRUE;
}

BOOL PlayM4_CloseStream(LONG port) {
  Port* target = PortAt(port);
  if (target == nullptr) {
    return FALSE;
  }
  std::unique_lock<std::shared_mutex> lock(target->lifecycle);
  if (!HasStream(target->state)) {
    return FALSE;
  }
  ReleaseStream(port, *target);
  target->state = PortState::kHeld;
  return TRUE;
}

BOOL PlayM4_FreePort(LONG port) {
  Port* target = PortAt(port);
  if (target == nullptr) {
    return FALSE;
  }
  std::unique_lock<std::shared_mutex> lock(target->lifecycle);
  if (target->state == PortState::kFree) {
    return FALSE;
  }
  ReleaseStream(port, *target);
  target->state = PortState::kFree;
  return TRUE;
}

BOOL PlayM4_GetPictureSize(LONG port, LONG* width, LONG* height) {
  Port* target = PortAt(port);
  if (target == nullptr || width == nullptr || height == nullptr) {
    return FALSE;
  }
  std::shared_lock<std::shared_mutex> lock(target->lifecycle);
  int pictureWidth = 0;
  int pictureHeight = 0;
  if (!HasStream(target->state) || !target->picture.Size(&pictureWidth, &pictureHeight)) {
    return FALSE;
  }
  *width = pictureWidth;
  *height = pictureHeight;
  return TRUE;
}

BOOL PlayM4_GetJPEG(LONG port, BYTE* buffer, DWORD bufferSize, DWORD* jpegSize) {
  Port* target = PortAt(port);
  if (target == nullptr || buffer == nullptr || jpegSize == nullptr) {
    return FALSE;
  }
  std::shared_lock<std::shared_mutex> lock(target->lifecycle);
  if (!HasStream(target->state)) {
    return FALSE;
  }
  // A reference to the picture: the decode thread goes on while this encodes.
  const player::FramePtr picture = target->picture.Take();
  if (!picture) {
    return FALSE;
  }
  std::lock_guard<std::mutex> jpegLock(target->jpegMutex);
  size_t written = 0;
  try {
    if (!target->jpeg.Write(*picture, buffer, bufferSize, &written)) {
      return FALSE;
    }
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  *jpegSize = static_cast<DWORD>(written);
  return TRUE;
}

bool player::ReadStageStats(LONG port, StageStats* stats) {
  Port* target = PortAt(port);
  if (target == nullptr || stats == nullptr) {
    return false;
  }
  std::shared_lock<std::shared_mutex> lock(target->lifecycle);
  if (!HasStream(target->state)) {
    return false;
  }
  *stats = target->counters.Read();
  return true;
}
