// Command-line options of the demo camera.
#pragma once

#include <string>

namespace democam {

enum class VideoCodec { kH264, kH265 };
// The audio track beside the video: G.711 A-law is listed after the video in
// the SDP, AAC before it, so that clients meet both orders.
enum class AudioCodec { kNone, kPcma, kAac };
enum class AuthMethod { kDigest, kBasic, kNone };
// Where the parameter sets (VPS/SPS/PPS) travel: in the stream before every key
// frame and in the SDP, or in the SDP only.
enum class ParameterSets { kInband, kSdp };
// How the picture shows the wall clock: as text for people, as a strip of
// blocks that a program reads back (clock_overlay.h), or both. The text costs
// most of a core at 1080p50; the strip next to nothing.
enum class ClockDrawing { kBoth, kText, kStrip };

struct CameraOptions {
  std::string address = "127.0.0.1";
  int port = 8000;  // 0: any free port, printed in the ready line
  std::string user = "admin";
  std::string password = "60917";
  int width = 1280;  // main stream; the sub stream is half of it each way
  int height = 720;
  int fps = 25;
  int bitrateKbps = 2048;  // main stream; the sub stream gets a quarter
  VideoCodec codec = VideoCodec::kH264;
  AudioCodec audio = AudioCodec::kNone;
  bool offerTcp = true;  // lower transports offered; SETUP of another gets refuseStatus
  bool offerUdp = true;
  int refuseStatus = 461;  // what a SETUP of a transport not offered is answered
  AuthMethod auth = AuthMethod::kDigest;
  ParameterSets params = ParameterSets::kInband;
  int bframes = 0;  // B-frames between reference frames
  ClockDrawing clock = ClockDrawing::kBoth;
};

struct ParseResult {
  bool ok = false;        // false: print `message` to stderr and exit 2
  bool showHelp = false;  // --help: print Usage() and exit 0
  CameraOptions options;
  std::string message;
};

ParseResult ParseOptions(int argc, char** argv);
std::string Usage();

}  // namespace democam
