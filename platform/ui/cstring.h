// The framework's text value: a UTF-8 string with the few calls the program makes.
#pragma once

#include <cstdarg>
#include <string>

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_text(text == nullptr ? "" : text) {}  // NOLINT: implicit
  CString(std::string text) : m_text(std::move(text)) {}              // NOLINT: implicit

  int GetLength() const { return static_cast<int>(m_text.size()); }  // bytes
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  const char* GetString() const { return m_text.c_str(); }
  operator const char*() const { return m_text.c_str(); }  // NOLINT: implicit as in the framework
  const std::string& str() const { return m_text; }

  // printf-style formatting into this string.
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  bool operator==(const CString& other) const { return m_text == other.m_text; }

 private:
  std::string m_text;
};
