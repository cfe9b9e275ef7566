// The process-wide settings, loaded once from ./config.ini (section
// "SysParam") while the main dialog initialises, and never written back.
#pragma once

#include <cstdint>
#include <string>

// 30 MiB hold about 31 s of an 8 Mbit/s stream, 63 s of a 4 Mbit/s one.
inline constexpr int32_t kRingMBDefault = 30;
// Still about 33 s of a 4 Mbit/s sub stream, and room for several of the
// largest records the intake stores (4 MiB).
inline constexpr int32_t kRingMBMin = 16;
// The longest delay (60 s) at 64 Mbit/s fits in 512 MiB, beyond any camera
// stream; more would only take memory.
inline constexpr int32_t kRingMBMax = 512;

// The stream history that replays, clips and the web screens are served from:
// 128 MiB hold about 2 minutes of an 8 Mbit/s stream ("historyMB").
inline constexpr int32_t kHistoryMBDefault = 128;
inline constexpr int32_t kHistoryMBMin = 32;
inline constexpr int32_t kHistoryMBMax = 1024;
// TCP port of the web screens ("webListen"); 0 turns them off.
inline constexpr int32_t kWebListenDefault = 8080;
inline constexpr int32_t kWebListenMax = 65535;

// Instant replay: seconds replayed ("replaySeconds"), their speed
// ("replaySpeed", a fraction of real time) and the seconds a clip keeps
// ("clipSeconds"). The stream history holds 60 s, the longest clip.
inline constexpr int32_t kReplaySecondsDefault = 8;
inline constexpr int32_t kReplaySecondsMin = 2;
inline constexpr int32_t kReplaySecondsMax = 30;
inline constexpr double kReplaySpeedDefault = 0.5;
inline constexpr double kReplaySpeedMin = 0.25;
inline constexpr double kReplaySpeedMax = 1.0;
inline constexpr int32_t kClipSecondsDefault = 20;
inline constexpr int32_t kClipSecondsMin = 5;
inline constexpr int32_t kClipSecondsMax = 60;

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
  // Optional capacity of the stream ring in MiB ("ringMB"), kept within
  // kRingMBMin..kRingMBMax: the ring must hold the whole delay of the stream.
  int32_t ringMB = kRingMBDefault;
  // Optional size of the stream history in MiB ("historyMB") and the web
  // screens' port ("webListen"), each kept within its range.
  int32_t historyMB = kHistoryMBDefault;
  int32_t webListen = kWebListenDefault;
  // Optional replay and clip keys, each kept within its range.
  int32_t replaySeconds = kReplaySecondsDefault;
  double replaySpeed = kReplaySpeedDefault;
  int32_t clipSeconds = kClipSecondsDefault;
};

extern Settings g_settings;

// Address of the demo camera on this machine, so the defaults reach it.
inline constexpr char kDefaultDeviceAddress[] = "127.0.0.1";

// Fills all of g_settings from ./config.ini, taking the default of every
// setting that is missing or empty, and logs a summary (password masked).
void ReadLocalConfig();
