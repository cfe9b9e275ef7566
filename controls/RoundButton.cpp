#include "controls/RoundButton.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/syscolor.h"

namespace {
constexpr COLORREF kBlack = RGB(0, 0, 0);
// Light comes from the upper left (radians, y growing downwards). These
// constants, not pi at full precision, fix the shading's exact pixel values.
constexpr double kLightAngle = -2.356;
constexpr double kWrapLimit = 3.1415;
constexpr double kFullTurn = 6.293;
constexpr double kHalfPi = 1.570796327;
constexpr double kPi = 3.141592654;
}  // namespace

CRoundButton::~CRoundButton() {
  // Only a region the window never took is ours to free (see PreSubclassWindow).
  m_rgnWindow.DeleteObject();
}

void CRoundButton::PreSubclassWindow() {
  // 1.-2. An owner-drawn button from here on.
  CButton::PreSubclassWindow();
  ModifyStyle(0, BS_OWNERDRAW, 0);

  // 3. Square: the smaller side.
  CRect rect;
  GetClientRect(&rect);
  const LONG d = std::min(rect.right, rect.bottom);
  rect.right = d;
  rect.bottom = d;

  // 4. Centre and radius of the outermost ring.
  m_ptCenter = CPoint((rect.left + d) / 2, (rect.top + d) / 2);
  m_nRingRadius = d / 2 - 1;

  // 5. The circular region. Once the window has taken it, the window owns it
  //    and frees it with itself: the member gives the handle up, so neither a
  //    later set-up nor the destructor can free a region the window holds.
  m_rgnWindow.DeleteObject();
  SetWindowRgn(nullptr, FALSE);
  m_rgnWindow.CreateEllipticRgnIndirect(&rect);
  if (SetWindowRgn(m_rgnWindow, TRUE) != 0) m_rgnWindow.Detach();

  // 6.-7. Keep the top-left corner, in the parent's coordinates, at d x d pixels.
  ClientToScreen(&rect);
  if (CWnd* parent = GetParent()) parent->ScreenToClient(&rect);
  MoveWindow(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void CRoundButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  // 1. Device context, rectangle, state, style and working radius.
  CDC* pDC = CDC::FromHandle(lpDrawItemStruct->hDC);
  const CRect rect(lpDrawItemStruct->rcItem);
  const UINT state = lpDrawItemStruct->itemState;
  const DWORD style = GetStyle();
  int r = m_nRingRadius;

  // 2. The face.
  const int saved = pDC->SaveDC();
  pDC->SelectStockObject(NULL_BRUSH);
  pDC->FillSolidRect(&rect, GetSysColor(COLOR_BTNFACE));

  // 3. The focus ring.
  const bool focusRing = (state & ODS_FOCUS) != 0 && m_bFocusRing;
  if (focusRing) {
    PlotCircle(pDC, m_ptCenter, r, kBlack, FALSE);
    --r;
  }

  // 4. The rim.
  if ((style & BS_FLAT) != 0) {
    PlotCircle(pDC, m_ptCenter, r, kBlack, FALSE);
    --r;
    PlotCircle(pDC, m_ptCenter, r, GetSysColor(COLOR_BTNHIGHLIGHT), FALSE);
    --r;
  } else if ((state & ODS_SELECTED) != 0) {
    PlotShadedCircle(pDC, m_ptCenter, r, GetSysColor(COLOR_3DDKSHADOW),
                     GetSysColor(COLOR_BTNHIGHLIGHT));
    --r;
    PlotShadedCircle(pDC, m_ptCenter, r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_3DLIGHT));
    --r;
  } else {
    PlotShadedCircle(pDC, m_ptCenter, r, GetSysColor(COLOR_BTNHIGHLIGHT),
                     GetSysColor(COLOR_3DDKSHADOW));
    --r;
    PlotShadedCircle(pDC, m_ptCenter, r, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_BTNSHADOW));
    --r;
  }

  // 5. The caption, clipped to the inner circle.
  CString caption;
  GetWindowText(caption);
  if (!caption.IsEmpty()) {
    const int cx = m_ptCenter.x;
    const int cy = m_ptCenter.y;
    CRgn clip;
    clip.CreateEllipticRgn(cx - r, cy - r, cx + r, cy + r);
    pDC->SelectClipRgn(&clip);
    const CSize extent = pDC->GetTextExtent(caption);
    int x = cx - extent.cx / 2;
    int y = cy - extent.cy / 2;
    if ((state & ODS_SELECTED) != 0) {
      ++x;
      ++y;
    }
    pDC->SetBkMode(TRANSPARENT);
    if ((state & ODS_DISABLED) != 0) {
      pDC->DrawState(CPoint(x, y), CSize(extent.cx, extent.cy), caption,
                     DST_PREFIXTEXT | DSS_DISABLED);
    } else {
      pDC->TextOut(x, y, caption);
    }
    pDC->SelectClipRgn(nullptr);
    clip.DeleteObject();
  }

  // 6. The dotted focus circle inside the caption.
  if (focusRing) PlotCircle(pDC, m_ptCenter, r - 2, kBlack, TRUE);

  // 7.
  pDC->RestoreDC(saved);
}

COLORREF CRoundButton::BlendForAngle(double angle, COLORREF crBright, COLORREF crDark) {
  double d = kLightAngle - angle;
  if (d < -kWrapLimit) {
    d = d + kFullTurn;
  } else if (d > kWrapLimit) {
    d = kFullTurn - d;
  }
  const double w = (std::cos(d) + 1.0) * 0.5;  // 1 facing the light, 0 facing away
  const auto channel = [w](BYTE bright, BYTE dark) {
    return static_cast<BYTE>(static_cast<int>(w * bright + (1.0 - w) * dark) & 0xFF);
  };
  return RGB(channel(GetRValue(crBright), GetRValue(crDark)),
             channel(GetGValue(crBright), GetGValue(crDark)),
             channel(GetBValue(crBright), GetBValue(crDark)));
}

void CRoundButton::PlotCircle(CDC* pDC, CPoint ptCenter, int nRadius, COLORREF crColour,
                              BOOL bDotted) {
  constexpr int kDashLength = 1;  // steps drawn, then steps skipped
  const int px = ptCenter.x;
  const int py = ptCenter.y;
  int xo = nRadius;
  int yo = 0;
  int err = -nRadius;
  bool on = true;
  int dash = 0;
  do {
    if (on) {
      pDC->SetPixelV(px + xo, py + yo, crColour);
      pDC->SetPixelV(px + xo, py - yo, crColour);
      pDC->SetPixelV(px + yo, py + xo, crColour);
      pDC->SetPixelV(px + yo, py - xo, crColour);
      pDC->SetPixelV(px - yo, py + xo, crColour);
      pDC->SetPixelV(px - yo, py - xo, crColour);
      pDC->SetPixelV(px - xo, py + yo, crColour);
      pDC->SetPixelV(px - xo, py - yo, crColour);
    }
    err += yo;
    ++yo;
    err += yo;
    if (err >= 0) {
      --xo;
      err -= 2 * xo;
    }
    if (bDotted) {
      if (++dash == kDashLength) {
        dash = 0;
        on = !on;
      }
    }
  } while (yo <= xo);
}

void CRoundButton::PlotShadedCircle(CDC* pDC, CPoint ptCenter, int nRadius, COLORREF crBright,
                                    COLORREF crDark) {
  const double px = ptCenter.x;
  const double py = ptCenter.y;
  double xo = nRadius;
  double yo = 0;
  double err = -nRadius;
  const auto plot = [&](double x, double y, double angle) {
    pDC->SetPixelV(static_cast<int>(x), static_cast<int>(y), BlendForAngle(angle, crBright, crDark));
  };
  do {
    const double a = std::atan2(yo, xo);
    plot(px + xo, py + yo, a);
    plot(px + yo, py + xo, kHalfPi - a);
    plot(px - yo, py + xo, a + kHalfPi);
    plot(px - xo, py + yo, kPi - a);
    plot(px - xo, py - yo, a - kPi);
    plot(px - yo, py - xo, -kHalfPi - a);
    plot(px + yo, py - xo, a - kHalfPi);
    plot(px + xo, py - yo, -a);
    err += yo;
    ++yo;
    err += yo;
    if (err >= 0) {
      --xo;
      err -= 2 * xo;
    }
  } while (yo <= xo);
}
