#include "platform/ui/cdc.h"

#include <cstdlib>

#include <QFontMetrics>
#include <QPainter>

#include "platform/ui/syscolor.h"

namespace {

// Stock objects: never deleted, shared by every device context.
CPen& BlackPen() {
  static CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
  return pen;
}
CPen& NullPen() {
  static CPen pen(PS_NULL, 1, 0);
  return pen;
}
CBrush& WhiteBrush() {
  static CBrush brush(RGB(255, 255, 255));
  return brush;
}
CBrush& NullBrush() {
  static CBrush brush;
  return brush;
}

QRgb ToRgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

COLORREF FromRgb(QRgb c) {
  return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)),
             static_cast<BYTE>(qBlue(c)));
}

QString Text(const char* text, int count) {
  if (text == nullptr) return {};
  return count < 0 ? QString::fromUtf8(text) : QString::fromUtf8(text, count);
}

}  // namespace

CDC::CDC(QImage* surface, const QFont& font)
    : m_hDC(reinterpret_cast<HDC>(this)), m_surface(surface), m_font(font) {
  m_font.setStyleStrategy(QFont::NoAntialias);
  m_state.pen = &BlackPen();
  m_state.brush = &WhiteBrush();
}

CDC* CDC::FromHandle(HDC hdc) { return reinterpret_cast<CDC*>(hdc); }

bool CDC::Visible(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_surface->width() || y >= m_surface->height()) return false;
  return !m_state.clipped || m_state.clip.contains(QPoint(x, y));
}

BOOL CDC::SetPixelV(int x, int y, COLORREF color) {
  if (!Visible(x, y)) return FALSE;
  m_surface->setPixel(x, y, ToRgb(color));
  return TRUE;
}

COLORREF CDC::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_surface->width() || y >= m_surface->height()) return 0xFFFFFFFF;
  return FromRgb(m_surface->pixel(x, y));
}

void CDC::FillSolidRect(const RECT* rect, COLORREF color) {
  for (LONG y = rect->top; y < rect->bottom; ++y)
    for (LONG x = rect->left; x < rect->right; ++x) SetPixelV(x, y, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  const RECT rect{x, y, x + cx, y + cy};
  FillSolidRect(&rect, color);
}

int CDC::FillRect(const RECT* rect, CBrush* brush) {
  if (brush == nullptr || brush->IsNull()) return 0;
  FillSolidRect(rect, brush->Color());
  return 1;
}

CPen* CDC::SelectObject(CPen* pen) {
  CPen* previous = m_state.pen;
  m_state.pen = pen;
  return previous;
}

CBrush* CDC::SelectObject(CBrush* brush) {
  CBrush* previous = m_state.brush;
  m_state.brush = brush;
  return previous;
}

CGdiObject* CDC::SelectStockObject(int index) {
  if (index == NULL_BRUSH) return SelectObject(&NullBrush());
  if (index == NULL_PEN) return SelectObject(&NullPen());
  return nullptr;
}

CPoint CDC::MoveTo(int x, int y) {
  const CPoint previous = m_state.position;
  m_state.position = CPoint(x, y);
  return previous;
}

BOOL CDC::LineTo(int x, int y) {
  // Bresenham from the current position; the end point is not drawn.
  int px = m_state.position.x;
  int py = m_state.position.y;
  const int dx = std::abs(x - px);
  const int dy = -std::abs(y - py);
  const int sx = px < x ? 1 : -1;
  const int sy = py < y ? 1 : -1;
  int err = dx + dy;
  const bool draw = m_state.pen != nullptr && !m_state.pen->IsNull();
  while (px != x || py != y) {
    if (draw) SetPixelV(px, py, m_state.pen->Color());
    const int e2 = 2 * err;
    if (e2 >= dy) { err += dy; px += sx; }
    if (e2 <= dx) { err += dx; py += sy; }
  }
  m_state.position = CPoint(x, y);
  return TRUE;
}

COLORREF CDC::SetTextColor(COLORREF color) {
  const COLORREF previous = m_state.textColor;
  m_state.textColor = color;
  return previous;
}

COLORREF CDC::SetBkColor(COLORREF color) {
  const COLORREF previous = m_state.bkColor;
  m_state.bkColor = color;
  return previous;
}

int CDC::SetBkMode(int mode) {
  const int previous = m_state.bkMode;
  m_state.bkMode = mode;
  return previous;
}

void CDC::PaintText(int x, int y, const QString& text, COLORREF color, const QRegion* clipTo,
                    int underlineIndex) {
  QRegion clip(0, 0, m_surface->width(), m_surface->height());
  if (m_state.clipped) clip &= m_state.clip;
  if (clipTo != nullptr) clip &= *clipTo;
  const QFontMetrics metrics(m_font);
  QPainter painter(m_surface);
  painter.setClipRegion(clip);
  if (m_state.bkMode == OPAQUE)
    painter.fillRect(x, y, metrics.horizontalAdvance(text), metrics.height(),
                     QColor(ToRgb(m_state.bkColor)));
  painter.setFont(m_font);
  painter.setPen(QColor(ToRgb(color)));
  painter.drawText(QPoint(x, y + metrics.ascent()), text);
  if (underlineIndex >= 0 && underlineIndex < text.size()) {
    const int left = x + metrics.horizontalAdvance(text.left(underlineIndex));
    const int width = metrics.horizontalAdvance(text.at(underlineIndex));
    const int lineY = y + metrics.ascent() + 1;
    painter.fillRect(left, lineY, width, 1, QColor(ToRgb(color)));
  }
}

int CDC::DrawText(const char* text, int count, RECT* rect, UINT format) {
  const QString line = Text(text, count);
  const QFontMetrics metrics(m_font);
  const int width = metrics.horizontalAdvance(line);
  const int height = metrics.height();
  int x = rect->left;
  int y = rect->top;
  if ((format & DT_CENTER) != 0) x = (rect->left + rect->right - width) / 2;
  if ((format & DT_VCENTER) != 0 && (format & DT_SINGLELINE) != 0)
    y = (rect->top + rect->bottom - height) / 2;
  const QRegion box(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  PaintText(x, y, line, m_state.textColor, &box, -1);
  return height;
}

int CDC::DrawText(const CString& text, RECT* rect, UINT format) {
  return DrawText(text.GetString(), -1, rect, format);
}

BOOL CDC::TextOut(int x, int y, const char* text, int count) {
  PaintText(x, y, Text(text, count), m_state.textColor, nullptr, -1);
  return TRUE;
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
  return TextOut(x, y, text.GetString(), text.GetLength());
}

CSize CDC::GetTextExtent(const char* text, int count) const {
  const QFontMetrics metrics(m_font);
  return CSize(metrics.horizontalAdvance(Text(text, count)), metrics.height());
}

CSize CDC::GetTextExtent(const CString& text) const {
  return GetTextExtent(text.GetString(), text.GetLength());
}

BOOL CDC::DrawState(CPoint pt, CSize size, const char* text, UINT flags) {
  QString shown = QString::fromUtf8(text == nullptr ? "" : text);
  int underline = -1;
  if ((flags & DST_PREFIXTEXT) != 0) {
    // "&&" is a literal '&'; a single '&' underlines the character after it.
    QString plain;
    for (qsizetype i = 0; i < shown.size(); ++i) {
      if (shown[i] == u'&' && i + 1 < shown.size()) {
        ++i;
        if (shown[i] != u'&') underline = static_cast<int>(plain.size());
      }
      plain += shown[i];
    }
    shown = plain;
  }
  const int saved = SetBkMode(TRANSPARENT);
  const QRegion box(pt.x, pt.y, size.cx, size.cy);
  if ((flags & DSS_DISABLED) != 0) {
    // The white copy is the whole picture moved by one pixel, so its box moves
    // with it: clipped to the text's own box it would lose its last column and row.
    const QRegion whiteBox = box.translated(1, 1);
    PaintText(pt.x + 1, pt.y + 1, shown, GetSysColor(COLOR_BTNHIGHLIGHT), &whiteBox, underline);
    PaintText(pt.x, pt.y, shown, GetSysColor(COLOR_BTNSHADOW), &box, underline);
  } else {
    PaintText(pt.x, pt.y, shown, m_state.textColor, &box, underline);
  }
  SetBkMode(saved);
  return TRUE;
}

void CDC::DrawFocusRect(const RECT* rect) {
  // Pixels with an even coordinate sum are inverted: a 50 % dot pattern
  // anchored at the surface's origin. Each outline pixel is inverted once.
  const auto invert = [this](int x, int y) {
    if (((x + y) & 1) != 0 || !Visible(x, y)) return;
    m_surface->setPixel(x, y, m_surface->pixel(x, y) ^ 0x00FFFFFFu);
  };
  if (rect->right <= rect->left || rect->bottom <= rect->top) return;
  for (LONG x = rect->left; x < rect->right; ++x) {
    invert(x, rect->top);
    if (rect->bottom - 1 > rect->top) invert(x, rect->bottom - 1);
  }
  for (LONG y = rect->top + 1; y < rect->bottom - 1; ++y) {
    invert(rect->left, y);
    if (rect->right - 1 > rect->left) invert(rect->right - 1, y);
  }
}

int CDC::SaveDC() {
  m_saved.push_back(m_state);
  return static_cast<int>(m_saved.size());
}

BOOL CDC::RestoreDC(int saved) {
  const int level = saved < 0 ? static_cast<int>(m_saved.size()) + 1 + saved : saved;
  if (level < 1 || level > static_cast<int>(m_saved.size())) return FALSE;
  m_state = m_saved[static_cast<size_t>(level - 1)];
  m_saved.resize(static_cast<size_t>(level - 1));
  return TRUE;
}

int CDC::SelectClipRgn(CRgn* region) {
  constexpr int kNullRegion = 1;
  constexpr int kComplexRegion = 3;
  if (region == nullptr) {
    m_state.clipped = false;
    m_state.clip = QRegion();
    return kComplexRegion;
  }
  m_state.clipped = true;
  m_state.clip = ui::RegionOf(*region);
  return m_state.clip.isEmpty() ? kNullRegion : kComplexRegion;
}
