// The control classes the program binds to its dialogs' controls.
#pragma once

#include "platform/ui/wnd.h"

// A push button; with the owner-draw style (BS_OWNERDRAW) its look comes from
// DrawItem, called for every paint with the button's state.
class CButton : public CWnd {
 public:
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}
};

constexpr int CB_ERR = -1;

// An editable drop-down list.
class CComboBox : public CWnd {
 public:
  // Inserts at `index` (-1: at the end) whatever the sort style says;
  // returns the index, or CB_ERR when index lies beyond the end.
  int InsertString(int index, const char* text);
  // Selects `index`; CB_ERR (and nothing selected) when out of range.
  int SetCurSel(int index);
  int GetCurSel() const;
  int GetCount() const;
  void GetLBText(int index, CString& text) const;
};

// The IP address control: four fields of 0..255.
class CIPAddressCtrl : public CWnd {
 public:
  // The four bytes (blank fields give 0); returns the number of filled fields.
  int GetAddress(BYTE& b0, BYTE& b1, BYTE& b2, BYTE& b3) const;
  void SetAddress(BYTE b0, BYTE b1, BYTE b2, BYTE b3);
  void ClearAddress();
};
