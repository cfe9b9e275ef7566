// What the player gives up on, reported on stderr with the prefix "player: ",
// rate-limited per kind so that a damaged stream cannot flood the terminal:
// the first report of a kind is written at once, later ones at most once per
// kReportIntervalMs, each saying how many were held back since the last.
// The work log is the program's; nothing here goes there.
#pragma once

#include <cstdarg>

#include "platform/sys/types.h"

namespace player {

enum class Diagnostic {
  kDemux,    // bytes skipped, PES given up
  kDecoder,  // no decoder, or the decoder refused a picture
  kPicture,  // a decoded picture that could not be converted for the sink
  kOrder,    // a decoded picture out of time stamp order
  kMemory,   // out of memory on the decode thread
  kCount,
};

// Long enough that a stream broken for minutes writes a few dozen lines.
constexpr DWORD kReportIntervalMs = 5000;

// printf-style; the line ends with "\n" added here.
void Diagnose(Diagnostic kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace player
