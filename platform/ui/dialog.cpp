#include "platform/ui/dialog.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/ui/dialogwidget.h"
#include "platform/ui/handles.h"
#include "platform/ui/icon.h"
#include "platform/ui/winapp.h"

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  CWnd* control = pDX->m_pDlgWnd->GetDlgItem(id);
  if (control == nullptr) return;
  if (pDX->m_bSaveAndValidate) {
    control->GetWindowText(value);
  } else {
    control->SetWindowText(value);
  }
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
  if (ui::DialogWidget* widget = m_widget) {
    widget->Release();
    delete widget;
  }
}

bool CDialog::Build(QWidget* parent) {
  const DialogTemplate* tmpl = ui::FindDialogTemplate(m_nIDTemplate);
  if (tmpl == nullptr || m_widget != nullptr) return false;
  auto* widget = new ui::DialogWidget(*tmpl, this, parent);
  m_widget = widget;
  m_hWnd = ui::RegisterWindow(widget, tmpl->style, tmpl->exStyle, 0);
  ui::AttachObject(m_hWnd, this);
  return true;
}

void CDialog::Initialise() {
  if (OnInitDialog() == FALSE || m_widget == nullptr) return;
  // Focus goes to the first visible, enabled tab stop in template order.
  for (const DialogItem& item : m_widget->Template().items) {
    if ((item.style & WS_TABSTOP) == 0) continue;
    CWnd* control = GetDlgItem(item.id);
    if (control != nullptr && (control->GetStyle() & WS_VISIBLE) != 0 &&
        control->IsWindowEnabled()) {
      control->SetFocus();
      break;
    }
  }
}

INT_PTR CDialog::DoModal() {
  // Without a parent of its own, the application's main window owns it.
  CWnd* owner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
  QWidget* parent = owner == nullptr || owner == this ? nullptr : ui::WidgetOf(owner->m_hWnd);
  if (!Build(parent)) return -1;
  m_bModal = true;
  m_bEnded = false;
  Initialise();
  if (ui::DialogWidget* widget = m_widget; widget != nullptr && !m_bEnded) {
    // Centred over the owner, or on the primary screen when there is none.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = parent != nullptr ? parent->window()->geometry()
                       : screen != nullptr ? screen->geometry()
                                           : QRect();
    QRect client = widget->geometry();
    client.moveCenter(area.center());
    widget->setGeometry(client);  // the client area, not the frame, is centred
    widget->exec();
  }
  const int result = m_nModalResult;
  DestroyWindow();
  m_bModal = false;
  return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  m_nIDTemplate = templateId;
  m_pParentWnd = parent;
  QWidget* owner = parent == nullptr ? nullptr : ui::WidgetOf(parent->m_hWnd);
  if (!Build(owner)) return FALSE;
  m_bModal = false;
  if (ui::DialogWidget* widget = m_widget; owner != nullptr && widget != nullptr) {
    // A pop-up's template position counts from its owner's client area.
    widget->move(owner->mapToGlobal(widget->pos()));
  }
  Initialise();
  if (m_widget != nullptr && (GetStyle() & WS_VISIBLE) != 0) ShowWindow(SW_SHOW);
  return m_widget != nullptr ? TRUE : FALSE;
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  ui::DialogWidget* widget = m_widget;
  if (widget == nullptr) return;
  if (m_bModal) {
    m_bEnded = true;
    widget->done(result);
  } else {
    ShowWindow(SW_HIDE);
  }
}

BOOL CDialog::DestroyWindow() {
  ui::DialogWidget* widget = m_widget;
  if (widget == nullptr) return FALSE;
  delete widget;  // the widget runs OnDestroy and PostNcDestroy
  return TRUE;
}

void CDialog::SetIcon(HICON icon, BOOL) {
  if (ui::DialogWidget* widget = m_widget) widget->setWindowIcon(ui::IconOf(icon));
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(UINT id, UINT code) {
  if (CWnd::OnCommand(id, code)) return TRUE;
  if (code != BN_CLICKED) return FALSE;
  if (id == static_cast<UINT>(IDOK)) {
    OnOK();
    return TRUE;
  }
  if (id == static_cast<UINT>(IDCANCEL)) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

void CDialog::WindowGone() {
  ui::DetachObject(m_hWnd, this);
  m_hWnd = nullptr;
  m_widget = nullptr;  // the widget is being deleted: never delete it again
  PostNcDestroy();  // may delete this object
}
