#include "platform/sys/thread.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>

namespace {

std::atomic<int> g_running{0};

struct ThreadObject {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;    // guarded by mutex
  DWORD exitCode = 0;   // guarded by mutex
};

ThreadObject* FromHandle(HANDLE h) { return reinterpret_cast<ThreadObject*>(h); }

}  // namespace

HANDLE CreateThread(THREAD_START_ROUTINE routine, void* param, const char* name) {
  auto* object = new (std::nothrow) ThreadObject;
  if (object == nullptr) {
    return nullptr;
  }
  const std::string threadName = name != nullptr ? std::string(name).substr(0, 15) : "";
  g_running.fetch_add(1);
  try {
    object->thread = std::thread([object, routine, param, threadName] {
      if (!threadName.empty()) {
        pthread_setname_np(pthread_self(), threadName.c_str());
      }
      const DWORD code = routine(param);
      {
        std::lock_guard<std::mutex> lock(object->mutex);
        object->done = true;
        object->exitCode = code;
      }
      g_running.fetch_sub(1);
      object->ended.notify_all();
    });
  } catch (const std::system_error&) {
    g_running.fetch_sub(1);
    delete object;
    return nullptr;
  }
  return reinterpret_cast<HANDLE>(object);
}

DWORD WaitForSingleObject(HANDLE thread, DWORD timeoutMs) {
  ThreadObject* object = FromHandle(thread);
  if (object == nullptr) {
    return WAIT_OBJECT_0;
  }
  std::unique_lock<std::mutex> lock(object->mutex);
  if (timeoutMs == INFINITE) {
    object->ended.wait(lock, [object] { return object->done; });
    return WAIT_OBJECT_0;
  }
  const bool done = object->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [object] { return object->done; });
  return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  ThreadObject* object = FromHandle(thread);
  if (object == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> lock(object->mutex);
  if (!object->done) {
    return false;
  }
  *exitCode = object->exitCode;
  return true;
}

BOOL CloseHandle(HANDLE thread) {
  ThreadObject* object = FromHandle(thread);
  if (object == nullptr) {
    return FALSE;
  }
  if (object->thread.joinable()) {
    object->thread.join();
  }
  delete object;
  return TRUE;
}

namespace sys {
int RunningThreadCount() { return g_running.load(); }
}  // namespace sys
