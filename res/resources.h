// The program's resources: dialogs 100, 102 and 129, string 101, icon 128.
#pragma once

#include <vector>

#include "platform/ui/resources.h"

namespace res {
// Registers every resource with the dialog layer; call once at start.
void RegisterResources();

// Icon 128 drawn at `size` pixels (48, 32 and 16 are registered).
IconImage DrawAppIcon(int size);
}  // namespace res
