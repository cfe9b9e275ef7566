// CDialog: a dialog built from a template in the resources, run modally
// (DoModal) or modeless (Create), with data exchange between its controls and
// the program's members.
#pragma once

#include <QWidget>

#include "platform/ui/button.h"
#include "platform/ui/wnd.h"

namespace ui {
class DialogWidget;
}

class CDataExchange {
 public:
  CDataExchange(BOOL saveAndValidate, CWnd* dialog)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  BOOL m_bSaveAndValidate;  // TRUE: controls to members
  CWnd* m_pDlgWnd;
};

// A control's window text to or from `value`.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// Binds `control` to the dialog's control `id` once (later calls do nothing).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;  // destroys a window still open, without its hooks

  // Runs the dialog until EndDialog; IDOK, IDCANCEL or the given result,
  // -1 when the template does not exist. The window is destroyed before return.
  // Its owner is the parent, or else the application's main window; it is
  // shown centred over its owner (on the primary screen when it has none).
  INT_PTR DoModal();
  // Builds the dialog as an owned (pop-up) window of `parent`; shown when the
  // template says visible.
  BOOL Create(UINT templateId, CWnd* parent = nullptr);
  // Modal: ends DoModal with `result`. Modeless: hides the dialog.
  void EndDialog(int result);
  BOOL DestroyWindow();
  void SetIcon(HICON icon, BOOL big);

  // The base runs the initial exchange (members to controls); TRUE puts the
  // focus on the first tab stop.
  virtual BOOL OnInitDialog();
  virtual void OnOK();      // exchange from the controls, then EndDialog(IDOK)
  virtual void OnCancel();  // EndDialog(IDCANCEL)
  BOOL OnCommand(UINT id, UINT code) override;

 private:
  friend class ui::DialogWidget;
  bool Build(QWidget* parent);
  void Initialise();
  void WindowGone();  // from the widget, once destroyed

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  bool m_bModal = false;
  bool m_bEnded = false;  // EndDialog ran before the modal loop started
  int m_nModalResult = IDCANCEL;
  ui::DialogWidget* m_widget = nullptr;  // cleared by WindowGone before the widget is gone
};
