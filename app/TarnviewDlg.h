// The main dialog: the connection form, the program-wide set-up and tear-down,
// and the receiver of the private messages. Session control reaches it
// through the SessionDialog seam.
#pragma once

#include <memory>

#include "controls/ClrButton.h"
#include "platform/ui/button.h"
#include "platform/ui/dialog.h"
#include "session/SessionDialog.h"

class CDisPlayDlg;
class RemoteControl;

class CTarnviewDlg : public CDialog, public SessionDialog {
 public:
  CTarnviewDlg();
  ~CTarnviewDlg() override;

  CDisPlayDlg* m_pDisplayDlg = nullptr;  // created hidden at init; frees itself
  HICON m_hIcon = nullptr;               // icon 128
  CIPAddressCtrl m_ipAddr;               // control 1002
  CString m_strPort;                     // control 1003
  CString m_strUserName;                 // control 1005
  CString m_strPsd;                      // control 1004
  CString m_strDelaytime;                // control 1006, seconds
  CComboBox m_cmbStreamType;             // control 1010, never shown
  CComboBox m_cmbLinkMode;               // control 1011, never shown
  CClrButton m_btnStart;                 // control 1000
  CClrButton m_btnCancel;                // control 1001

  // SessionDialog
  SessionValues ReadSessionValues() override;
  void EnableStartButton(bool enable) override;
  void EnableCancelButton(bool enable) override;
  void ShowMessage(const char* text) override;
  HWND GetDisplayWindow() override;
  void ShowDisplayFullScreen() override;
  void DropDisplayPicture() override;

  // The about item: the system menu's commands come here.
  void OnSysCommand(UINT nID, LPARAM lParam);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnDestroy() override;

  void OnStartTeaching();
  void StopSession();
  LRESULT OnEmbedDisplay(WPARAM wParam, LPARAM lParam);
  LRESULT OnStopSession(WPARAM wParam, LPARAM lParam);
  LRESULT OnTakeSnapshot(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  void OfferAboutItem();

  std::unique_ptr<RemoteControl> m_pRemote;  // the coach's phone; from init to destroy
};
