// Writes an icon image as a PNG file (8-bit RGBA, not interlaced).
#pragma once

#include <string>

#include "res/resources.h"

namespace iconexport {

// Returns false when the file cannot be written.
bool WritePng(const IconImage& image, const std::string& path);

}  // namespace iconexport
