// The dialog font and the one mapping from dialog units to pixels.
//
// Every dialog is laid out in the CJK dialog font (the templates' own faces are
// not installed here); its size is the template's point size at 96 pixels per
// inch, so layouts do not depend on the screen's reported resolution.
#pragma once

#include <string>

#include <QFont>

#include "platform/ui/wintypes.h"

namespace ui {

inline constexpr const char* kDialogFontFamily = "WenQuanYi Micro Hei";

// The dialog font at `points` (text drawn unsmoothed, pixel by pixel).
QFont DialogFont(int points);

// Pixels per 4 horizontal and per 8 vertical dialog units of a font: average
// character width and character height.
struct BaseUnits {
  int cx;
  int cy;
};
BaseUnits BaseUnitsOf(const QFont& font);

// A template's position and size (x, y, cx, cy in dialog units) as a pixel
// rectangle; each of the four is mapped and rounded on its own, as the system does.
CRect DialogUnitsToPixels(int x, int y, int cx, int cy, BaseUnits base);

// Whether the dialog font resolved to the requested family, and what it
// resolved to otherwise (the program logs it at start).
struct FontCheck {
  bool resolved;
  std::string family;  // the family actually used
};
FontCheck CheckDialogFont();

}  // namespace ui

// a * b / c rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);
