#include "app/TarnviewDlg.h"

#include <unistd.h>

#include <QMenu>
#include <QWidget>

#include <cstdio>

#include "app/AboutDlg.h"
#include "app/RemoteControl.h"
#include "config/LocalConfig.h"
#include "display/DisPlayDlg.h"
#include "platform/device/device.h"
#include "platform/ui/dialogfont.h"
#include "platform/ui/handles.h"
#include "platform/ui/icon.h"
#include "platform/ui/resources.h"
#include "platform/ui/syscolor.h"
#include "res/resource.h"
#include "session/CaptureFolder.h"
#include "session/ClipSaver.h"
#include "session/SessionControl.h"
#include "session/Snapshot.h"
#include "session/StreamRing.h"
#include "web/WebServer.h"
#include "worklog/WorkLog.h"

namespace {

constexpr COLORREF kButtonText = RGB(1, 1, 1);    // almost black
constexpr COLORREF kButtonFace = RGB(0, 128, 255);  // light blue
constexpr size_t kCurrentDirBytes = 4096;          // PATH_MAX
static_assert(StreamRing::kRingBytes == kRingMBDefault * StreamRing::kBytesPerMiB,
              "the ring's own capacity is the configuration's default");

void ColourButton(CClrButton& button, UINT id, CWnd* dialog) {
  button.SubclassDlgItem(id, dialog);
  button.m_crText = kButtonText;
  button.m_crFace = kButtonFace;
  button.m_crFaceDisabled = GetSysColor(COLOR_BTNFACE);
  InvalidateRect(button.m_hWnd, nullptr, FALSE);
}

}  // namespace

BEGIN_MESSAGE_MAP(CTarnviewDlg, CDialog)
  ON_BN_CLICKED(IDC_BTN_START, OnStartTeaching)
  ON_BN_CLICKED(IDC_BTN_CANCEL, StopSession)
  ON_MESSAGE(WM_EMBED_DISPLAY, OnEmbedDisplay)
  ON_MESSAGE(WM_STOP_SESSION, OnStopSession)
  ON_MESSAGE(WM_TAKE_SNAPSHOT, OnTakeSnapshot)
END_MESSAGE_MAP()

CTarnviewDlg::CTarnviewDlg() : CDialog(IDD_TARNVIEW_DIALOG), m_hIcon(LoadIcon(IDR_MAINFRAME)) {}

CTarnviewDlg::~CTarnviewDlg() = default;

void CTarnviewDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_IPADDRESS, m_ipAddr);
  DDX_Text(pDX, IDC_EDIT_PORT, m_strPort);
  DDX_Text(pDX, IDC_EDIT_USER, m_strUserName);
  DDX_Text(pDX, IDC_EDIT_PSD, m_strPsd);
  DDX_Text(pDX, IDC_EDIT_DELAYTIME, m_strDelaytime);
  DDX_Control(pDX, IDC_CMB_STREAMTYPE, m_cmbStreamType);
  DDX_Control(pDX, IDC_CMB_LINKMODE, m_cmbLinkMode);
}

BOOL CTarnviewDlg::OnInitDialog() {
  // 1.
  CDialog::OnInitDialog();
  // 2. The window manager owns the system menu here: the about item is
  // offered on the dialog's context menu instead.
  OfferAboutItem();
  // 3.
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  // 4. and 5.
  ColourButton(m_btnStart, IDC_BTN_START, this);
  ColourButton(m_btnCancel, IDC_BTN_CANCEL, this);
  // 6.
  char currentDir[kCurrentDirBytes] = {};
  const char* dir = getcwd(currentDir, sizeof currentDir);
  g_workLog.OpenFile(dir);
  const ui::FontCheck font = ui::CheckDialogFont();
  if (!font.resolved) {
    g_workLog.WriteLog("dialog font missing, texts use %s\n", font.family.c_str());
  }
  // 7.
  GetDlgItem(IDC_STATIC_BOX)->ShowWindow(SW_HIDE);
  // 8.
  m_pDisplayDlg = new CDisPlayDlg;
  m_pDisplayDlg->Create(IDD_DISPLAY_DIALOG, this);
  // 9.
  ReadLocalConfig();
  // 10.
  CreateCaptureDirectory();
  // The web screens serve from now to the program's end, session or not.
  m_pRemote = std::make_unique<RemoteControl>(*this);
  StartWebServer(g_settings.webListen, m_pRemote.get(), CaptureDirectory());
  // 11.
  GetDlgItem(IDC_IPADDRESS)->SetWindowText(g_settings.ip.c_str());
  GetDlgItem(IDC_EDIT_PORT)->SetWindowText(g_settings.port.c_str());
  GetDlgItem(IDC_EDIT_USER)->SetWindowText(g_settings.usr.c_str());
  GetDlgItem(IDC_EDIT_PSD)->SetWindowText(g_settings.pwd.c_str());
  char delay[16];
  std::snprintf(delay, sizeof delay, "%d", g_settings.delaytime);
  GetDlgItem(IDC_EDIT_DELAYTIME)->SetWindowText(delay);
  // 12.
  m_cmbStreamType.InsertString(0, "主码流");
  m_cmbStreamType.InsertString(1, "辅码流");
  m_cmbLinkMode.InsertString(0, "TCP");
  m_cmbLinkMode.InsertString(1, "UDP");
  m_cmbStreamType.SetCurSel(0);
  m_cmbLinkMode.SetCurSel(0);
  // 13.
  GetDlgItem(IDC_BTN_START)->EnableWindow(TRUE);
  GetDlgItem(IDC_BTN_CANCEL)->EnableWindow(FALSE);
  // 14.
  InitDeviceSdk();
  // 15. Without the ring no session may start: its feed thread would have
  // nothing to read from.
  g_pStreamRing =
      StreamRing::Create(static_cast<DWORD>(g_settings.ringMB) * StreamRing::kBytesPerMiB);
  if (g_pStreamRing == nullptr) {
    g_workLog.WriteLog("no memory for the stream ring, sessions disabled\n");
    GetDlgItem(IDC_BTN_START)->EnableWindow(FALSE);
  }
  // 16.
  g_workLog.WriteLog("Init suc!\n");
  // 17.
  return TRUE;
}

void CTarnviewDlg::OfferAboutItem() {
  const std::string text = LoadResourceString(IDS_ABOUTBOX);
  QWidget* window = ui::WidgetOf(m_hWnd);
  if (text.empty() || window == nullptr) {
    return;
  }
  window->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(window, &QWidget::customContextMenuRequested, window,
                   [this, window, text](const QPoint& at) {
                     QMenu menu(window);
                     QAction* about = menu.addAction(QString::fromStdString(text));
                     if (menu.exec(window->mapToGlobal(at)) == about) {
                       OnSysCommand(IDM_ABOUTBOX, 0);
                     }
                   });
}

void CTarnviewDlg::OnSysCommand(UINT nID, LPARAM) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  }
}

void CTarnviewDlg::OnDestroy() {
  // 1. A session still running ends first: nothing may use the ring, the
  // port or the snapshot buffer once they are freed below.
  EndRunningSession(*this);
  // Clips asked for are written before the program goes (a second or so each).
  g_clipSaver.Stop();
  // No page is served once the stream history may be gone, and the phone's
  // calls waiting for this thread are answered at once.
  if (m_pRemote != nullptr) {
    m_pRemote->Close();
  }
  StopWebServer();
  m_pRemote.reset();
  // 2.
  NET_DVR_Cleanup();
  // 3.
  if (g_pStreamRing != nullptr) {
    delete g_pStreamRing;
    g_pStreamRing = nullptr;
  }
  // 4.
  FreeSnapshotBuffer();
}

void CTarnviewDlg::OnStartTeaching() { ::OnStartTeaching(*this); }

void CTarnviewDlg::StopSession() { ::StopSession(*this); }

LRESULT CTarnviewDlg::OnEmbedDisplay(WPARAM, LPARAM) {
  if (m_pDisplayDlg != nullptr) {
    m_pDisplayDlg->EmbedInParent();
  }
  return 1;
}

LRESULT CTarnviewDlg::OnStopSession(WPARAM, LPARAM) {
  StopSession();
  return 1;
}

LRESULT CTarnviewDlg::OnTakeSnapshot(WPARAM, LPARAM) {
  TakeSnapshot();
  return 1;
}

SessionValues CTarnviewDlg::ReadSessionValues() {
  UpdateData(TRUE);
  SessionValues values;
  m_ipAddr.GetAddress(values.ip[0], values.ip[1], values.ip[2], values.ip[3]);
  values.port = m_strPort.GetString();
  values.userName = m_strUserName.GetString();
  values.password = m_strPsd.GetString();
  values.delay = m_strDelaytime.GetString();
  return values;
}

void CTarnviewDlg::EnableStartButton(bool enable) {
  GetDlgItem(IDC_BTN_START)->EnableWindow(enable ? TRUE : FALSE);
}

void CTarnviewDlg::EnableCancelButton(bool enable) {
  GetDlgItem(IDC_BTN_CANCEL)->EnableWindow(enable ? TRUE : FALSE);
}

void CTarnviewDlg::ShowMessage(const char* text) { MessageBox(text); }

HWND CTarnviewDlg::GetDisplayWindow() {
  return m_pDisplayDlg != nullptr ? m_pDisplayDlg->m_hWnd : nullptr;
}

void CTarnviewDlg::ShowDisplayFullScreen() {
  if (m_pDisplayDlg != nullptr) {
    m_pDisplayDlg->ShowFullScreen();
  }
}

void CTarnviewDlg::DropDisplayPicture() {
  if (m_pDisplayDlg != nullptr) {
    m_pDisplayDlg->DropPicture();
  }
}
