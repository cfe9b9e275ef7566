// Session control: start a live session with the device (login, reconnect
// notice, real play into the intake, display full screen) and stop it in a
// fixed order (DecThread, real play, player port, login).
#pragma once

#include "platform/sys/types.h"
#include "session/SessionDialog.h"

// Login handle; negative after a failed login. -1 at program start.
extern LONG g_lUserID;
// Real-play handle; negative after a failure. 0 at program start.
extern LONG g_lRealHandle;

// Connection wait and reconnection settings the device SDK is set up with.
constexpr DWORD kConnectWaitMs = 2000;
constexpr DWORD kConnectTries = 1;
constexpr DWORD kReconnectIntervalMs = 10000;

// Initialises the device SDK with the settings above (at start-up, and again
// before a login that follows a failed real play, which cleaned it up).
void InitDeviceSdk();

// Handler of the start button.
void OnStartTeaching(SessionDialog& dialog);
// Handler of the cancel button, of the stop message and of the display's close
// button. Runs every step also when no session is active.
void StopSession(SessionDialog& dialog);
// Ends a session that is still running, so that the program can free the ring
// and the snapshot buffer; does nothing while idle.
void EndRunningSession(SessionDialog& dialog);

// The device's exception callback: logs reconnections.
void DeviceExceptionProc(DWORD type, LONG userId, LONG handle, void* user);
