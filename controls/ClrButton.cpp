#include "controls/ClrButton.h"

#include "controls/caption.h"
#include "platform/ui/syscolor.h"

namespace {
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
constexpr LONG kFocusInset = 4;  // pixels between the edge and the focus rectangle
}  // namespace

CClrButton::CClrButton()
    : m_crText(GetSysColor(COLOR_BTNTEXT)),
      m_crFace(GetSysColor(COLOR_BTNFACE)),
      m_crFaceDisabled(GetSysColor(COLOR_BTNFACE)),
      m_cr3DLight(GetSysColor(COLOR_3DLIGHT)),
      m_crHilite(GetSysColor(COLOR_BTNHIGHLIGHT)),
      m_crShadow(GetSysColor(COLOR_BTNSHADOW)),
      m_crDkShadow(GetSysColor(COLOR_3DDKSHADOW)) {}

void CClrButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  // 1. The device context and the state.
  CDC* pDC = CDC::FromHandle(lpDrawItemStruct->hDC);
  const UINT state = lpDrawItemStruct->itemState;

  // 2. Focus rectangle inside the edges; the raised caption one pixel up and
  //    left; the pressed caption back where rcItem is.
  const CRect rcItem(lpDrawItemStruct->rcItem);
  CRect rcFocus(rcItem);
  rcFocus.DeflateRect(kFocusInset, kFocusInset);
  CRect rcRaised(rcItem);
  rcRaised.OffsetRect(-1, -1);
  CRect rcPressed(rcRaised);
  rcPressed.OffsetRect(1, 1);

  // 3. The caption, cut to whole characters.
  CString caption;
  GetWindowText(caption);
  caption = controls::FirstChars(caption, kMaxCaptionChars);

  // 4. The face.
  FillSolid(pDC, (state & ODS_DISABLED) != 0 ? m_crFaceDisabled : m_crFace, rcItem);

  // 5. The edges.
  int frame = FRAME_RAISED;
  if ((state & ODS_SELECTED) != 0) {
    frame = FRAME_SUNKEN;
  } else if ((state & (ODS_FOCUS | ODS_DEFAULT)) != 0) {
    frame = FRAME_BLACK | FRAME_RAISED;
  }
  DrawEdgeFrame(pDC, frame, rcItem);

  // 6. The caption: embossed when disabled.
  if ((state & ODS_DISABLED) != 0) {
    CRect rcWhite(rcItem);
    COLORREF previous = pDC->SetTextColor(kWhite);
    pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(caption, &rcWhite, kCaptionFormat);
    pDC->SetTextColor(previous);
    previous = pDC->SetTextColor(kGrey);
    pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(caption, &rcRaised, kCaptionFormat);
    pDC->SetTextColor(previous);
  } else {
    DrawCaption(pDC, caption, (state & ODS_SELECTED) != 0 ? rcPressed : rcRaised, m_crText);
  }

  // 7. The focus rectangle.
  if ((state & ODS_FOCUS) != 0) pDC->DrawFocusRect(&rcFocus);
}

void CClrButton::FillSolid(CDC* pDC, COLORREF color, RECT rect) {
  CBrush brush;
  brush.CreateSolidBrush(color);
  pDC->FillRect(&rect, &brush);
  brush.DeleteObject();
}

void CClrButton::StrokeLine(CDC* pDC, COLORREF color, int x1, int y1, int x2, int y2) {
  CPen pen;
  pen.CreatePen(PS_SOLID, 1, color);
  CPen* previous = pDC->SelectObject(&pen);
  pDC->MoveTo(x1, y1);
  pDC->LineTo(x2, y2);
  pDC->SelectObject(previous);
  pen.DeleteObject();
}

void CClrButton::DrawEdgeFrame(CDC* pDC, int style, RECT rect) {
  CRect r(rect);
  // One ring: top, left, bottom, right; a later edge keeps the shared corner.
  const auto ring = [&](COLORREF topLeft, COLORREF bottomRight) {
    StrokeLine(pDC, topLeft, r.left, r.top, r.right, r.top);
    StrokeLine(pDC, topLeft, r.left, r.top, r.left, r.bottom);
    StrokeLine(pDC, bottomRight, r.left, r.bottom - 1, r.right, r.bottom - 1);
    StrokeLine(pDC, bottomRight, r.right - 1, r.top, r.right - 1, r.bottom);
  };
  if ((style & FRAME_BLACK) != 0) {
    ring(kBlack, kBlack);
    r.InflateRect(-1, -1);
  }
  if ((style & FRAME_RAISED) != 0) {
    ring(m_crHilite, m_crDkShadow);
    r.InflateRect(-1, -1);
    ring(m_cr3DLight, m_crShadow);
  }
  if ((style & FRAME_SUNKEN) != 0) {
    ring(m_crDkShadow, m_crDkShadow);
    r.InflateRect(-1, -1);
    ring(m_crShadow, m_crShadow);
  }
}

void CClrButton::DrawCaption(CDC* pDC, const CString& text, RECT rect, COLORREF color) {
  const COLORREF previous = pDC->SetTextColor(color);
  pDC->SetBkMode(TRANSPARENT);
  pDC->DrawText(text, &rect, kCaptionFormat);
  pDC->SetTextColor(previous);
}
