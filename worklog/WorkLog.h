// The work log: the program's one diagnostic channel, a single appended text
// file "<dir>/log/Tarnview.txt". Each entry is a UTC+8 time stamp, two spaces
// and the caller's message (which carries its own "\n").
#pragma once

#include <cstdio>

class CWorkLog {
 public:
  virtual ~CWorkLog();

  // Creates "<dir>/log" (only that last component) and opens the file there
  // for appending. A null dir stands for the user's home directory ($HOME,
  // else /tmp). Returns the stream, or null when it cannot be opened (every
  // entry is then dropped).
  FILE* OpenFile(const char* dir);

  // Appends one entry: printf-style message cut to 2,047 characters, written
  // with its stamp in one write and flushed. Dropped while no file is open.
  void WriteLog(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Closes the file (tests reopen it; the program closes it only at exit).
  void Close();

 private:
  FILE* m_pFile = nullptr;  // the open log file; null while closed
};

extern CWorkLog g_workLog;
