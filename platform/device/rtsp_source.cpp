#include "platform/device/rtsp_source.h"

#include <algorithm>
#include <cstring>

#include "platform/device/diagnostics.h"

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavcodec/defs.h>
#include <libavcodec/packet.h>
#include <libavutil/mem.h>
}

namespace device {
namespace {

// A stream that delivers nothing for this long is broken, even when the
// connect time is shorter: a camera at 1 frame/s still counts as alive.
constexpr int kMinReadDeadlineMs = 1000;

// Worth a new attempt: nothing answered, or not in time.
bool Retryable(const Outcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kUnreachable:
    case OutcomeKind::kConnectionLost:
    case OutcomeKind::kTimedOut:
    case OutcomeKind::kBusy:
      return true;
    default:
      return false;
  }
}

RtspClient::Clock::time_point After(int ms) {
  return RtspClient::Clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

RtspSource::RtspSource(const std::atomic<bool>* stop) : m_stop(stop), m_client(stop) {}

RtspSource::~RtspSource() {
  Close();
  avcodec_parameters_free(&m_parameters);
}

Outcome RtspSource::Open(const SourceRequest& request, bool describeOnly) {
  Close();
  Outcome outcome{OutcomeKind::kStopped};
  for (int attempt = 0; attempt < std::max(request.tries, 1); ++attempt) {
    if (m_stop != nullptr && m_stop->load()) {
      break;
    }
    outcome = OpenOnce(request, describeOnly);
    if (!Retryable(outcome)) {
      break;
    }
  }
  if (!outcome.Ok()) {
    Close();
  }
  return outcome;
}

// DESCRIBE, SETUP and PLAY on one connection; for UDP also the first packet,
// since a device (or a firewall between) may accept UDP and never deliver it.
Outcome RtspSource::Play(bool udp, RtspClient::Clock::time_point deadline) {
  Outcome outcome = m_client.Setup(udp, deadline);
  if (outcome.Ok()) {
    outcome = m_client.Play(deadline);
  }
  if (!outcome.Ok() || !udp) {
    return outcome;
  }
  outcome = m_client.ReadRtp(&m_packet, After(m_readDeadlineMs));
  if (outcome.kind == OutcomeKind::kTimedOut) {
    return {OutcomeKind::kTransportRefused};  // set up, but silent: no status of the device's
  }
  m_havePacket = outcome.Ok();
  return outcome;
}

Outcome RtspSource::OpenOnce(const SourceRequest& request, bool describeOnly) {
  m_readDeadlineMs = std::max(request.waitMs, kMinReadDeadlineMs);
  SdpVideo video;
  Outcome outcome = m_client.Describe(request.target, After(request.waitMs), &video);
  if (!outcome.Ok() || describeOnly) {
    m_client.Close();
    return outcome;
  }
  m_udp = request.udp;
  outcome = Play(m_udp, After(request.waitMs));
  if (outcome.kind == OutcomeKind::kTransportRefused) {
    Diagnostics().Report(kDiagnoseTransport, "RTP over %s: %s, trying %s", m_udp ? "UDP" : "TCP",
                         OutcomeText(outcome).c_str(), m_udp ? "TCP" : "UDP");
    ++Stats().transportFallbacks;
    // Once to the other transport, on a fresh session: a device that refused
    // one SETUP may keep the connection's state.
    m_client.Close();
    m_udp = !m_udp;
    outcome = m_client.Describe(request.target, After(request.waitMs), &video);
    if (outcome.Ok()) {
      outcome = Play(m_udp, After(request.waitMs));
    }
  }
  if (!outcome.Ok()) {
    m_client.Close();
    return outcome;
  }
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  if (parameters == nullptr) {
    m_client.Close();
    return {OutcomeKind::kNoResources};
  }
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = video.codec == VideoCodec::kH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC;
  if (!video.parameterSets.empty()) {
    parameters->extradata = static_cast<uint8_t*>(
        av_mallocz(video.parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata == nullptr) {
      avcodec_parameters_free(&parameters);
      m_client.Close();
      return {OutcomeKind::kNoResources};
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
  return {};
}

Outcome RtspSource::Read(AVPacket* packet) {
  if (m_depacketizer == nullptr) {
    return {OutcomeKind::kConnectionLost};  // closed: nothing to read from
  }
  AccessUnit unit;
  while (!m_depacketizer->Pop(&unit)) {
    const Outcome got = NextPacket();
    if (!got.Ok()) {
      return got;
    }
    m_depacketizer->Push(m_packet.data(), m_packet.size());
  }
  if (av_new_packet(packet, static_cast<int>(unit.bytes.size())) < 0) {
    return {OutcomeKind::kNoResources};
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
  return {};
}

Outcome RtspSource::NextPacket() {
  const auto deadline = After(m_readDeadlineMs);
  for (;;) {
    if (m_reorder.Pop(&m_packet, RtspClient::Clock::now())) {
      return {};
    }
    if (!m_havePacket) {
      // Not past the moment a held packet stops waiting for the gap before it.
      const Outcome got = m_client.ReadRtp(&m_packet, std::min(deadline, m_reorder.HoldUntil()));
      if (got.kind == OutcomeKind::kTimedOut && RtspClient::Clock::now() < deadline) {
        continue;
      }
      if (!got.Ok()) {
        return got;
      }
    }
    m_havePacket = false;
    if (!m_udp || m_reorder.Offer(m_packet, RtspClient::Clock::now())) {
      return {};
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
