// The process-wide settings, loaded once from ./config.ini (section
// "SysParam") while the main dialog initialises, and never written back.
#pragma once

#include <cstdint>
#include <string>

struct Settings {
  std::string ip;    // device address, dotted IPv4 text
  std::string port;  // device port, decimal digits
  std::string usr;   // login user name
  std::string pwd;   // login password
  int32_t delaytime = 0;     // seconds; only fills the delay box
  int32_t dwStreamType = 0;  // passed unchanged to the real-play request
  int32_t dwLinkMode = 0;    // passed unchanged to the real-play request
  // Optional RTSP path template of the camera ({ch}, {stream}, {streamno});
  // empty: the device layer's default path.
  std::string rtspPath;
};

extern Settings g_settings;

// Address of the demo camera on this machine, so the defaults reach it.
inline constexpr char kDefaultDeviceAddress[] = "127.0.0.1";

// Fills all of g_settings from ./config.ini, taking the default of every
// setting that is missing or empty, and logs a summary (password masked).
void ReadLocalConfig();
