#include "web/WebTokens.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "config/IniFile.h"

namespace {

constexpr char kSection[] = "Web";
constexpr size_t kTokenBytes = kTokenHexDigits / 2;

bool IsToken(const std::string& text) {
  if (text.size() != kTokenHexDigits) {
    return false;
  }
  for (unsigned char c : text) {
    if (!std::isxdigit(c)) {
      return false;
    }
  }
  return true;
}

// Writes web.ini with fresh tokens, readable by its owner only. False when
// it cannot be written (the file is left alone if it appeared meanwhile).
bool WriteNewFile(const std::string& path) {
  const std::string view = RandomToken();
  const std::string coach = RandomToken();
  if (view.empty() || coach.empty()) {
    return false;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  const std::string text = "[Web]\nviewToken=" + view + "\ncoachToken=" + coach + "\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written) {
    unlink(path.c_str());
  }
  return written;
}

std::string ReadToken(CIniFile& ini, const char* key) {
  std::string value;
  ini.GetString(kSection, key, value);
  if (IsToken(value)) {
    return value;
  }
  std::fprintf(stderr, "web: %s in web.ini is %s; its pages are refused until it holds %zu hex "
               "digits\n", key, value.empty() ? "missing" : "not a token", kTokenHexDigits);
  return {};
}

}  // namespace

std::string RandomToken() {
  unsigned char bytes[kTokenBytes];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    return {};
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 0x0F];
  }
  return token;
}

bool SameToken(std::string_view given, std::string_view expected) {
  if (expected.empty()) {
    return false;
  }
  // Every byte of the expected token is looked at whatever `given` holds.
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < expected.size(); ++i) {
    const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= g ^ static_cast<unsigned char>(expected[i]);
  }
  return difference == 0;
}

WebTokens LoadWebTokens(const std::string& dir) {
  const std::string path = dir + "/" + kWebIniName + ".ini";
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 && !WriteNewFile(path)) {
    std::fprintf(stderr, "web: web.ini could not be made in %s; the web screens are refused\n",
                 dir.c_str());
    return {};
  }
  if (stat(path.c_str(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    std::fprintf(stderr, "web: web.ini can be read by other users; chmod 600 it\n");
  }
  CIniFile ini;
  ini.SetPath(dir);
  ini.SetFileName(kWebIniName);
  if (ini.Open() == 0) {
    std::fprintf(stderr, "web: web.ini cannot be read; the web screens are refused\n");
    return {};
  }
  WebTokens tokens;
  tokens.view = ReadToken(ini, "viewToken");
  tokens.coach = ReadToken(ini, "coachToken");
  ini.Close();
  if (!tokens.coach.empty() && SameToken(tokens.coach, tokens.view)) {
    // Every viewer would hold the coach's remote.
    std::fprintf(stderr, "web: coachToken in web.ini is the viewToken; the coach's pages are "
                 "refused until they differ\n");
    tokens.coach.clear();
  }
  return tokens;
}
