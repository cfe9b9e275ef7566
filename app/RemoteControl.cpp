#include "app/RemoteControl.h"

#include <QtCore/qnamespace.h>

#include <optional>
#include <string>

#include "app/TarnviewDlg.h"
#include "display/DisPlayDlg.h"
#include "platform/device/device.h"
#include "platform/player/player.h"
#include "platform/ui/handles.h"
#include "res/resource.h"
#include "session/ClipSaver.h"
#include "session/DecThread.h"
#include "session/SessionControl.h"
#include "session/StreamHistory.h"
#include "session/StreamIntake.h"

namespace {

constexpr char kNoSession[] = "没有进行中的教学";
// The stream's pace is taken over this much of its arrivals.
constexpr DWORD kPaceWindowMs = 2000;

bool SessionRuns() { return g_hDecThread.load() != nullptr; }

// The main dialog as session control sees it, but for its message boxes: a
// start from the phone answers the phone, and no box waits on the laptop for
// somebody at the pool to close it.
class PhoneDialog : public SessionDialog {
 public:
  explicit PhoneDialog(SessionDialog& dialog) : m_dialog(dialog) {}
  SessionValues ReadSessionValues() override { return m_dialog.ReadSessionValues(); }
  void EnableStartButton(bool enable) override { m_dialog.EnableStartButton(enable); }
  void EnableCancelButton(bool enable) override { m_dialog.EnableCancelButton(enable); }
  void ShowMessage(const char* text) override { message = text; }
  HWND GetDisplayWindow() override { return m_dialog.GetDisplayWindow(); }
  void ShowDisplayFullScreen() override { m_dialog.ShowDisplayFullScreen(); }
  void DropDisplayPicture() override { m_dialog.DropDisplayPicture(); }

  std::string message;  // the last message the session gave

 private:
  SessionDialog& m_dialog;
};

int QtKeyOf(RemoteKey key) {
  switch (key) {
    case RemoteKey::kReplay:
      return Qt::Key_R;
    case RemoteKey::kFreeze:
      return Qt::Key_Space;
    case RemoteKey::kBack:
      return Qt::Key_Left;
    case RemoteKey::kForward:
      return Qt::Key_Right;
    case RemoteKey::kClip:
      return Qt::Key_S;
    case RemoteKey::kSnapshot:
      return Qt::Key_C;
  }
  return 0;
}

}  // namespace

RemoteControl::RemoteControl(CTarnviewDlg& dialog) : m_dialog(dialog) {}

RemoteControl::~RemoteControl() { Close(); }

void RemoteControl::Close() {
  {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->closed = true;
  }
  m_shared->answered.notify_all();
}

RemoteAnswer RemoteControl::OnGui(std::function<RemoteAnswer()> work) {
  const std::shared_ptr<Shared> shared = m_shared;
  auto answer = std::make_shared<std::optional<RemoteAnswer>>();  // under shared->mutex
  // Runs after everything posted before it; `this` is alive while not closed,
  // as both the close and this run on the GUI thread.
  const bool posted = ui::PostToGui([shared, answer, work = std::move(work)] {
    if (shared->closed) {
      return;
    }
    RemoteAnswer done = work();
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      *answer = std::move(done);
    }
    shared->answered.notify_all();
  });
  std::unique_lock<std::mutex> lock(shared->mutex);
  if (posted) {
    shared->answered.wait_for(lock, std::chrono::milliseconds(kGuiWaitMs),
                              [&] { return answer->has_value() || shared->closed; });
  }
  if (answer->has_value()) {
    return **answer;
  }
  return {false, shared->closed ? "Tarnview 正在关闭" : "Tarnview 正忙，请稍后再试"};
}

RemoteAnswer RemoteControl::Press(RemoteKey key) {
  return OnGui([this, key] { return PressOnGui(key); });
}

RemoteAnswer RemoteControl::StartSession() {
  return OnGui([this] { return StartOnGui(); });
}

RemoteAnswer RemoteControl::StopSession() {
  return OnGui([this] { return StopOnGui(); });
}

CoachState RemoteControl::State() {
  CoachState state;
  OnGui([this, &state] {
    state = StateOnGui();
    return RemoteAnswer{true, ""};
  });
  return state;
}

RemoteAnswer RemoteControl::PressOnGui(RemoteKey key) {
  CDisPlayDlg* display = m_dialog.m_pDisplayDlg;
  if (!SessionRuns() || display == nullptr) {
    return {false, kNoSession};
  }
  if (key == RemoteKey::kSnapshot) {
    // As the key watcher does for C.
    ::PostMessage(m_dialog.m_hWnd, WM_TAKE_SNAPSHOT, 0, 0);
    display->SayRemote(RemoteKeyCaption(key));
    return {true, ""};
  }
  return display->PressRemote(QtKeyOf(key), RemoteKeyCaption(key)) ? RemoteAnswer{true, ""}
                                                                    : RemoteAnswer{false, kNoSession};
}

RemoteAnswer RemoteControl::StartOnGui() {
  if (SessionRuns() || !m_dialog.GetDlgItem(IDC_BTN_START)->IsWindowEnabled()) {
    return {false, "教学已在进行"};
  }
  // The start button's handler, with the values in the dialog's boxes.
  PhoneDialog phone(m_dialog);
  ::OnStartTeaching(phone);
  return {phone.message.empty(), phone.message};
}

RemoteAnswer RemoteControl::StopOnGui() {
  if (!SessionRuns()) {
    return {false, kNoSession};
  }
  // As Escape does: the stop, and the main dialog back.
  ::PostMessage(m_dialog.m_hWnd, WM_STOP_SESSION, 0, 0);
  if (m_dialog.m_pDisplayDlg != nullptr) {
    ::ShowWindow(m_dialog.m_pDisplayDlg->m_hWnd, SW_HIDE);
  }
  return {true, ""};
}

CoachState RemoteControl::StateOnGui() {
  CoachState state;
  state.running = SessionRuns();
  const SessionValues values = m_dialog.ReadSessionValues();
  state.delaySeconds = state.running ? static_cast<int>(g_nDelayMs / 1000) : std::atoi(values.delay.c_str());
  state.lastClip = g_clipSaver.LastSaved();
  if (!state.running) {
    return state;
  }
  switch (g_history.Codec()) {
    case stream::VideoCodec::kH264:
      state.codec = "h264";
      break;
    case stream::VideoCodec::kH265:
      state.codec = "h265";
      break;
    default:
      break;
  }
  LONG width = 0;
  LONG height = 0;
  if (PlayM4_GetPictureSize(g_lPlayPort, &width, &height)) {
    state.width = static_cast<int>(width);
    state.height = static_cast<int>(height);
  }
  const StreamHistory::Pace pace = g_history.PaceOver(kPaceWindowMs);
  state.framesPerSecond = pace.picturesPerSecond;
  state.megabitsPerSecond = pace.bitsPerSecond / 1e6;
  DWORD linkMode = 0;
  if (NET_DVR_GetRealPlayLinkMode(g_lRealHandle, &linkMode)) {
    state.linkMode = static_cast<int>(linkMode);
  }
  state.showing = m_dialog.m_pDisplayDlg != nullptr ? m_dialog.m_pDisplayDlg->Showing() : "live";
  return state;
}
