// Threads behind Windows-style handles.
//
// There is no forced end of a thread here: every thread the program starts must
// end by itself. WaitForSingleObject bounds the wait; CloseHandle joins the
// thread (waiting for its own end if it has not ended yet) and frees the handle.
#pragma once

#include "platform/sys/types.h"

using THREAD_START_ROUTINE = DWORD (*)(void* param);

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD INFINITE = 0xFFFFFFFF;

// Starts routine(param) at once on a new thread named `name` (at most 15
// characters are shown by the system). Returns null when no thread could start.
HANDLE CreateThread(THREAD_START_ROUTINE routine, void* param, const char* name);

// Waits up to timeoutMs (real milliseconds, or INFINITE) for the thread to end.
// Returns WAIT_OBJECT_0 when it has ended, WAIT_TIMEOUT otherwise.
DWORD WaitForSingleObject(HANDLE thread, DWORD timeoutMs);

// The routine's result once the thread has ended; false while it runs.
bool GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Joins the thread and frees the handle. Null is accepted and ignored.
BOOL CloseHandle(HANDLE thread);

namespace sys {
// Number of threads started by CreateThread that have not ended yet.
int RunningThreadCount();
}  // namespace sys
