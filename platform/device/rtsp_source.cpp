#include "platform/device/rtsp_source.h"

#include <algorithm>
#include <cstring>

#include "platform/device/device.h"
#include "platform/device/diagnostics.h"

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavcodec/defs.h>
#include <libavcodec/packet.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace device {
namespace {

// A stream that delivers nothing for this long is broken, even when the
// connect time is shorter: a camera at 1 frame/s still counts as alive.
constexpr int kMinReadDeadlineMs = 1000;

bool Retryable(DWORD error) { return error == NET_DVR_ERR_CONNECT || error == NET_DVR_ERR_TIMEOUT; }

RtspClient::Clock::time_point After(int ms) {
  return RtspClient::Clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

RtspSource::RtspSource(const std::atomic<bool>* stop) : m_stop(stop), m_client(stop) {}

RtspSource::~RtspSource() {
  Close();
  avcodec_parameters_free(&m_parameters);
}

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
  if (error != NET_DVR_NOERROR) {
    Close();
  }
  return error;
}

// DESCRIBE, SETUP and PLAY on one connection; for UDP also the first packet,
// since a device (or a firewall between) may accept UDP and never deliver it.
DWORD RtspSource::Play(bool udp, RtspClient::Clock::time_point deadline) {
  DWORD error = m_client.Setup(udp, deadline);
  if (error != NET_DVR_NOERROR) {
    return error;
  }
  error = m_client.Play(deadline);
  if (error != NET_DVR_NOERROR || !udp) {
    return error;
  }
  const int got = m_client.ReadRtp(&m_packet, After(m_readDeadlineMs));
  if (got <= 0) {
    return got == 0 ? RtspClient::kTransportRefused : NET_DVR_ERR_CONNECT;
  }
  m_havePacket = true;
  return NET_DVR_NOERROR;
}

DWORD RtspSource::OpenOnce(const SourceRequest& request, bool describeOnly) {
  m_readDeadlineMs = std::max(request.waitMs, kMinReadDeadlineMs);
  SdpVideo video;
  DWORD error = m_client.Describe(request.target, After(request.waitMs), &video);
  if (error != NET_DVR_NOERROR || describeOnly) {
    m_client.Close();
    return error;
  }
  m_udp = request.udp;
  error = Play(m_udp, After(request.waitMs));
  if (error == RtspClient::kTransportRefused) {
    Diagnostics().Report(kDiagnoseTransport, "RTP over %s refused or silent, trying %s",
                         m_udp ? "UDP" : "TCP", m_udp ? "TCP" : "UDP");
    // Once to the other transport, on a fresh session: a device that refused
    // one SETUP may keep the connection's state.
    m_client.Close();
    m_udp = !m_udp;
    error = m_client.Describe(request.target, After(request.waitMs), &video);
    if (error == NET_DVR_NOERROR) {
      error = Play(m_udp, After(request.waitMs));
    }
    if (error == RtspClient::kTransportRefused) {
      error = NET_DVR_ERR_STREAM;  // neither transport delivers
    }
  }
  if (error != NET_DVR_NOERROR) {
    m_client.Close();
    return error;
  }
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  if (parameters == nullptr) {
    m_client.Close();
    return NET_DVR_ERR_RESOURCE;
  }
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = video.codec == VideoCodec::kH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC;
  if (!video.parameterSets.empty()) {
    parameters->extradata = static_cast<uint8_t*>(
        av_mallocz(video.parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata == nullptr) {
      avcodec_parameters_free(&parameters);
      m_client.Close();
      return NET_DVR_ERR_RESOURCE;
    }
    std::memcpy(parameters->extradata, video.parameterSets.data(), video.parameterSets.size());
    parameters->extradata_size = static_cast<int>(video.parameterSets.size());
  }
  avcodec_parameters_free(&m_parameters);
  m_parameters = parameters;
  m_clockRate = video.clockRate;
  m_depacketizer = std::make_unique<RtpDepacketizer>(video.codec, video.payloadType);
  m_reorderDone += m_reorder.Counts();
  m_reorder = RtpReorder{};
  m_haveTime = false;
  return NET_DVR_NOERROR;
}

int RtspSource::Read(AVPacket* packet) {
  if (m_depacketizer == nullptr) {
    return AVERROR(EINVAL);
  }
  AccessUnit unit;
  while (!m_depacketizer->Pop(&unit)) {
    const int got = NextPacket();
    if (got <= 0) {
      return got == 0 ? AVERROR(ETIMEDOUT) : AVERROR_EOF;
    }
    m_depacketizer->Push(m_packet.data(), m_packet.size());
  }
  const int result = av_new_packet(packet, static_cast<int>(unit.bytes.size()));
  if (result < 0) {
    return result;
  }
  std::memcpy(packet->data, unit.bytes.data(), unit.bytes.size());
  if (!m_haveTime) {
    m_haveTime = true;
    m_time = unit.rtpTime;
  } else {
    // RTP time is 32 bits and wraps (every 13 h at 90 kHz); steps either way
    // are taken as the shorter distance.
    m_time += static_cast<int32_t>(unit.rtpTime - m_lastRtpTime);
  }
  m_lastRtpTime = unit.rtpTime;
  packet->pts = m_time;
  packet->dts = m_time;
  if (unit.key) {
    packet->flags |= AV_PKT_FLAG_KEY;
  }
  return 0;
}

int RtspSource::NextPacket() {
  const auto deadline = After(m_readDeadlineMs);
  for (;;) {
    if (m_reorder.Pop(&m_packet, RtspClient::Clock::now())) {
      return 1;
    }
    if (!m_havePacket) {
      // Not past the moment a held packet stops waiting for the gap before it.
      const int got = m_client.ReadRtp(&m_packet, std::min(deadline, m_reorder.HoldUntil()));
      if (got < 0) {
        return -1;
      }
      if (got == 0) {
        if (RtspClient::Clock::now() >= deadline) {
          return 0;
        }
        continue;
      }
    }
    m_havePacket = false;
    if (!m_udp || m_reorder.Offer(m_packet, RtspClient::Clock::now())) {
      return 1;
    }
  }
}

const AVCodecParameters* RtspSource::Parameters() const {
  return m_depacketizer != nullptr ? m_parameters : nullptr;
}

void RtspSource::Close() {
  m_client.Close();
  m_depacketizer.reset();
  m_havePacket = false;
}

}  // namespace device
