#include "platform/ui/gdi.h"

#include <cmath>
#include <vector>

struct HRGN__ {
  QRegion region;
};

BOOL CPen::CreatePen(int style, int width, COLORREF color) {
  if ((style != PS_SOLID && style != PS_NULL) || width > 1) return FALSE;
  m_style = style;
  m_color = color;
  return TRUE;
}

BOOL CPen::DeleteObject() {
  m_style = PS_NULL;
  return TRUE;
}

BOOL CBrush::CreateSolidBrush(COLORREF color) {
  m_solid = true;
  m_color = color;
  return TRUE;
}

BOOL CBrush::DeleteObject() {
  m_solid = false;
  return TRUE;
}

CRgn::~CRgn() { DeleteObject(); }

BOOL CRgn::CreateEllipticRgn(int left, int top, int right, int bottom) {
  if (m_hObject != nullptr) return FALSE;  // one handle per object, as the framework asserts
  m_hObject = new HRGN__{ui::EllipsePixels(left, top, right, bottom)};
  return TRUE;
}

BOOL CRgn::CreateEllipticRgnIndirect(const RECT* rect) {
  return CreateEllipticRgn(rect->left, rect->top, rect->right, rect->bottom);
}

BOOL CRgn::DeleteObject() {
  if (m_hObject == nullptr) return FALSE;
  ui::DeleteRegion(Detach());
  return TRUE;
}

HRGN CRgn::Detach() {
  HRGN handle = m_hObject;
  m_hObject = nullptr;
  return handle;
}

BOOL CRgn::PtInRegion(int x, int y) const {
  return ui::RegionOf(m_hObject).contains(QPoint(x, y)) ? TRUE : FALSE;
}

namespace ui {

QRegion EllipsePixels(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return {};
  const double cx = (left + right) / 2.0;
  const double cy = (top + bottom) / 2.0;
  const double rx = (right - left) / 2.0;
  const double ry = (bottom - top) / 2.0;
  std::vector<QRect> rows;
  for (int y = top; y < bottom; ++y) {
    const double dy = (y + 0.5 - cy) / ry;
    const double inside = 1.0 - dy * dy;
    if (inside < 0.0) continue;
    // Pixel centres x + 0.5 with |x + 0.5 - cx| <= half are inside.
    const double half = rx * std::sqrt(inside);
    const int first = static_cast<int>(std::ceil(cx - half - 0.5));
    const int last = static_cast<int>(std::floor(cx + half - 0.5));
    if (last >= first) rows.emplace_back(first, y, last - first + 1, 1);
  }
  QRegion region;
  region.setRects(rows.data(), static_cast<int>(rows.size()));
  return region;
}

QRegion RegionOf(HRGN region) { return region == nullptr ? QRegion() : region->region; }

void DeleteRegion(HRGN region) { delete region; }

}  // namespace ui
