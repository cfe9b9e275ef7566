// CIniFile: reads single values out of a small INI-style text file.
//
// Matching is deliberately loose: the section opens at the first line that
// contains its name anywhere and never ends; a key matches any key part that
// contains it; the first match wins. Lines holding "[" or starting with "="
// are skipped. Every lookup rereads the file from its first line. The reader
// never writes. Strings are compared as bytes, which is safe for UTF-8 files:
// no multibyte sequence contains "[" or "=".
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

class CIniFile {
 public:
  CIniFile() = default;
  virtual ~CIniFile();
  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;

  // m_strPath becomes dir + "/" (appended even when dir already ends in one).
  void SetPath(std::string dir);
  // m_strFileName becomes name + ".ini" (appended even when name has it).
  void SetFileName(std::string name);

  // Opens m_strPath + m_strFileName read-only. Nonzero when open and
  // readable; 0 otherwise, also for a directory of that name.
  int Open();
  // Rewinds and reads up to the first line containing section. 1 when found,
  // the file then positioned after that line; 0 otherwise.
  int FindSection(std::string section);
  // 1 and the trimmed value (one trailing CR removed) in value when found;
  // 0 and value untouched otherwise, also when no file is open.
  int GetString(std::string section, std::string key, std::string& value);
  // 1 and the value's decimal conversion (atoi rules, saturated to 32 bits)
  // in *value when found; 0 and *value untouched otherwise.
  int GetInt(std::string section, std::string key, int32_t* value);
  virtual void Close();

 private:
  // Reads the line after the section start whose key part contains key and
  // returns its trimmed value. false when there is none or no file is open.
  bool FindValue(const std::string& section, const std::string& key, std::string& value);
  // Next line without its line end; false at end of file.
  bool ReadLine(std::string& line);

  std::string m_strPath;      // directory part, ends with "/" once SetPath ran
  std::string m_strFileName;  // file name including ".ini"
  std::ifstream m_file;       // the file being read
};

// The text without leading and trailing spaces (code 32 only; tabs stay).
std::string TrimSpaces(std::string text);
