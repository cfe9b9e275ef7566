// The playback library: decodes the device's MPEG-TS stream on a port and draws
// it into a window. Results: non-zero success, 0 failure. Port -1 means none;
// every call with -1 or a port that is not open fails and changes nothing.
#pragma once

#include "platform/sys/types.h"

// Hands out a free port into *port.
BOOL PlayM4_GetPort(LONG* port);
// Chooses how the stream is fed; 0 is the live stream mode (the only one).
BOOL PlayM4_SetStreamOpenMode(LONG port, DWORD mode);
// Opens the port with the stream header (whole TS packets with PAT and PMT);
// the port's input buffer then holds bufferSize bytes.
BOOL PlayM4_OpenStream(LONG port, const BYTE* header, DWORD headerSize, DWORD bufferSize);
// Starts decoding; pictures go to the video sink registered for window.
BOOL PlayM4_Play(LONG port, HWND window);
// Appends bytes to the port's stream; refuses them whole (0) when they do not
// fit in the input buffer. Never blocks.
BOOL PlayM4_InputData(LONG port, const BYTE* data, DWORD size);
// Ends decoding, closes the stream, gives the port back (in this order).
BOOL PlayM4_Stop(LONG port);
BOOL PlayM4_CloseStream(LONG port);
BOOL PlayM4_FreePort(LONG port);
// Size in pixels of the last decoded picture; fails before the first picture.
BOOL PlayM4_GetPictureSize(LONG port, LONG* width, LONG* height);
// The last picture as a JPEG file image in buffer (bufferSize bytes); its byte
// count in *jpegSize. Fails, writing nothing past the buffer, when it is too
// small or there is no picture yet.
BOOL PlayM4_GetJPEG(LONG port, BYTE* buffer, DWORD bufferSize, DWORD* jpegSize);
