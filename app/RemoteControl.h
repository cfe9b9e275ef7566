// The coach's phone as the remote, on the GUI thread: each call of the web
// server's thread is posted to the GUI thread, runs there exactly as the key
// or the button it stands for, and its answer is waited for. Once closed
// (before the main dialog goes) calls answer at once and nothing runs.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "web/CoachRemote.h"

class CTarnviewDlg;

class RemoteControl : public CoachRemote {
 public:
  // A call waits this long for the GUI thread (a modal box may hold it), then
  // says it is busy.
  static constexpr int kGuiWaitMs = 5000;

  explicit RemoteControl(CTarnviewDlg& dialog);
  ~RemoteControl() override;
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;

  // GUI thread, before the dialog is destroyed.
  void Close();

  RemoteAnswer Press(RemoteKey key) override;
  RemoteAnswer StartSession() override;
  RemoteAnswer StopSession() override;
  CoachState State() override;

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable answered;  // a call's work is done, or the remote closed
    bool closed = false;               // set on the GUI thread only, under mutex
  };
  // Runs `work` on the GUI thread and waits for it; `otherwise` when the
  // remote closed or the wait ran out.
  RemoteAnswer OnGui(std::function<RemoteAnswer()> work);
  RemoteAnswer PressOnGui(RemoteKey key);
  RemoteAnswer StartOnGui();
  RemoteAnswer StopOnGui();
  CoachState StateOnGui();

  CTarnviewDlg& m_dialog;
  std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};
