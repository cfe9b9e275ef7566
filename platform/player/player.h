// The playback library: decodes the device's MPEG-TS stream on a port and draws
// it into a window. Results: non-zero success, 0 failure. Port -1 means none;
// every call with -1, a number outside the fixed port table, or a port not in
// the state the call needs fails and changes nothing (outputs untouched).
//
// Threads: a port may be opened on one thread, fed on another and asked for
// snapshots and closed on a third. The closing calls wait for a feed or a
// snapshot in progress; feeds and snapshots that come after a close fail.
// Pictures go to the video sink registered for the window
// (platform/player/video_sink.h), on the port's decode thread.
#pragma once

#include "platform/sys/types.h"

// Hands out a free port into *port; fails, leaving *port alone, when all 16
// are held.
BOOL PlayM4_GetPort(LONG* port);
// Chooses how the stream is fed; 0 is the live stream mode (the only one).
// Only on a held port before OpenStream.
BOOL PlayM4_SetStreamOpenMode(LONG port, DWORD mode);
// Opens a held port with the stream header: whole 188-byte TS packets holding
// a PAT and the PMT it names, with good CRCs; anything else is refused. The
// port's input buffer then holds bufferSize bytes (at least the header, at
// most 64 MiB) and starts with the header. Decoding waits for PlayM4_Play.
BOOL PlayM4_OpenStream(LONG port, const BYTE* header, DWORD headerSize, DWORD bufferSize);
// Starts the port's decode thread ("player-dec-<port>") on an open port;
// pictures go to the video sink registered for window at the time of each
// picture. With no sink (or a null window) the port decodes and keeps the last
// picture only. Once per open stream.
BOOL PlayM4_Play(LONG port, HWND window);
// Appends the bytes to the stream of an open or playing port; refuses them
// whole (0) when they do not fit in the free part of the input buffer. Never
// waits for the decoder. Damaged, dropped or repeated bytes give damaged
// pictures until the next key frame, never a crash.
BOOL PlayM4_InputData(LONG port, const BYTE* data, DWORD size);
// Ends decoding (the decode thread has ended when this returns, within one
// picture's decode time) and refuses further input; the last picture stays.
BOOL PlayM4_Stop(LONG port);
// Stops if needed and releases the stream, its buffer and its last picture;
// the port stays held and can be opened again.
BOOL PlayM4_CloseStream(LONG port);
// Closes if needed and gives the port back to the table.
BOOL PlayM4_FreePort(LONG port);
// Size in pixels of the last decoded picture (after a size change, the new
// one); fails before the first picture and once the stream is closed.
BOOL PlayM4_GetPictureSize(LONG port, LONG* width, LONG* height);
// The last picture as a JPEG file image (full-range 4:2:0, baseline) in buffer
// (bufferSize bytes); its byte count in *jpegSize. Fails, writing nothing to
// buffer or *jpegSize, when the JPEG does not fit or there is no picture yet.
// At quality 90 a buffer of width x height x 3 / 2 bytes is ample: a noisy
// 1080p picture takes about a quarter of it.
BOOL PlayM4_GetJPEG(LONG port, BYTE* buffer, DWORD bufferSize, DWORD* jpegSize);
