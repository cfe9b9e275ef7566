#include "tools/democam/options.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <string_view>

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

}  // namespace

std::string Usage() {
  return "Usage: democam [options]\n"
         "A demo network camera: an RTSP server on loopback whose picture is moving colour bars\n"
         "with a large wall clock (local time, milliseconds). Two streams of H.264 video:\n"
         "  rtsp://ADDRESS:PORT/ch1/main   the main stream, at --size\n"
         "  rtsp://ADDRESS:PORT/ch1/sub    the sub stream, half the size, a quarter of the "
         "bitrate\n"
         "Clients authenticate with HTTP digest authentication.\n"
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
