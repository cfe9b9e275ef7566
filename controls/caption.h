// Caption limits counted in characters: a cut never splits a UTF-8 sequence.
#pragma once

#include "platform/ui/cstring.h"

namespace controls {
// The first `maxChars` characters (code points) of `text`.
CString FirstChars(const CString& text, int maxChars);
}  // namespace controls
