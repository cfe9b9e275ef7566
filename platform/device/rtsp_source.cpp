#include "platform/device/rtsp_source.h"

#include <algorithm>
#include <cerrno>

#include "platform/device/device.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/time.h>
}

namespace device {
namespace {

// A stream that delivers nothing for this long is broken, even when the
// connect time is shorter: a camera at 1 frame/s still counts as alive.
constexpr int kMinReadDeadlineMs = 1000;

bool Retryable(DWORD error) { return error == NET_DVR_ERR_CONNECT || error == NET_DVR_ERR_TIMEOUT; }

DWORD ErrorOf(int averror, bool deadlinePassed) {
  if (deadlinePassed || averror == AVERROR(ETIMEDOUT)) {
    // A server that accepts and never answers ends as AVERROR_INVALIDDATA or
    // AVERROR_EXIT once the deadline interrupts it: a timeout, not bad data.
    return NET_DVR_ERR_TIMEOUT;
  }
  switch (averror) {
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
      return NET_DVR_ERR_PASSWORD;
    case AVERROR_HTTP_NOT_FOUND:
      return NET_DVR_ERR_NO_SUCH_STREAM;
    case AVERROR(ECONNREFUSED):
    case AVERROR(EHOSTUNREACH):
    case AVERROR(ENETUNREACH):
    case AVERROR(EADDRNOTAVAIL):
    case AVERROR(ECONNRESET):
    case AVERROR(EIO):  // also the result of a host name that does not resolve
      return NET_DVR_ERR_CONNECT;
    case AVERROR(ENOMEM):
      return NET_DVR_ERR_RESOURCE;
    default:
      return NET_DVR_ERR_STREAM;
  }
}

}  // namespace

RtspSource::RtspSource(const std::atomic<bool>* stop) : m_stop(stop) {}

RtspSource::~RtspSource() { Close(); }

int RtspSource::Interrupt(void* self) {
  const auto* source = static_cast<const RtspSource*>(self);
  if (source->m_stop != nullptr && source->m_stop->load(std::memory_order_relaxed)) {
    return 1;
  }
  return av_gettime_relative() > source->m_deadlineUs ? 1 : 0;
}

void RtspSource::ArmDeadline(int ms) { m_deadlineUs = av_gettime_relative() + int64_t{ms} * 1000; }

DWORD RtspSource::Open(const SourceRequest& request, bool describeOnly) {
  Close();
  DWORD error = NET_DVR_ERR_CONNECT;
  for (int attempt = 0; attempt < std::max(request.tries, 1); ++attempt) {
    if (m_stop != nullptr && m_stop->load()) {
      break;
    }
    error = OpenOnce(request, describeOnly);
    if (!Retryable(error)) {
      break;
    }
  }
  return error;
}

DWORD RtspSource::OpenOnce(const SourceRequest& request, bool describeOnly) {
  m_readDeadlineMs = std::max(request.waitMs, kMinReadDeadlineMs);
  AVFormatContext* input = avformat_alloc_context();
  if (input == nullptr) {
    return NET_DVR_ERR_RESOURCE;
  }
  input->interrupt_callback = {&RtspSource::Interrupt, this};

  AVDictionary* options = nullptr;
  av_dict_set(&options, "rtsp_transport", request.udp ? "udp" : "tcp", 0);
  // Socket I/O timeout in microseconds (connect and every read); the deadline
  // below bounds the whole open, this one the silence of a running stream.
  av_dict_set_int(&options, "timeout", int64_t{m_readDeadlineMs} * 1000, 0);
  av_dict_set(&options, "allowed_media_types", "video", 0);
  if (describeOnly) {
    av_dict_set(&options, "initial_pause", "1", 0);  // set up, but never ask it to play
  }

  ArmDeadline(request.waitMs);
  const int result = avformat_open_input(&input, request.url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (result < 0) {
    return ErrorOf(result, av_gettime_relative() > m_deadlineUs);
  }

  int video = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (input->streams[i]->codecpar->codec_id == AV_CODEC_ID_H264) {
      video = static_cast<int>(i);
      break;
    }
  }
  if (video < 0) {
    avformat_close_input(&input);
    return NET_DVR_ERR_STREAM;
  }
  m_input = input;
  m_videoIndex = video;
  return NET_DVR_NOERROR;
}

int RtspSource::Read(AVPacket* packet) {
  if (m_input == nullptr) {
    return AVERROR(EINVAL);
  }
  for (;;) {
    ArmDeadline(m_readDeadlineMs);
    const int result = av_read_frame(m_input, packet);
    if (result < 0) {
      return result;
    }
    if (packet->stream_index == m_videoIndex) {
      return 0;
    }
    av_packet_unref(packet);
  }
}

const AVStream* RtspSource::Video() const {
  return m_input != nullptr ? m_input->streams[m_videoIndex] : nullptr;
}

void RtspSource::Close() {
  if (m_input != nullptr) {
    // The teardown request is sent without waiting for an answer; the short
    // deadline keeps a dead connection from holding the close.
    ArmDeadline(100);
    avformat_close_input(&m_input);
    m_videoIndex = -1;
  }
}

}  // namespace device
