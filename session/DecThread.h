// The DecThread: the delayed feed. It takes the stream records out of the ring
// in storage order and hands each payload to the player once the record is
// g_nDelayMs old, so the picture runs that much behind.
#pragma once

#include <atomic>

#include "platform/sys/lock.h"
#include "platform/sys/types.h"
#include "session/StreamRecord.h"

// Holds the payload of the record in hand: exactly the largest payload a
// record may carry.
constexpr DWORD kDecScratchBytes = 4194304;
static_assert(kDecScratchBytes == kMaxRecordPayloadBytes,
              "every record the ring accepts must fit the DecThread's scratch buffer");

// A record is never held longer than this (ms): a safety bound above the
// longest delay the dialog accepts (60 s), so that every delay is honoured.
constexpr LONG kDecMaxHoldMs = 61000;
// Step of the wait for a record to come due, and the pause on an empty ring (ms).
constexpr DWORD kDecWaitStepMs = 10;

// Non-zero while the DecThread is to run; written with interlocked exchanges
// by session control (1 at start, 0 at stop), polled here.
extern INTERLOCKED_LONG g_bTread;
// Session delay in ms (delay in seconds times 1000); set before the thread starts.
extern LONG g_nDelayMs;
// The player port fed; -1 while none is held. Set by the intake on the
// device's thread, read by this thread and by snapshots on the GUI thread.
extern std::atomic<LONG> g_lPlayPort;

// The arrival tick of what the DecThread feeds now: the picture on the main
// display arrived this long ago (the session's delay).
DWORD ShownTick();

// Thread routine (param unused). Runs until a turn ends with g_bTread cleared;
// returns 1.
DWORD DecThread(void* param);
