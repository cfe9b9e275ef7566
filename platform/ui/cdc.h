// A device context over a pixel surface (a QImage at a device pixel ratio of 1),
// exact to the pixel: what the owner-drawn controls draw with.
#pragma once

#include <string>
#include <vector>

#include <QFont>
#include <QImage>
#include <QRegion>

#include "platform/ui/cstring.h"
#include "platform/ui/gdi.h"
#include "platform/ui/wintypes.h"

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_SINGLELINE = 0x20;

constexpr UINT DST_PREFIXTEXT = 0x2;
constexpr UINT DSS_DISABLED = 0x20;

class CDC {
 public:
  // Draws on `surface` (Format_RGB32) with `font` as the selected font.
  CDC(QImage* surface, const QFont& font);
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  static CDC* FromHandle(HDC hdc);
  HDC GetSafeHdc() { return m_hDC; }

  BOOL SetPixelV(int x, int y, COLORREF color);
  BOOL SetPixelV(POINT point, COLORREF color) { return SetPixelV(point.x, point.y, color); }
  COLORREF GetPixel(int x, int y) const;  // 0xFFFFFFFF outside the surface

  void FillSolidRect(const RECT* rect, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  int FillRect(const RECT* rect, CBrush* brush);

  CPen* SelectObject(CPen* pen);
  CBrush* SelectObject(CBrush* brush);
  CGdiObject* SelectStockObject(int index);  // NULL_BRUSH or NULL_PEN

  // Lines are drawn with the selected pen and exclude their end point.
  CPoint MoveTo(int x, int y);
  BOOL LineTo(int x, int y);

  COLORREF SetTextColor(COLORREF color);
  COLORREF GetTextColor() const { return m_state.textColor; }
  COLORREF SetBkColor(COLORREF color);
  int SetBkMode(int mode);

  // Only single-line text is supported (DT_SINGLELINE), optionally centred.
  // The text is clipped to the rectangle. Returns the text height.
  int DrawText(const char* text, int count, RECT* rect, UINT format);
  int DrawText(const CString& text, RECT* rect, UINT format);
  // Text with its top-left corner at (x, y).
  BOOL TextOut(int x, int y, const char* text, int count);
  BOOL TextOut(int x, int y, const CString& text);
  CSize GetTextExtent(const char* text, int count) const;
  CSize GetTextExtent(const CString& text) const;

  // The disabled (embossed) text effect: the text in the highlight colour one
  // pixel right and down, then in the shadow colour at (pt). Only text
  // (with DST_PREFIXTEXT: '&' marks the next character as underlined).
  BOOL DrawState(CPoint pt, CSize size, const char* text, UINT flags);

  // A dotted rectangle inverting every other pixel of its outline.
  void DrawFocusRect(const RECT* rect);

  int SaveDC();               // returns the saved level, counting from 1
  BOOL RestoreDC(int saved);  // a level from SaveDC, or -1 for the latest
  int SelectClipRgn(CRgn* region);  // null removes the clipping region

 private:
  struct State {
    CPen* pen;
    CBrush* brush;
    COLORREF textColor = 0;
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    CPoint position;
    bool clipped = false;
    QRegion clip;  // device pixels, when clipped
  };

  bool Visible(int x, int y) const;
  void PaintText(int x, int y, const QString& text, COLORREF color, const QRegion* clipTo,
                 int underlineIndex);

  HDC m_hDC;
  QImage* m_surface;
  QFont m_font;
  State m_state;
  std::vector<State> m_saved;
};
