// Icons from the resources, behind opaque handles.
#pragma once

#include <QIcon>

#include "platform/ui/wintypes.h"

// The registered icon `id`, or null when there is none.
HICON LoadIcon(UINT id);

namespace ui {
QIcon IconOf(HICON icon);  // all images of the icon; empty for null
}  // namespace ui
