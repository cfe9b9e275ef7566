// Shows dialog 102, the about box (dialog 100) and two round buttons (released
// and pressed) for the screenshot script, then after kMessageAfterMs a message
// box over dialog 102; not a test. Runs until killed.
#include <QApplication>
#include <QTimer>

#include "controls/ClrButton.h"
#include "controls/RoundButton.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/widgets.h"
#include "platform/ui/handles.h"
#include "res/resource.h"
#include "res/resources.h"
#include "res/version.h"

namespace {
// The script photographs the dialogs first, then the message box.
constexpr int kMessageAfterMs = 3000;

class DemoMain : public CDialog {
 public:
  DemoMain() : CDialog(IDD_TARNVIEW_DIALOG) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    for (CClrButton* button : {&m_btnStart, &m_btnCancel}) {
      button->SubclassDlgItem(button == &m_btnStart ? IDC_BTN_START : IDC_BTN_CANCEL, this);
      button->m_crText = RGB(1, 1, 1);
      button->m_crFace = RGB(0, 128, 255);
      button->Invalidate(FALSE);
    }
    GetDlgItem(IDC_STATIC_BOX)->ShowWindow(SW_HIDE);
    GetDlgItem(IDC_IPADDRESS)->SetWindowText("127.0.0.1");
    GetDlgItem(IDC_EDIT_PORT)->SetWindowText("8000");
    GetDlgItem(IDC_EDIT_USER)->SetWindowText("admin");
    GetDlgItem(IDC_EDIT_PSD)->SetWindowText("60917");
    GetDlgItem(IDC_EDIT_DELAYTIME)->SetWindowText("2");
    m_btnCancel.EnableWindow(FALSE);
    return TRUE;
  }
  CClrButton m_btnStart;
  CClrButton m_btnCancel;
};

// Dialog 129 shown at its own size with both round buttons.
class DemoDisplay : public CDialog {
 public:
  DemoDisplay() : CDialog(IDD_DISPLAY_DIALOG) {}
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_BTN_CAPTURE, m_btnCapture);
    DDX_Control(pDX, IDC_BTN_CLOSE, m_btnClose);
  }
  CRoundButton m_btnCapture;
  CRoundButton m_btnClose;
};
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::SetUpApplication(res::kApplicationName);
  res::RegisterResources();
  DemoMain main;
  main.Create(IDD_TARNVIEW_DIALOG);
  main.MoveWindow(10, 10, ui::WidgetOf(main.m_hWnd)->width(), ui::WidgetOf(main.m_hWnd)->height());
  DemoDisplay display;
  display.Create(IDD_DISPLAY_DIALOG, &main);
  display.MoveWindow(520, 10, 560, 300);
  display.ShowWindow(SW_SHOW);
  // The close button is held down: pressed look beside the released capture button.
  dynamic_cast<QAbstractButton*>(ui::WidgetOf(display.m_btnClose.m_hWnd))->setDown(true);
  CDialog about(IDD_ABOUTBOX);
  about.Create(IDD_ABOUTBOX, &main);
  const QWidget* aboutWidget = ui::WidgetOf(about.m_hWnd);
  about.MoveWindow(10, 420, aboutWidget->width(), aboutWidget->height());
  about.ShowWindow(SW_SHOW);
  QTimer::singleShot(kMessageAfterMs, [&main] { main.MessageBox("延时范围需在1~60之间！"); });
  return QApplication::exec();
}
