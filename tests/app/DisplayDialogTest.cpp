#include <gmock/gmock.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <QTest>

#include <atomic>
#include <mutex>

#include "display/DisPlayDlg.h"
#include "display/QrCode.h"
#include "display/ReplayControl.h"
#include "display/VideoSurface.h"
#include "platform/player/decoded_picture.h"
#include "platform/player/sink_access.h"
#include "platform/sys/thread.h"
#include "platform/ui/keystate.h"
#include "res/resource.h"
#include "session/SessionDialog.h"
#include "session/StreamIntake.h"
#include "tests/app/AppFixture.h"

namespace {

using ::testing::ElementsAre;

constexpr int kKeyC = 0x43;

// Stands for the main dialog: records the messages the watcher posts, and is
// the session dialog the close button stops.
class RecordingParent : public CDialog, public SessionDialog {
 public:
  RecordingParent() : CDialog(IDD_ABOUTBOX) {}
  std::vector<UINT> messages;
  std::vector<std::string> events;

  LRESULT OnStop(WPARAM, LPARAM) { return Record(WM_STOP_SESSION); }
  LRESULT OnSnapshot(WPARAM, LPARAM) { return Record(WM_TAKE_SNAPSHOT); }

  SessionValues ReadSessionValues() override { return {}; }
  void EnableStartButton(bool enable) override { events.push_back(enable ? "start:on" : "start:off"); }
  void EnableCancelButton(bool enable) override {
    events.push_back(enable ? "cancel:on" : "cancel:off");
  }
  void ShowMessage(const char*) override {}
  HWND GetDisplayWindow() override { return nullptr; }
  void ShowDisplayFullScreen() override {}

 private:
  LRESULT Record(UINT message) {
    messages.push_back(message);
    return 1;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RecordingParent, CDialog)
  ON_MESSAGE(WM_STOP_SESSION, OnStop)
  ON_MESSAGE(WM_TAKE_SNAPSHOT, OnSnapshot)
END_MESSAGE_MAP()

// A keyboard the test plays: each watcher poll asks for Escape first, so the
// Escape queries count the polls; keys are down during the polls chosen.
class PlayedKeys {
 public:
  void Press(int key, int fromPoll, int polls) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_presses.push_back({key, fromPoll, fromPoll + polls});
  }
  bool Down(int key) {
    if (key == VK_ESCAPE) {
      ++m_polls;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Press_& press : m_presses) {
      if (press.key == key && m_polls >= press.from && m_polls < press.until) {
        return true;
      }
    }
    return false;
  }
  int Polls() const { return m_polls; }

 private:
  struct Press_ {
    int key;
    int from;
    int until;
  };
  std::atomic<int> m_polls{0};
  std::mutex m_mutex;
  std::vector<Press_> m_presses;
};

class DisplayDialog : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_NE(g_workLog.OpenFile(m_dir.Path().c_str()), nullptr);
    ui::SetKeyStateSource([this](int key) { return m_keys.Down(key); });
    m_threadsBefore = sys::RunningThreadCount();
    ASSERT_TRUE(m_parent.Create(IDD_ABOUTBOX));
    m_display = new CDisPlayDlg;
    ASSERT_TRUE(m_display->Create(IDD_DISPLAY_DIALOG, &m_parent));
  }
  void TearDown() override {
    m_parent.DestroyWindow();
    ui::SetKeyStateSource(nullptr);
    AppFixture::TearDown();
  }

  PlayedKeys m_keys;
  RecordingParent m_parent;
  CDisPlayDlg* m_display = nullptr;  // frees itself with its owner
  int m_threadsBefore = 0;
};

TEST_F(DisplayDialog, FullScreenCoversThePrimaryScreen) {
  m_display->MoveWindow(10, 20, 30, 40);
  m_display->ShowFullScreen();
  EXPECT_TRUE(m_display->IsWindowVisible());
  const QRect place = ui::WidgetOf(m_display->m_hWnd)->geometry();
  EXPECT_EQ(place, QRect(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
  // The round buttons stay hidden whatever the dialog does.
  EXPECT_FALSE(m_display->GetDlgItem(IDC_BTN_CAPTURE)->IsWindowVisible());
  EXPECT_FALSE(m_display->GetDlgItem(IDC_BTN_CLOSE)->IsWindowVisible());
}

TEST_F(DisplayDialog, EscapeAndCInOnePollPostStopFirstThenSnapshotAndHide) {
  m_display->ShowFullScreen();
  const int from = m_keys.Polls() + 2;
  m_keys.Press(VK_ESCAPE, from, 1);
  m_keys.Press(kKeyC, from, 1);
  ASSERT_TRUE(ProcessUntil([&] { return m_parent.messages.size() >= 2; }));
  EXPECT_THAT(m_parent.messages, ElementsAre(WM_STOP_SESSION, WM_TAKE_SNAPSHOT));
  EXPECT_TRUE(ProcessUntil([&] { return !m_display->IsWindowVisible(); }));
}

TEST_F(DisplayDialog, HeldKeysRepeatOnEveryPoll) {
  const int from = m_keys.Polls() + 2;
  m_keys.Press(kKeyC, from, 3);
  ASSERT_TRUE(ProcessUntil([&] { return m_keys.Polls() > from + 5; }));
  ProcessUntil([&] { return m_parent.messages.size() >= 3; });
  EXPECT_THAT(m_parent.messages, ElementsAre(WM_TAKE_SNAPSHOT, WM_TAKE_SNAPSHOT, WM_TAKE_SNAPSHOT));
}

TEST_F(DisplayDialog, CloseButtonStopsTheSessionOfTheMainDialogAndHides) {
  // The watcher logs its start on its own thread: let that happen first so
  // the stop's lines are the last ones.
  ASSERT_TRUE(ProcessUntil([&] { return m_keys.Polls() > 0; }));
  m_display->ShowFullScreen();
  EXPECT_TRUE(m_display->OnCommand(IDC_BTN_CLOSE, BN_CLICKED));
  EXPECT_FALSE(m_display->IsWindowVisible());
  EXPECT_THAT(m_parent.events, ElementsAre("start:on", "cancel:off"));
  EXPECT_EQ(LogMessages().back(), "logout suc\n");
}

// A 2x2 picture with time stamp pts, as a decoder hands it over.
player::PictureRef SmallPicture(int64_t pts) {
  AVFrame* frame = av_frame_alloc();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = 2;
  frame->height = 2;
  frame->pts = pts;
  player::PictureRef picture;
  if (av_frame_get_buffer(frame, 0) == 0) {
    picture = player::DecodedPicture::Share(*frame);
  }
  av_frame_free(&frame);
  return picture;
}

VideoSurface* SurfaceOf(CDisPlayDlg* display) {
  for (QWidget* child : ui::WidgetOf(display->m_hWnd)->findChildren<QWidget*>()) {
    if (auto* surface = dynamic_cast<VideoSurface*>(child)) {
      return surface;
    }
  }
  return nullptr;
}

bool Deliver(HWND window, const player::PictureRef& picture) {
  return player::WithVideoSink(window, [&](player::VideoSink& sink) { sink.OnDecodedPicture(picture); });
}

TEST_F(DisplayDialog, FrozenSurfaceTakesNoLivePictureAndShowsTheStepAskedFor) {
  VideoSurface* surface = SurfaceOf(m_display);
  ASSERT_NE(surface, nullptr);
  ASSERT_TRUE(Deliver(m_display->m_hWnd, SmallPicture(100)));
  surface->Freeze();
  ASSERT_TRUE(Deliver(m_display->m_hWnd, SmallPicture(200)));  // live goes on unseen
  EXPECT_EQ(surface->ShownPts(), 100);
  surface->ExpectStep(400);
  for (int64_t pts : {300, 400, 500}) {  // the step port's pictures from its key frame
    ASSERT_TRUE(Deliver(surface->ReplayWindow(), SmallPicture(pts)));
  }
  EXPECT_EQ(surface->ShownPts(), 400);
  surface->ShowLive();
  ASSERT_TRUE(Deliver(surface->ReplayWindow(), SmallPicture(600)));  // a late replay picture
  EXPECT_EQ(surface->ShownPts(), 400);
  ASSERT_TRUE(Deliver(m_display->m_hWnd, SmallPicture(700)));
  EXPECT_EQ(surface->ShownPts(), 700);
}

TEST_F(DisplayDialog, SpaceFreezesOnlyWhileASessionRunsAndRWithNothingHeldStaysLive) {
  m_display->ShowFullScreen();
  VideoSurface* surface = SurfaceOf(m_display);
  ASSERT_NE(surface, nullptr);
  QWidget* window = ui::WidgetOf(m_display->m_hWnd);
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_EQ(surface->Showing(), VideoSurface::Source::kLive);  // no session
  g_hDecThread = reinterpret_cast<HANDLE>(0x1);               // stands for a running session
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_EQ(surface->Showing(), VideoSurface::Source::kFrozen);
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_EQ(surface->Showing(), VideoSurface::Source::kLive);
  QTest::keyClick(window, Qt::Key_R);  // nothing in the stream history
  EXPECT_EQ(surface->Showing(), VideoSurface::Source::kLive);
  g_hDecThread = nullptr;
}

TEST(ReplayMarkerText, SpeedsAsTheCoachSetThem) {
  const std::pair<double, const char*> cases[] = {
      {0.5, "回放 0.5×"}, {0.25, "回放 0.25×"}, {0.75, "回放 0.75×"}, {1.0, "回放 1×"}, {0.6, "回放 0.6×"}};
  for (const auto& [speed, text] : cases) {
    EXPECT_EQ(ReplayMarker(speed).toStdString(), text) << speed;
  }
}

TEST(ViewerAddressCode, IsAReadableQrCodeOrNoneWhenTheTextCannotBeOne) {
  const QImage code = QrCodeImage("http://192.168.1.20:8080/view?t=0123456789abcdef0123456789abcdef");
  ASSERT_FALSE(code.isNull());
  ASSERT_EQ(code.width(), code.height());
  // A version 1 to 40 code (21 to 177 modules) inside 4 modules of quiet zone.
  const int modules = code.width() - 8;
  EXPECT_EQ((modules - 17) % 4, 0);
  const auto dark = [&](int x, int y) { return qGray(code.pixel(x + 4, y + 4)) < 128; };
  // The three finder patterns: a dark ring, a light ring, a dark core.
  for (const auto& [left, top] : {std::pair{0, 0}, std::pair{modules - 7, 0}, std::pair{0, modules - 7}}) {
    EXPECT_TRUE(dark(left, top) && dark(left + 6, top + 6)) << left << "," << top;
    EXPECT_FALSE(dark(left + 1, top + 1)) << left << "," << top;
    EXPECT_TRUE(dark(left + 3, top + 3)) << left << "," << top;
  }
  EXPECT_FALSE(qGray(code.pixel(0, 0)) < 128) << "the quiet zone is light";
  EXPECT_TRUE(QrCodeImage(QString(5000, 'x')).isNull()) << "more than any code holds";
}

TEST_F(DisplayDialog, DroppedPictureIsNotShownAgainUntilANewOneComes) {
  m_display->ShowFullScreen();
  VideoSurface* surface = SurfaceOf(m_display);
  ASSERT_NE(surface, nullptr);
  const player::PictureRef picture = SmallPicture(0);
  ASSERT_NE(picture, nullptr);
  const auto deliver = [&] {
    return player::WithVideoSink(m_display->m_hWnd,
                                 [&](player::VideoSink& sink) { sink.OnDecodedPicture(picture); });
  };
  ASSERT_TRUE(deliver());
  // Dropped while that picture's paint still waits in the queue.
  m_display->DropPicture();
  QApplication::processEvents();
  EXPECT_FALSE(surface->isVisible());
  ASSERT_TRUE(deliver());
  EXPECT_TRUE(ProcessUntil([&] { return surface->isVisible(); }));
}

TEST_F(DisplayDialog, TeardownEndsTheWatcherAndNothingIsLoggedAfter) {
  ASSERT_TRUE(ProcessUntil([&] { return m_keys.Polls() > 0; }));
  EXPECT_EQ(sys::RunningThreadCount(), m_threadsBefore + 1);
  m_parent.DestroyWindow();
  EXPECT_EQ(sys::RunningThreadCount(), m_threadsBefore);
  const int polls = m_keys.Polls();
  const std::string log = testutil::ReadFile(m_dir.Path() + "/log/Tarnview.txt");
  EXPECT_NE(log.find("  enter CheckESCThread\n "), std::string::npos);
  const std::string exitLine = "  exit CheckESCThread\n ";
  ASSERT_GE(log.size(), exitLine.size());
  EXPECT_EQ(log.substr(log.size() - exitLine.size()), exitLine);
  // A while for anything late to show: nothing polls or logs any more.
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 200) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(m_keys.Polls(), polls);
  EXPECT_EQ(testutil::ReadFile(m_dir.Path() + "/log/Tarnview.txt"), log);
}

}  // namespace
