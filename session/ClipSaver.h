// Clips: the S key keeps the last "clipSeconds" shown as an MP4, remuxed from
// the stream history (not re-encoded) by the "ClipThread", so the picture never
// waits for the disk. The thread runs only while clips are waiting. The file is "<capture folder>/%Y-%m-%d-%H-%M-%S.mp4",
// written to "<name>.part" and renamed: a second clip in the same second
// replaces the first only whole, and a failure leaves no file at all.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "platform/sys/types.h"
#include "session/StreamHistory.h"

class ClipSaver {
 public:
  // Clips waiting beside the one being written; a key held down (or pressed
  // faster than the disk takes 20 s of stream) adds no more. Each holds its
  // records, so this bounds the memory beyond the stream history too.
  static constexpr size_t kMaxWaitingClips = 2;

  ~ClipSaver();  // ends the thread (see Stop)

  // GUI thread: the `seconds` of `history` shown up to `shownTick` (the
  // arrival tick of what the display shows now), from their nearest key
  // frame, to be saved at `path` (the ".mp4" name). False when nothing is
  // held or kMaxWaitingClips are waiting.
  bool Save(const StreamHistory& history, DWORD seconds, DWORD shownTick, const std::string& path);
  // Writes the clips asked for (at most 1 + kMaxWaitingClips, about a
  // second each), then ends the thread.
  void Stop();
  // Clips written so far (tests, benchmarks).
  int SavedCount() const;
  // File name of the last clip written, empty before the first.
  std::string LastSaved() const;

 private:
  struct Job {
    HistorySpan span;
    std::string path;
  };
  static DWORD Main(void* self);
  void Run();
  static bool Write(const Job& job);

  mutable std::mutex m_mutex;
  std::deque<Job> m_jobs;             // guarded by m_mutex; at most kMaxWaitingClips
  bool m_bRunning = false;            // guarded by m_mutex: the thread takes jobs
  int m_nSaved = 0;                   // guarded by m_mutex
  std::string m_strLastSaved;         // guarded by m_mutex
  HANDLE m_hThread = nullptr;         // the latest thread; it ends when idle; GUI thread only
};

// The program's saver, used by SaveClip.
extern ClipSaver g_clipSaver;

// The S key: while a session runs, the last g_settings.clipSeconds shown go
// to the capture folder under the local time's name.
void SaveClip();
