#include "session/ClipSaver.h"

#include <cstdio>
#include <ctime>

#include "config/LocalConfig.h"
#include "platform/clip/clip_writer.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/sys/wallclock.h"
#include "session/CaptureFolder.h"
#include "session/DecThread.h"
#include "session/StreamIntake.h"
#include "worklog/WorkLog.h"

ClipSaver g_clipSaver;

namespace {

constexpr size_t kTimeTextBytes = 128;

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ClipSaver::~ClipSaver() { Stop(); }

bool ClipSaver::Save(const StreamHistory& history, DWORD seconds, DWORD shownTick,
                     const std::string& path) {
  Job job{history.SpanFromKeyNearest(shownTick - seconds * 1000, shownTick), path};
  if (job.span.header == nullptr || job.span.records.empty()) {
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_jobs.size() >= kMaxWaitingClips) {
      return false;
    }
    m_jobs.push_back(std::move(job));
    if (m_bRunning) {
      return true;  // the running thread takes it
    }
    m_bRunning = true;
  }
  CloseHandle(m_hThread);  // the last thread has left its loop: this joins at once
  m_hThread = CreateThread(&ClipSaver::Main, this, "ClipThread");
  if (m_hThread == nullptr) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.clear();
    m_bRunning = false;
    return false;
  }
  return true;
}

void ClipSaver::Stop() {
  CloseHandle(m_hThread);  // joins once the waiting clips are written
  m_hThread = nullptr;
}

int ClipSaver::SavedCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nSaved;
}

std::string ClipSaver::LastSaved() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strLastSaved;
}

DWORD ClipSaver::Main(void* self) {
  static_cast<ClipSaver*>(self)->Run();
  return 0;
}

void ClipSaver::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_jobs.empty()) {
    const Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    lock.unlock();
    const bool saved = Write(job);
    lock.lock();
    if (saved) {
      ++m_nSaved;
      m_strLastSaved = FileNameOf(job.path);
    }
  }
  m_bRunning = false;  // idle: the next clip starts a thread of its own
}

bool ClipSaver::Write(const Job& job) {
  std::vector<clip::Bytes> pieces;
  pieces.reserve(job.span.records.size() + 1);
  pieces.push_back({job.span.header->data(), job.span.header->size()});
  for (const HistoryRecordRef& record : job.span.records) {
    pieces.push_back({record->data.data(), record->data.size()});
  }
  const std::string temporary = job.path + ".part";
  if (!clip::WriteMp4(pieces, temporary)) {
    return false;  // the writer removed what it wrote
  }
  if (std::rename(temporary.c_str(), job.path.c_str()) != 0) {
    std::remove(temporary.c_str());
    std::fprintf(stderr, "clip: %s could not be renamed\n", temporary.c_str());
    return false;
  }
  g_workLog.WriteLog("save clip %s\n", FileNameOf(job.path).c_str());
  return true;
}

void SaveClip() {
  if (g_hDecThread.load() == nullptr) {
    return;  // no session: nothing is shown
  }
  char timeText[kTimeTextBytes] = "";
  const std::time_t now = sys::WallClockNow();
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr ||
      std::strftime(timeText, sizeof timeText, "%Y-%m-%d-%H-%M-%S", &local) == 0) {
    return;
  }
  g_clipSaver.Save(g_history, static_cast<DWORD>(g_settings.clipSeconds),
                   ShownTick(),
                   CaptureDirectory() + "/" + timeText + ".mp4");
}
