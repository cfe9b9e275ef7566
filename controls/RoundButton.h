// CRoundButton: a push button made square and circular (window region), drawn
// with single-pixel rings shaded by angle as if lit from the upper left.
#pragma once

#include "platform/ui/button.h"
#include "platform/ui/cdc.h"
#include "platform/ui/gdi.h"

class CRoundButton : public CButton {
 public:
  CRoundButton() = default;
  ~CRoundButton() override;

  CRgn m_rgnWindow;      // the circular region; the window owns it once set
  CPoint m_ptCenter;     // centre of the circle, client pixels
  LONG m_nRingRadius = 0;  // radius of the outermost ring, pixels
  BOOL m_bFocusRing = TRUE;

  void PreSubclassWindow() override;
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

  // Pure drawing routines, public for their pixel tests.
  static COLORREF BlendForAngle(double angle, COLORREF crBright, COLORREF crDark);
  static void PlotCircle(CDC* pDC, CPoint ptCenter, int nRadius, COLORREF crColour, BOOL bDotted);
  static void PlotShadedCircle(CDC* pDC, CPoint ptCenter, int nRadius, COLORREF crBright,
                               COLORREF crDark);
};
