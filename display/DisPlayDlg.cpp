#include "display/DisPlayDlg.h"

#include "display/ReplayControl.h"
#include "display/VideoSurface.h"
#include "platform/player/video_sink.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/ui/handles.h"
#include "platform/ui/keystate.h"
#include "res/resource.h"
#include "session/SessionControl.h"
#include "session/Snapshot.h"
#include "worklog/WorkLog.h"

namespace {

constexpr DWORD kKeyPollMs = 10;            // a press is seen within one poll
constexpr DWORD kWatcherStopWaitMs = 2000;  // teardown's bound for the watcher
constexpr int kKeyC = 0x43;
constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);

bool KeyDown(int virtualKey) { return (GetAsyncKeyState(virtualKey) & kKeyDownBit) != 0; }

}  // namespace

BEGIN_MESSAGE_MAP(CDisPlayDlg, CDialog)
  ON_BN_CLICKED(IDC_BTN_CAPTURE, OnBnClickedCapture)
  ON_BN_CLICKED(IDC_BTN_CLOSE, OnBnClickedClose)
END_MESSAGE_MAP()

CDisPlayDlg::CDisPlayDlg() : CDialog(IDD_DISPLAY_DIALOG) {}

CDisPlayDlg::~CDisPlayDlg() = default;

void CDisPlayDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_BTN_CAPTURE, m_btnCapture);
  DDX_Control(pDX, IDC_BTN_CLOSE, m_btnClose);
}

BOOL CDisPlayDlg::OnInitDialog() {
  // 1.
  CDialog::OnInitDialog();
  // 2.
  m_pParentDlg = CWnd::FromHandle(::GetParent(m_hWnd));
  // The player's drawing surface: pictures for this window's handle land here.
  m_pSurface = new VideoSurface(ui::WidgetOf(m_hWnd));
  player::RegisterVideoSink(m_hWnd, m_pSurface);
  m_pReplay = new ReplayControl(ui::WidgetOf(m_hWnd), m_pSurface);
  // 3.
  m_hCheckESC = CreateThread(CheckESCThread, this, "CheckESCThread");
  // 4.
  GetDlgItem(IDC_BTN_CAPTURE)->ShowWindow(SW_HIDE);
  GetDlgItem(IDC_BTN_CLOSE)->ShowWindow(SW_HIDE);
  // 5.
  return TRUE;
}

DWORD CheckESCThread(void* param) {
  auto* dialog = static_cast<CDisPlayDlg*>(param);
  // 1.
  g_workLog.WriteLog("enter CheckESCThread\n ");
  // 2.
  while (InterlockedRead(&dialog->m_bCheckESC) != 0) {
    // 2.1
    const HWND mainWindow = dialog->m_pParentDlg != nullptr ? dialog->m_pParentDlg->m_hWnd : nullptr;
    // 2.2
    if (KeyDown(VK_ESCAPE)) {
      ::PostMessage(mainWindow, WM_STOP_SESSION, 0, 0);
      ::ShowWindow(dialog->m_hWnd, SW_HIDE);
    }
    // 2.3
    if (KeyDown(kKeyC)) {
      ::PostMessage(mainWindow, WM_TAKE_SNAPSHOT, 0, 0);
    }
    // 2.4
    Sleep(kKeyPollMs);
  }
  // 3.
  g_workLog.WriteLog("exit CheckESCThread\n ");
  // 4.
  return 1;
}

void CDisPlayDlg::ShowFullScreen() {
  // 1.
  const int cy = GetSystemMetrics(SM_CYSCREEN);
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  // 2.
  MoveWindow(0, 0, cx, cy, TRUE);
  // 3.
  ShowWindow(SW_SHOW);
  // The keys typed during a session go to the picture, not to the main
  // dialog's boxes; Escape and C are watched system-wide all the same.
  SetFocus();
}

void CDisPlayDlg::EmbedInParent() {
  // 1.
  ShowWindow(SW_SHOW);
  // 2.
  ModifyStyle(WS_POPUP | WS_CHILD, WS_CHILD, 0);
  // 3.
  SetParent(m_pParentDlg);
  // 4.
  RECT client{};
  m_pParentDlg->GetClientRect(&client);
  const LONG half = (client.right - client.left) / 2;
  // 5.
  MoveWindow(half, client.top, half, client.bottom - client.top - 100, TRUE);
}

void CDisPlayDlg::DropPicture() {
  if (m_pReplay != nullptr) {
    m_pReplay->ShowLive();  // a replay or a freeze ends with its session
  }
  if (m_pSurface != nullptr) {
    m_pSurface->DropPicture();
  }
}

bool CDisPlayDlg::PressRemote(int key, const char* caption) {
  if (m_pReplay == nullptr || !m_pReplay->Press(key)) {
    return false;
  }
  SayRemote(caption);
  return true;
}

void CDisPlayDlg::SayRemote(const char* caption) {
  // Long enough to look up from the phone to the screen.
  constexpr int kRemoteMarkerMs = 3000;
  if (m_pSurface != nullptr) {
    m_pSurface->ShowRemote(QString::fromUtf8("遥控: ") + QString::fromUtf8(caption),
                           kRemoteMarkerMs);
  }
}

const char* CDisPlayDlg::Showing() const {
  if (m_pSurface == nullptr) {
    return "live";
  }
  switch (m_pSurface->Showing()) {
    case VideoSurface::Source::kReplay:
      return "replay";
    case VideoSurface::Source::kFrozen:
      return "frozen";
    default:
      return "live";
  }
}

void CDisPlayDlg::OnBnClickedCapture() { TakeSnapshot(); }

void CDisPlayDlg::OnBnClickedClose() {
  if (auto* session = dynamic_cast<SessionDialog*>(m_pParentDlg)) {
    StopSession(*session);
  }
  ShowWindow(SW_HIDE);
}

void CDisPlayDlg::OnDestroy() {
  // No picture may reach the surface once its window starts to go.
  if (m_pReplay != nullptr) {
    m_pReplay->ShowLive();  // the replay ports draw into the surface: gone first
  }
  player::UnregisterVideoSink(m_hWnd);
  m_pSurface = nullptr;
}

void CDisPlayDlg::PostNcDestroy() {
  // 1.
  InterlockedExchange(&m_bCheckESC, 0);
  // 2. and 3. The watcher sees the cleared flag within one poll. There is no
  // forced end of a thread here, so should the bound pass, the join below
  // still waits for its own end: it must not outlive the object it reads.
  WaitForSingleObject(m_hCheckESC, kWatcherStopWaitMs);
  // 4.
  CloseHandle(m_hCheckESC);
  m_hCheckESC = nullptr;
  // 5. and 6.
  CDialog::PostNcDestroy();
  delete this;
}
