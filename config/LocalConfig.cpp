#include "config/LocalConfig.h"

#include <cmath>
#include <cstdlib>

#include "config/IniFile.h"
#include "config/PasswordMask.h"
#include "worklog/WorkLog.h"

Settings g_settings;

namespace {

constexpr char kSection[] = "SysParam";
constexpr int32_t kMissing = -1;  // marker left in a number that was not found

std::string TextOr(const std::string& text, const char* fallback) {
  return text.empty() ? std::string(fallback) : text;
}

int32_t NumberOr(int32_t number, int32_t fallback) {
  return number == kMissing ? fallback : number;
}

int32_t RingMBOf(int32_t number) {
  if (number == kMissing) {
    return kRingMBDefault;
  }
  return number < kRingMBMin ? kRingMBMin : number > kRingMBMax ? kRingMBMax : number;
}

// A number kept within [low, high], or the default when missing.
int32_t WithinOr(int32_t number, int32_t low, int32_t high, int32_t fallback) {
  if (number == kMissing) {
    return fallback;
  }
  return number < low ? low : number > high ? high : number;
}

// A decimal fraction ("0.5", "0,5" is not one) kept within its range; empty
// or unreadable text takes the default.
double SpeedOf(const std::string& text) {
  char* end = nullptr;
  const double speed = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || !std::isfinite(speed)) {
    return kReplaySpeedDefault;
  }
  return speed < kReplaySpeedMin ? kReplaySpeedMin : speed > kReplaySpeedMax ? kReplaySpeedMax : speed;
}

void ReadReplayKeys(CIniFile& ini) {
  int32_t replaySeconds = kMissing;
  ini.GetInt(kSection, "replaySeconds", &replaySeconds);
  g_settings.replaySeconds =
      WithinOr(replaySeconds, kReplaySecondsMin, kReplaySecondsMax, kReplaySecondsDefault);
  std::string replaySpeed;
  ini.GetString(kSection, "replaySpeed", replaySpeed);
  g_settings.replaySpeed = SpeedOf(replaySpeed);
  int32_t clipSeconds = kMissing;
  ini.GetInt(kSection, "clipSeconds", &clipSeconds);
  g_settings.clipSeconds =
      WithinOr(clipSeconds, kClipSecondsMin, kClipSecondsMax, kClipSecondsDefault);
}

}  // namespace

void ReadLocalConfig() {
  CIniFile ini;
  ini.SetPath(".");
  ini.SetFileName("config");
  if (ini.Open() != 0) {
    std::string ip, port, usr, pwd;
    ini.GetString(kSection, "ip", ip);
    g_settings.ip = TextOr(ip, kDefaultDeviceAddress);
    ini.GetString(kSection, "port", port);
    g_settings.port = TextOr(port, "8000");
    ini.GetString(kSection, "usr", usr);
    g_settings.usr = TextOr(usr, "admin");
    ini.GetString(kSection, "pwd", pwd);
    g_settings.pwd = TextOr(pwd, "60917");

    int32_t delaytime = kMissing;
    int32_t streamType = kMissing;
    int32_t linkMode = kMissing;
    ini.GetInt(kSection, "delaytime", &delaytime);
    g_settings.delaytime = NumberOr(delaytime, 2);
    ini.GetInt(kSection, "dwStreamType", &streamType);
    g_settings.dwStreamType = NumberOr(streamType, 0);
    ini.GetInt(kSection, "dwLinkMode", &linkMode);
    g_settings.dwLinkMode = NumberOr(linkMode, 0);
    // Not one of the seven: real cameras name their streams in many ways.
    std::string rtspPath;
    ini.GetString(kSection, "rtspPath", rtspPath);
    g_settings.rtspPath = rtspPath;
    // Not one of the seven either: long delays of a fast stream need more.
    int32_t ringMB = kMissing;
    ini.GetInt(kSection, "ringMB", &ringMB);
    g_settings.ringMB = RingMBOf(ringMB);
    ReadReplayKeys(ini);
    int32_t historyMB = kMissing;
    ini.GetInt(kSection, "historyMB", &historyMB);
    g_settings.historyMB = WithinOr(historyMB, kHistoryMBMin, kHistoryMBMax, kHistoryMBDefault);
    int32_t webListen = kMissing;
    ini.GetInt(kSection, "webListen", &webListen);
    g_settings.webListen = WithinOr(webListen, 0, kWebListenMax, kWebListenDefault);
    ini.Close();
  } else {
    g_settings.ip = kDefaultDeviceAddress;
    g_settings.port = "8000";
    g_settings.usr = "admin";
    g_settings.pwd = "60917";
    g_settings.dwStreamType = 0;
    g_settings.dwLinkMode = 0;
    g_settings.delaytime = 2;
    g_settings.rtspPath.clear();
    g_settings.ringMB = kRingMBDefault;
    g_settings.replaySeconds = kReplaySecondsDefault;
    g_settings.replaySpeed = kReplaySpeedDefault;
    g_settings.clipSeconds = kClipSecondsDefault;
    g_settings.historyMB = kHistoryMBDefault;
    g_settings.webListen = kWebListenDefault;
    g_workLog.WriteLog("can't open configfile\n");
  }
  g_workLog.WriteLog("ReadLocalConfig,ip:%s,port:%s,usr:%s,pwd:%s,dt:%d,st:%d,lm:%d\n",
                     g_settings.ip.c_str(), g_settings.port.c_str(), g_settings.usr.c_str(),
                     kMaskedPassword, g_settings.delaytime, g_settings.dwStreamType,
                     g_settings.dwLinkMode);
}
