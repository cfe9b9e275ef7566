// Any bytes as ./config.ini: the INI reader's lookups and the whole local
// configuration load must neither misbehave nor leave a setting empty, and
// the summary it logs must never show the password.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "config/IniFile.h"
#include "config/LocalConfig.h"
#include "worklog/WorkLog.h"

namespace {

// The time stamp and two spaces in front of an entry: "2026-01-31 12:00:00  ".
constexpr size_t kStampChars = 21;
// The log keeps this much of a message.
constexpr size_t kLogMessageChars = 2047;

std::string g_dir;       // scratch directory that holds config.ini
std::string g_startDir;  // libFuzzer's own directory: its corpus and artifact paths may be relative

std::string LogPath() { return g_dir + "/log/Tarnview.txt"; }

void RemoveScratch() {
  std::remove((g_dir + "/config.ini").c_str());
  std::remove(LogPath().c_str());
  rmdir((g_dir + "/log").c_str());
  rmdir(g_dir.c_str());
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_config: %s\n", what);
    std::abort();
  }
}

// The lookups a client can make, the program's own and the odd ones.
void LookUp(CIniFile& ini) {
  const char* const kKeys[] = {"ip", "port", "usr", "pwd", "delaytime", "dwStreamType",
                               "dwLinkMode", "rtspPath", "", "="};
  for (const char* section : {"SysParam", "", "["}) {
    for (const char* key : kKeys) {
      std::string text = "untouched";
      if (ini.GetString(section, key, text) != 0) {
        Check(text.find('\n') == std::string::npos, "a value holds a line feed");
      }
      int32_t number = -1;
      ini.GetInt(section, key, &number);
    }
  }
}

// The entries of this input's load, read back; the log starts empty each time.
std::string TakeLog() {
  std::ifstream in(LogPath(), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::remove(LogPath().c_str());
  return text;
}

// What the load must log, the password masked, cut as the log cuts messages.
std::string Summary() {
  // printf's %s ends at the first NUL, which a value read from the file may hold.
  auto text = [](const std::string& value) { return std::string(value.c_str()); };
  const std::string line = "ReadLocalConfig,ip:" + text(g_settings.ip) +
                           ",port:" + text(g_settings.port) + ",usr:" + text(g_settings.usr) +
                           ",pwd:******,dt:" + std::to_string(g_settings.delaytime) +
                           ",st:" + std::to_string(g_settings.dwStreamType) +
                           ",lm:" + std::to_string(g_settings.dwLinkMode) + "\n";
  return line.substr(0, kLogMessageChars);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/fuzz_config.XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  g_dir = dir;
  char* cwd = getcwd(nullptr, 0);
  g_startDir = cwd;
  std::free(cwd);
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = g_dir + "/config.ini";
  FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr, "cannot write config.ini");
  Check(std::fwrite(data, 1, size, file) == size, "short write of config.ini");
  std::fclose(file);

  CIniFile ini;
  ini.SetPath(g_dir);
  ini.SetFileName("config");
  Check(ini.Open() != 0, "cannot open config.ini");
  LookUp(ini);
  ini.Close();
  LookUp(ini);  // after Close: every lookup fails without reading

  // ReadLocalConfig reads ./config.ini; go back at once so that libFuzzer's
  // relative paths keep their meaning.
  Check(chdir(g_dir.c_str()) == 0, "cannot enter the scratch directory");
  Check(g_workLog.OpenFile(g_dir.c_str()) != nullptr, "cannot open the work log");
  ReadLocalConfig();
  g_workLog.Close();
  Check(chdir(g_startDir.c_str()) == 0, "cannot go back");
  const std::string log = TakeLog();
  Check(log.size() > kStampChars && log.compare(kStampChars, std::string::npos, Summary()) == 0,
        "the log is not the one summary entry, password masked");
  Check(!g_settings.ip.empty() && !g_settings.port.empty() && !g_settings.usr.empty() &&
            !g_settings.pwd.empty(),
        "a text setting is empty after the load");
  return 0;
}
