#include "config/IniFile.h"

#include <string_view>
#include <utility>

#include "config/DecimalText.h"

std::string TrimSpaces(std::string text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return std::string();
  }
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

CIniFile::~CIniFile() { Close(); }

void CIniFile::SetPath(std::string dir) { m_strPath = std::move(dir) + "/"; }

void CIniFile::SetFileName(std::string name) { m_strFileName = std::move(name) + ".ini"; }

int CIniFile::Open() {
  // Binary: the line-end rule (CR LF or LF) is applied by ReadLine itself.
  m_file.open(m_strPath + m_strFileName, std::ios::in | std::ios::binary);
  if (!m_file.is_open()) {
    return 0;
  }
  // A directory (or a file whose reads fail) opens all the same; its first
  // read fails hard (badbit), while an empty file only reaches its end.
  m_file.peek();
  if (m_file.bad()) {
    Close();
    return 0;
  }
  return 1;
}

void CIniFile::Close() {
  if (m_file.is_open()) {
    m_file.close();  // a failed close only sets failbit; nothing to report
  }
  m_file.clear();
}

bool CIniFile::ReadLine(std::string& line) {
  if (!std::getline(m_file, line)) {
    return false;
  }
  // A CR directly before the LF belongs to the line end. The last line has
  // no LF (getline then hit end of file), so a CR there stays in the line.
  if (!m_file.eof() && !line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

int CIniFile::FindSection(std::string section) {
  m_file.clear();
  m_file.seekg(0, std::ios::beg);
  std::string line;
  while (ReadLine(line)) {
    if (line.find(section) != std::string::npos) {
      return 1;
    }
  }
  return 0;
}

bool CIniFile::FindValue(const std::string& section, const std::string& key,
                         std::string& value) {
  if (!m_file.is_open()) {
    return false;
  }
  if (FindSection(section) == 0) {
    return false;
  }
  std::string line;
  while (ReadLine(line)) {
    const size_t equals = line.find('=');
    if (line.find('[') != std::string::npos) {
      continue;
    }
    if (equals == std::string::npos || equals == 0) {
      continue;  // no key part
    }
    if (std::string_view(line).substr(0, equals).find(key) == std::string_view::npos) {
      continue;
    }
    value = TrimSpaces(line.substr(equals + 1));
    return true;
  }
  return false;
}

int CIniFile::GetString(std::string section, std::string key, std::string& value) {
  std::string text;
  if (!FindValue(section, key, text)) {
    return 0;
  }
  // After trimming, so "value  \r" keeps its trailing spaces.
  if (!text.empty() && text.back() == '\r') {
    text.pop_back();
  }
  value = std::move(text);
  return 1;
}

int CIniFile::GetInt(std::string section, std::string key, int32_t* value) {
  std::string text;
  if (!FindValue(section, key, text)) {
    return 0;
  }
  *value = DecimalToInt(text);
  return 1;
}
