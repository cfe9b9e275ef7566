// Recognises the stream header that opens a port: whole MPEG-TS packets that
// hold a program association table and the program map table it names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace player {

// True when bytes are whole TS packets (each starting with the sync byte), one
// of them carries a PAT section with a good CRC, and another a PMT section with
// a good CRC on a PID that PAT names. Sections must start and end inside one
// packet, as they do in a header.
bool IsStreamHeader(const uint8_t* bytes, size_t size);

}  // namespace player
