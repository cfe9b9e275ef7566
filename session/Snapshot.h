// Snapshots: the picture the player shows (the delayed one) saved as a JPEG
// named by the local time, "<capture folder>/%Y-%m-%d-%H-%M-%S.jpg".
#pragma once

#include "platform/sys/types.h"

// The JPEG buffer handed to the player: made at the first snapshot, remade when
// the picture size changes, freed at tear-down (FreeSnapshotBuffer).
extern BYTE* g_pJpegBuf;
extern LONG g_nJpegBufSize;  // bytes: width x height x 3 / 2, one 4:2:0 picture
extern LONG g_nPicWidth;     // picture size the buffer was made for (pixels)
extern LONG g_nPicHeight;

void TakeSnapshot();
void WriteJpegSnapshot(const char* path);
void FreeSnapshotBuffer();
