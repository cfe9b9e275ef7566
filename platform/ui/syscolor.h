// System colours with fixed values: the classic grey scheme that the owner-drawn
// buttons were designed for. They never change while the program runs.
#pragma once

#include "platform/ui/wintypes.h"

constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;

// Values (RGB): window 255,255,255; window text 0,0,0; button face and 3D light
// 212,208,200; button shadow and grey text 128,128,128; button text 0,0,0;
// highlight 255,255,255; dark shadow 64,64,64. Unknown indices give black.
COLORREF GetSysColor(int index);
