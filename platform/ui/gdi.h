// Pens, brushes and regions: plain values that a CDC uses while drawing.
#pragma once

#include <QRegion>

#include "platform/ui/wintypes.h"

constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
constexpr int NULL_BRUSH = 5;
constexpr int NULL_PEN = 8;

class CGdiObject {
 protected:
  CGdiObject() = default;
};

// A pen of one pixel width (the only width the program draws with).
class CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
  // Fails for widths above 1 pixel and for styles other than solid and null.
  BOOL CreatePen(int style, int width, COLORREF color);
  BOOL DeleteObject();
  bool IsNull() const { return m_style == PS_NULL; }
  COLORREF Color() const { return m_color; }

 private:
  int m_style = PS_NULL;
  COLORREF m_color = 0;
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color);
  BOOL DeleteObject();
  bool IsNull() const { return !m_solid; }
  COLORREF Color() const { return m_color; }

 private:
  bool m_solid = false;
  COLORREF m_color = 0;
};

// A region handle. Whoever holds the handle frees it (DeleteObject), unless it
// was handed to a window with SetWindowRgn: then the window owns it, and the
// holder gives it up with Detach.
class CRgn : public CGdiObject {
 public:
  CRgn() = default;
  ~CRgn();
  CRgn(const CRgn&) = delete;
  CRgn& operator=(const CRgn&) = delete;

  // The pixels whose centres lie inside the ellipse inscribed in the rectangle.
  BOOL CreateEllipticRgn(int left, int top, int right, int bottom);
  BOOL CreateEllipticRgnIndirect(const RECT* rect);
  BOOL DeleteObject();
  HRGN Detach();
  operator HRGN() const { return m_hObject; }  // NOLINT: implicit as in the framework
  BOOL PtInRegion(int x, int y) const;

  HRGN m_hObject = nullptr;
};

namespace ui {
// The pixel set of an ellipse inscribed in (left, top)-(right, bottom), built
// row by row from pixel centres (QRegion's own ellipse is not symmetric).
QRegion EllipsePixels(int left, int top, int right, int bottom);
QRegion RegionOf(HRGN region);  // empty for null
void DeleteRegion(HRGN region);
}  // namespace ui
