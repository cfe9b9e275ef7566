// Command-line options of the demo camera.
#pragma once

#include <string>

namespace democam {

struct CameraOptions {
  std::string address = "127.0.0.1";
  int port = 8000;  // 0: any free port, printed in the ready line
  std::string user = "admin";
  std::string password = "60917";
  int width = 1280;  // main stream; the sub stream is half of it each way
  int height = 720;
  int fps = 25;
  int bitrateKbps = 2048;  // main stream; the sub stream gets a quarter
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
