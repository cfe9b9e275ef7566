#include "tools/democam/options.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace democam {
namespace {

bool ParseInt(std::string_view text, int min, int max, int* out) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return false;
  }
  *out = value;
  return true;
}

// "WIDTHxHEIGHT"; both even so that the half-size sub stream stays 4:2:0.
bool ParseSize(std::string_view text, int* width, int* height) {
  const auto x = text.find('x');
  if (x == std::string_view::npos) {
    return false;
  }
  int w = 0;
  int h = 0;
  if (!ParseInt(text.substr(0, x), 64, 7680, &w) || !ParseInt(text.substr(x + 1), 64, 4320, &h)) {
    return false;
  }
  if (w % 4 != 0 || h % 4 != 0) {
    return false;
  }
  *width = w;
  *height = h;
  return true;
}

// The first line of a file, so that a password need not stand in the process's
// arguments, where every user of the machine can read it.
bool ReadFirstLine(std::string_view path, std::string* out) {
  std::ifstream file{std::string(path)};
  std::string line;
  if (!file || !std::getline(file, line)) {
    return false;
  }
  *out = line;
  return true;
}

// One of a fixed set of words, e.g. "h264" or "h265".
template <typename T>
bool ParseChoice(std::string_view text,
                 std::initializer_list<std::pair<std::string_view, T>> choices, T* out) {
  for (const auto& [word, value] : choices) {
    if (text == word) {
      *out = value;
      return true;
    }
  }
  return false;
}

// "tcp", "udp" or both, comma-separated in any order.
bool ParseTransports(std::string_view text, bool* tcp, bool* udp) {
  bool wantTcp = false;
  bool wantUdp = false;
  while (true) {
    const auto comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    if (item == "tcp" && !wantTcp) {
      wantTcp = true;
    } else if (item == "udp" && !wantUdp) {
      wantUdp = true;
    } else {
      return false;
    }
    if (comma == std::string_view::npos) {
      break;
    }
    text.remove_prefix(comma + 1);
  }
  *tcp = wantTcp;
  *udp = wantUdp;
  return true;
}

}  // namespace

std::string Usage() {
  return "Usage: democam [options]\n"
         "A demo network camera: an RTSP server on loopback whose picture is moving colour bars\n"
         "with a large wall clock (local time, milliseconds). Two streams of video:\n"
         "  rtsp://ADDRESS:PORT/ch1/main   the main stream, at --size\n"
         "  rtsp://ADDRESS:PORT/ch1/sub    the sub stream, half the size, a quarter of the "
         "bitrate\n"
         "The options below from --codec on shape both streams alike.\n"
         "\n"
         "Options:\n"
         "  --address ADDR     address to listen on (default 127.0.0.1)\n"
         "  --port N           port to listen on, 0 for any free port (default 8000)\n"
         "  --user NAME        user name (default admin)\n"
         "  --password TEXT    password (default 60917)\n"
         "  --password-file F  read the password from the first line of file F instead\n"
         "  --size WxH         main stream picture size, multiples of 4 (default 1280x720)\n"
         "  --fps N            frames per second of both streams, 1..60 (default 25)\n"
         "  --bitrate KBPS     main stream bitrate in kbit/s (default 2048)\n"
         "  --codec C          video codec: h264 or h265 (default h264)\n"
         "  --bframes N        B-frames between reference frames, 0..16 (default 0)\n"
         "  --params P         where VPS/SPS/PPS travel: inband (before every key frame\n"
         "                     and in the SDP) or sdp (in the SDP only) (default inband)\n"
         "  --audio A          audio track beside the video: none, pcma (G.711 A-law,\n"
         "                     8 kHz, listed after the video) or aac (AAC, 16 kHz,\n"
         "                     listed before the video) (default none)\n"
         "  --transports T     RTP transports offered: tcp, udp or tcp,udp (default\n"
         "                     tcp,udp); a SETUP asking for another is refused\n"
         "  --refuse-status N  the status such a SETUP is answered with, 400..599\n"
         "                     (default 461; cameras also send 400, 406, 451, 501, 505)\n"
         "  --auth M           client authentication: digest, basic or none (default\n"
         "                     digest)\n"
         "  --clock C          how the picture shows the wall clock: text, strip (a row\n"
         "                     of blocks along the bottom that tests read back: the\n"
         "                     milliseconds since 1970 in 48 bits and a checksum) or\n"
         "                     both (default both)\n"
         "  --help             show this text\n"
         "\n"
         "When it listens it prints one line to stdout:\n"
         "  democam ready on ADDRESS port PORT\n"
         "It runs until SIGINT or SIGTERM and then exits with status 0.\n";
}

ParseResult ParseOptions(int argc, char** argv) {
  ParseResult result;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      result.showHelp = true;
      result.ok = true;
      return result;
    }
    if (i + 1 >= argc) {
      result.message = "democam: unknown option or missing value: " + std::string(name);
      return result;
    }
    const std::string_view value = argv[++i];
    CameraOptions& o = result.options;
    bool valid = true;
    if (name == "--address") {
      o.address = value;
    } else if (name == "--port") {
      valid = ParseInt(value, 0, 65535, &o.port);
    } else if (name == "--user") {
      o.user = value;
      valid = !value.empty();
    } else if (name == "--password") {
      o.password = value;
    } else if (name == "--password-file") {
      valid = ReadFirstLine(value, &o.password);
    } else if (name == "--size") {
      valid = ParseSize(value, &o.width, &o.height);
    } else if (name == "--fps") {
      valid = ParseInt(value, 1, 60, &o.fps);
    } else if (name == "--bitrate") {
      valid = ParseInt(value, 64, 100000, &o.bitrateKbps);
    } else if (name == "--codec") {
      valid = ParseChoice<VideoCodec>(
          value, {{"h264", VideoCodec::kH264}, {"h265", VideoCodec::kH265}}, &o.codec);
    } else if (name == "--bframes") {
      valid = ParseInt(value, 0, 16, &o.bframes);  // both encoders' limit
    } else if (name == "--params") {
      valid = ParseChoice<ParameterSets>(
          value, {{"inband", ParameterSets::kInband}, {"sdp", ParameterSets::kSdp}}, &o.params);
    } else if (name == "--audio") {
      valid = ParseChoice<AudioCodec>(
          value,
          {{"none", AudioCodec::kNone}, {"pcma", AudioCodec::kPcma}, {"aac", AudioCodec::kAac}},
          &o.audio);
    } else if (name == "--transports") {
      valid = ParseTransports(value, &o.offerTcp, &o.offerUdp);
    } else if (name == "--clock") {
      valid = ParseChoice<ClockDrawing>(value,
                                        {{"both", ClockDrawing::kBoth},
                                         {"text", ClockDrawing::kText},
                                         {"strip", ClockDrawing::kStrip}},
                                        &o.clock);
    } else if (name == "--refuse-status") {
      valid = ParseInt(value, 400, 599, &o.refuseStatus);
    } else if (name == "--auth") {
      valid = ParseChoice<AuthMethod>(value,
                                      {{"digest", AuthMethod::kDigest},
                                       {"basic", AuthMethod::kBasic},
                                       {"none", AuthMethod::kNone}},
                                      &o.auth);
    } else {
      result.message = "democam: unknown option " + std::string(name) + " (see --help)";
      return result;
    }
    if (!valid) {
      result.message = "democam: bad value for " + std::string(name) + ": " + std::string(value) +
                       " (see --help)";
      return result;
    }
  }
  result.ok = true;
  return result;
}

}  // namespace democam
