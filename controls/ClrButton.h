// CClrButton: an owner-drawn push button in its owner's face and caption
// colours, with raised, focused/default and pressed edges and an embossed
// caption when disabled.
#pragma once

#include "platform/ui/button.h"
#include "platform/ui/cdc.h"

class CClrButton : public CButton {
 public:
  CClrButton();

  // Colours (0x00BBGGRR), read from the system colours once, here.
  COLORREF m_crText;          // caption when enabled
  COLORREF m_crFace;          // face when enabled
  COLORREF m_crFaceDisabled;  // face when disabled
  COLORREF m_cr3DLight;       // inner top and left edge, raised
  COLORREF m_crHilite;        // outer top and left edge, raised
  COLORREF m_crShadow;        // inner bottom and right edge, raised; inner ring, pressed
  COLORREF m_crDkShadow;      // outer bottom and right edge, raised; outer ring, pressed

  // Frame styles for DrawEdgeFrame, bit flags.
  static constexpr int FRAME_SUNKEN = 1;
  static constexpr int FRAME_RAISED = 2;
  static constexpr int FRAME_BLACK = 4;

  // The caption is read into a 512-byte buffer: at most 511 characters.
  static constexpr int kMaxCaptionChars = 511;

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

 private:
  void FillSolid(CDC* pDC, COLORREF color, RECT rect);
  void StrokeLine(CDC* pDC, COLORREF color, int x1, int y1, int x2, int y2);
  void DrawEdgeFrame(CDC* pDC, int style, RECT rect);
  void DrawCaption(CDC* pDC, const CString& text, RECT rect, COLORREF color);
};
