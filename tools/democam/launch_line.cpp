#include "tools/democam/launch_line.h"

namespace democam {
namespace {

constexpr int kKeyIntervalFrames = 50;  // a key frame every 2 s at 25 frames/s
constexpr int kVideoPayloadType = 96;
constexpr int kAacPayloadType = 97;
constexpr int kPcmaPayloadType = 8;  // static payload type of G.711 A-law
constexpr int kPcmaRateHz = 8000;    // G.711 is 8 kHz by definition
constexpr int kAacRateHz = 16000;    // what cameras' AAC microphones commonly use
constexpr int kAacBitrate = 32000;   // bit/s, ample for a mono test tone at 16 kHz

// Moving bars under a wall clock that the media-configure handler keeps
// current: the strip drawn as the picture leaves the source, the text over it.
std::string RawVideo(const StreamShape& s) {
  const int fontPoints = s.height / 9;  // clock text about a fifth of the picture height
  std::string line = "videotestsrc is-live=true pattern=smpte75 horizontal-speed=4"
                     " ! video/x-raw,format=I420,width=" +
                     std::to_string(s.width) + ",height=" + std::to_string(s.height) +
                     ",framerate=" + std::to_string(s.fps) + "/1";
  if (s.clock != ClockDrawing::kText) {
    line += std::string(" ! identity name=") + kStripElement;
  }
  if (s.clock != ClockDrawing::kStrip) {
    line += std::string(" ! textoverlay name=") + kClockElement + " font-desc=\"DejaVu Sans Mono Bold " +
            std::to_string(fontPoints) + "\" halignment=center valignment=center shaded-background=true";
  }
  return line;
}

// Both encoders run the fastest preset tuned for zero latency, which keeps encoding cheap. That
// tuning turns B-frames off, so a wanted count is set after it (x264enc applies its properties
// after the tune, x265enc its option string; x265 also needs a look-ahead longer than the run of
// B-frames). For "inband" the parser puts the parameter sets in front of every key frame (-1);
// for "sdp" a probe on the parser's output removes them. The payloaders insert none themselves
// (their config-interval=-1 would send a key frame's parameter sets a second time). The
// packetised formats (avc, hvc1) carry the parameter sets in the caps' codec data, from which
// the payloader writes them into the SDP.
std::string EncodedVideo(const StreamShape& s, int payloaderIndex) {
  const std::string parserInterval = s.params == ParameterSets::kInband ? "-1" : "0";
  const std::string common =
      " speed-preset=ultrafast tune=zerolatency key-int-max=" + std::to_string(kKeyIntervalFrames) +
      " bitrate=" + std::to_string(s.bitrateKbps);
  const std::string payloader = " config-interval=0 pt=" + std::to_string(kVideoPayloadType) +
                                " name=pay" + std::to_string(payloaderIndex);
  if (s.codec == VideoCodec::kH265) {
    std::string encoder = "x265enc" + common;
    if (s.bframes > 0) {
      encoder += " option-string=\"bframes=" + std::to_string(s.bframes) +
                 ":rc-lookahead=" + std::to_string(s.bframes + 1) + "\"";
    }
    return encoder + " ! h265parse name=" + kParameterElement +
           " config-interval=" + parserInterval +
           " ! video/x-h265,stream-format=hvc1,alignment=au ! rtph265pay" + payloader;
  }
  // B-frames need the main profile; without them the encoder keeps to the
  // constrained baseline profile.
  const std::string profile = s.bframes > 0 ? " ! video/x-h264,profile=main" : "";
  return "x264enc" + common + " bframes=" + std::to_string(s.bframes) + profile +
         " ! h264parse name=" + kParameterElement + " config-interval=" + parserInterval +
         " ! video/x-h264,stream-format=avc,alignment=au ! rtph264pay" + payloader;
}

// A quiet test tone, as a camera's microphone in an empty room.
std::string Audio(AudioCodec audio, int payloaderIndex) {
  const std::string name = " name=pay" + std::to_string(payloaderIndex);
  const std::string tone = "audiotestsrc is-live=true wave=sine freq=440 volume=0.1";
  if (audio == AudioCodec::kPcma) {
    // 20 ms buffers, the usual G.711 packet time.
    return tone + " samplesperbuffer=" + std::to_string(kPcmaRateHz / 50) +
           " ! audio/x-raw,format=S16LE,channels=1,rate=" + std::to_string(kPcmaRateHz) +
           " ! alawenc ! rtppcmapay pt=" + std::to_string(kPcmaPayloadType) + name;
  }
  // mpeg4-generic (RFC 3640), the AAC payload format cameras use.
  return tone + " ! audio/x-raw,format=S16LE,channels=1,rate=" + std::to_string(kAacRateHz) +
         " ! voaacenc bitrate=" + std::to_string(kAacBitrate) +
         " ! rtpmp4gpay pt=" + std::to_string(kAacPayloadType) + name;
}

}  // namespace

// The payloaders' numbers (pay0, pay1) give the order of the media in the SDP:
// AAC is listed before the video, G.711 after it. A short queue puts the
// encoder on a thread of its own: drawing the bars and the clock and encoding
// them on one thread make only about 30 pictures a second at 1080p.
std::string LaunchLine(const StreamShape& shape) {
  std::string line = "( " + RawVideo(shape) + " ! queue max-size-buffers=2 ! ";
  switch (shape.audio) {
    case AudioCodec::kNone:
      line += EncodedVideo(shape, 0);
      break;
    case AudioCodec::kPcma:
      line += EncodedVideo(shape, 0) + "  " + Audio(shape.audio, 1);
      break;
    case AudioCodec::kAac:
      line += EncodedVideo(shape, 1) + "  " + Audio(shape.audio, 0);
      break;
  }
  return line + " )";
}

}  // namespace democam
