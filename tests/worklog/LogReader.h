// Reads a work log back as the messages the program wrote, stamps cut off.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace testutil {

// The messages of "<dir>/log/Tarnview.txt" in order, each with its "\n". Text
// after a message's last line feed (" " for the few messages ending "\n ")
// starts the next line, before the next stamp, and is dropped with the stamp.
inline std::vector<std::string> LogMessages(const std::string& dir) {
  std::ifstream file(dir + "/log/Tarnview.txt");
  std::vector<std::string> messages;
  for (std::string line; std::getline(file, line);) {
    const size_t gap = line.find("  ");
    if (gap != std::string::npos) {
      messages.push_back(line.substr(gap + 2) + "\n");
    }
  }
  return messages;
}

}  // namespace testutil
