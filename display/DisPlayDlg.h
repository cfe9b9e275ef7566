// The display dialog: the window the player draws the delayed picture into,
// shown full screen during a session. It owns the key watcher, which turns
// Escape into a stop and the C key into a snapshot for the main dialog.
#pragma once

#include "controls/RoundButton.h"
#include "platform/sys/lock.h"
#include "platform/ui/dialog.h"

class ReplayControl;
class VideoSurface;

// Private messages to the main dialog (both parameters 0).
constexpr UINT WM_EMBED_DISPLAY = WM_USER + 2;
constexpr UINT WM_STOP_SESSION = WM_USER + 3;
constexpr UINT WM_TAKE_SNAPSHOT = WM_USER + 4;

class CDisPlayDlg : public CDialog {
 public:
  CDisPlayDlg();
  ~CDisPlayDlg() override;

  // Covers the primary screen, shows the dialog and gives it the keyboard focus.
  void ShowFullScreen();
  // Turns the dialog into a child filling the right half of the main dialog.
  void EmbedInParent();
  // Lets go of the last picture: the dialog's own face shows until the next.
  void DropPicture();
  // The coach's phone pressed `key` (Qt::Key_R, ...): what the key does, and
  // the picture says so with `caption`. False when the key did nothing.
  bool PressRemote(int key, const char* caption);
  // The picture says for a few seconds that the phone did `caption`.
  void SayRemote(const char* caption);
  // What the picture shows: "live", "replay" or "frozen".
  const char* Showing() const;

  CWnd* m_pParentDlg = nullptr;     // the main dialog: target of the posted messages
  INTERLOCKED_LONG m_bCheckESC{1};  // run flag of CheckESCThread
  HANDLE m_hCheckESC = nullptr;     // CheckESCThread, from creation to teardown
  CRoundButton m_btnCapture;        // control 1008, hidden
  CRoundButton m_btnClose;          // control 1009, hidden

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnDestroy() override;
  void PostNcDestroy() override;

  void OnBnClickedCapture();
  void OnBnClickedClose();

  DECLARE_MESSAGE_MAP()

 private:
  VideoSurface* m_pSurface = nullptr;  // child of the dialog's window, dies with it
  ReplayControl* m_pReplay = nullptr;  // the coach's keys; owned by the dialog's window
};

// Polls Escape and C every 10 ms for the life of the dialog (param: the dialog).
DWORD CheckESCThread(void* param);
