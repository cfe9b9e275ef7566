#include "controls/caption.h"

namespace controls {
CString FirstChars(const CString& text, int maxChars) {
  const std::string& bytes = text.str();
  int chars = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    // A character starts at every byte that is not a continuation byte (10xxxxxx).
    if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) {
      if (chars == maxChars) return CString(bytes.substr(0, i));
      ++chars;
    }
  }
  return text;
}
}  // namespace controls
