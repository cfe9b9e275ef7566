#include <atomic>
#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QTest>

#include <algorithm>
#include <thread>

#include "app/TarnviewApp.h"
#include "app/TarnviewDlg.h"
#include "display/DisPlayDlg.h"
#include "platform/ui/widgets.h"
#include "res/resource.h"
#include "session/StreamIntake.h"
#include "session/StreamRing.h"
#include "tests/app/AppFixture.h"
#include "tests/device/device_test_support.h"
#include "tests/web/http_client.h"
#include "web/WebTokens.h"

namespace {

using ::testing::ElementsAre;

class MainDialog : public AppFixture {
 protected:
  QWidget* Control(const CTarnviewDlg& dlg, int id) {
    return ui::WidgetOf(dlg.GetDlgItem(id)->m_hWnd);
  }
  std::string Text(const CTarnviewDlg& dlg, int id) {
    CString text;
    dlg.GetDlgItem(id)->GetWindowText(text);
    return text.GetString();
  }
};

TEST_F(MainDialog, StartsUpFromTheDefaultsWithStartFocusedAndDisplayHidden) {
  std::remove("config.ini");
  CTarnviewDlg dlg;
  bool checked = false;
  Soon([&] {
    EXPECT_EQ(Text(dlg, IDC_IPADDRESS), "127.0.0.1");
    EXPECT_EQ(Text(dlg, IDC_EDIT_PORT), "8000");
    EXPECT_EQ(Text(dlg, IDC_EDIT_USER), "admin");
    EXPECT_EQ(Text(dlg, IDC_EDIT_PSD), "60917");
    EXPECT_EQ(Text(dlg, IDC_EDIT_DELAYTIME), "2");
    EXPECT_TRUE(dlg.GetDlgItem(IDC_BTN_START)->IsWindowEnabled());
    EXPECT_FALSE(dlg.GetDlgItem(IDC_BTN_CANCEL)->IsWindowEnabled());
    EXPECT_EQ(ui::WidgetOf(dlg.m_hWnd)->focusWidget(), Control(dlg, IDC_BTN_START));
    EXPECT_FALSE(dlg.GetDlgItem(IDC_STATIC_BOX)->IsWindowVisible());
    ASSERT_NE(dlg.m_pDisplayDlg, nullptr);
    EXPECT_FALSE(dlg.m_pDisplayDlg->IsWindowVisible());
    for (CComboBox* combo : {&dlg.m_cmbStreamType, &dlg.m_cmbLinkMode}) {
      EXPECT_EQ(combo->GetCount(), 2);
      EXPECT_EQ(combo->GetCurSel(), 0);
      EXPECT_FALSE(combo->IsWindowVisible());
    }
    CString item;
    dlg.m_cmbStreamType.GetLBText(1, item);
    EXPECT_STREQ(item.GetString(), "辅码流");
    dlg.m_cmbLinkMode.GetLBText(0, item);
    EXPECT_STREQ(item.GetString(), "TCP");
    EXPECT_NE(g_pStreamRing, nullptr);
    checked = true;
    dlg.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(checked);
  // Torn down: ring freed, SDK cleaned up.
  EXPECT_EQ(g_pStreamRing, nullptr);
  EXPECT_EQ(fakedevice::CallNames().back(), "NET_DVR_Cleanup");
  // The watcher logs from its own thread, so only the GUI thread's entries
  // have a fixed order among themselves.
  std::vector<std::string> gui;
  for (const std::string& message : LogMessages()) {
    if (message.find("CheckESCThread") == std::string::npos && message != " \n") {
      gui.push_back(message);
    }
  }
  EXPECT_THAT(gui, ElementsAre("can't open configfile\n",
                               "ReadLocalConfig,ip:127.0.0.1,port:8000,usr:admin,pwd:******,dt:2,"
                               "st:0,lm:0\n",
                               "Init suc!\n"));
}

TEST_F(MainDialog, ShowsConfiguredDelaysAsTheyAreSizesTheRingAndSetsTheSdkUpInOrder) {
  for (const char* delay : {"0", "75"}) {
    WriteConfig(std::string("[SysParam]\ndelaytime=") + delay + "\ndwStreamType=1\nringMB=48\n");
    fakedevice::Reset();
    CTarnviewDlg dlg;
    Soon([&] {
      EXPECT_EQ(Text(dlg, IDC_EDIT_DELAYTIME), delay);
      EXPECT_EQ(g_pStreamRing != nullptr ? g_pStreamRing->GetSize() : 0u,
                48u * StreamRing::kBytesPerMiB);
      // The combo boxes ignore the configuration.
      EXPECT_EQ(dlg.m_cmbStreamType.GetCurSel(), 0);
      dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_THAT(fakedevice::CallNames(),
                ElementsAre("NET_DVR_Init", "NET_DVR_SetConnectTime", "NET_DVR_SetReconnect",
                            "NET_DVR_SetRtspPath", "NET_DVR_Cleanup"));
    g_workLog.Close();
  }
}

TEST_F(MainDialog, TabVisitsTheBoxesInTemplateOrderSkippingTheDisabledCancel) {
  CTarnviewDlg dlg;
  std::vector<int> visited;  // control ids; the address control's fields count as 1002
  Soon([&] {
    QWidget* window = ui::WidgetOf(dlg.m_hWnd);
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(QApplication::focusWidget(), Control(dlg, IDC_BTN_START));
    for (int i = 0; i < 5 && QApplication::focusWidget() != nullptr; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* focus = QApplication::focusWidget();
      HWND handle = ui::HandleOf(focus);
      if (handle == nullptr && focus != nullptr) {
        handle = ui::HandleOf(focus->parentWidget());
      }
      visited.push_back(handle != nullptr ? ui::CtrlIdOf(handle) : 0);
    }
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  EXPECT_THAT(visited, ElementsAre(IDC_IPADDRESS, IDC_EDIT_PORT, IDC_EDIT_PSD, IDC_EDIT_USER,
                                   IDC_EDIT_DELAYTIME));
}

TEST_F(MainDialog, AboutBoxOpensCentredOverTheMainWindowWhereverItStands) {
  QWidget* main = nullptr;
  QWidget* about = nullptr;
  QRect mainPlace;
  QPoint mainFrame;
  QRect aboutPlace;
  Soon([&] {
    auto* dlg = dynamic_cast<CTarnviewDlg*>(AfxGetMainWnd());
    if (dlg == nullptr) {
      ADD_FAILURE() << "the main dialog is not the main window while it runs";
      return;
    }
    main = ui::WidgetOf(dlg->m_hWnd);
    main->move(40, 30);
    Soon([&] {
      about = QApplication::activeModalWidget();
      if (about != nullptr) {
        mainPlace = main->geometry();
        mainFrame = main->frameGeometry().topLeft();
        aboutPlace = about->geometry();
        QTest::keyClick(about, Qt::Key_Escape);
      }
    });
    dlg->OnSysCommand(IDM_ABOUTBOX, 0);
    dlg->EndDialog(IDCANCEL);
  });
  EXPECT_EQ(theApp.InitInstance(), FALSE);
  ASSERT_NE(about, nullptr);
  EXPECT_NE(about, main);
  // Centred over the moved main dialog, to the pixel the halves allow.
  EXPECT_EQ(mainFrame, QPoint(40, 30));
  EXPECT_LE((aboutPlace.center() - mainPlace.center()).manhattanLength(), 2)
      << aboutPlace.x() << "," << aboutPlace.y() << " " << aboutPlace.width() << "x"
      << aboutPlace.height() << " over " << mainPlace.width() << "x" << mainPlace.height();
  EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

TEST_F(MainDialog, EnterInThePortBoxEndsTheProgram) {
  CTarnviewDlg dlg;
  Soon([&] {
    QWidget* port = Control(dlg, IDC_EDIT_PORT);
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Return);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_STREQ(dlg.m_strPort.GetString(), "8000");
}

TEST_F(MainDialog, StopMessageWhileIdleRunsTheWholeStop) {
  CTarnviewDlg dlg;
  const auto logged = [this](const char* line) {
    const auto log = LogMessages();
    return std::find(log.begin(), log.end(), line) != log.end();
  };
  Soon([&] {
    // The display's key thread logs its start on its own time: the stop's
    // lines are to follow one another, so the stop waits for it.
    EXPECT_TRUE(ProcessUntil([&] { return logged("enter CheckESCThread\n"); }));
    ::PostMessage(dlg.m_hWnd, WM_STOP_SESSION, 0, 0);
    EXPECT_TRUE(ProcessUntil([&] { return logged("logout suc\n"); }));
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  const auto log = LogMessages();
  const auto stop = std::find(log.begin(), log.end(), "stop DecThread\n");
  ASSERT_NE(stop, log.end());
  EXPECT_EQ(*(stop + 1), "stopplay suc\n");
  EXPECT_EQ(*(stop + 2), "logout suc\n");
  EXPECT_EQ(fakeplayer::Calls("PlayM4_FreePort").at(0).port, -1);
}

TEST_F(MainDialog, EmbedMessageFillsTheRightHalfAndAnswersOne) {
  CTarnviewDlg dlg;
  Soon([&] {
    ui::WidgetOf(dlg.m_hWnd)->setFixedSize(475, 500);
    LRESULT result = 0;
    EXPECT_TRUE(dlg.OnWndMsg(WM_EMBED_DISPLAY, 0, 0, &result));
    EXPECT_EQ(result, 1);
    CDisPlayDlg* display = dlg.m_pDisplayDlg;
    EXPECT_TRUE(display->IsWindowVisible());
    EXPECT_NE(display->GetStyle() & WS_CHILD, 0u);
    EXPECT_EQ(display->GetStyle() & WS_POPUP, 0u);
    const QRect place = ui::WidgetOf(display->m_hWnd)->geometry();
    EXPECT_EQ(place, QRect(237, 0, 237, 400));
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
}

TEST_F(MainDialog, StartButtonRunsASessionThatTheCloseOfTheDialogEnds) {
  fakedevice::SetLoginResult(0);
  fakedevice::SetRealPlayResult(1);
  fakeplayer::SetPort(2);
  CTarnviewDlg dlg;
  Soon([&] {
    QTest::mouseClick(Control(dlg, IDC_BTN_START), Qt::LeftButton);
    EXPECT_FALSE(dlg.GetDlgItem(IDC_BTN_START)->IsWindowEnabled());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_BTN_CANCEL)->IsWindowEnabled());
    EXPECT_TRUE(dlg.m_pDisplayDlg->IsWindowVisible());
    // It has the keyboard focus.
    QWidget* display = ui::WidgetOf(dlg.m_pDisplayDlg->m_hWnd);
    EXPECT_TRUE(QTest::qWaitForWindowActive(display));
    EXPECT_EQ(QApplication::focusWidget(), display);
    fakedevice::Deliver(1, {0x47, 0x40, 0, 0x10});
    EXPECT_NE(g_hDecThread.load(), nullptr);
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  // Closing mid-session stopped it before the ring went.
  EXPECT_EQ(g_hDecThread.load(), nullptr);
  EXPECT_EQ(g_lPlayPort, -1);
  EXPECT_EQ(fakeplayer::Calls("PlayM4_FreePort").at(0).port, 2);
  const auto names = fakedevice::CallNames();
  const auto stop = std::find(names.begin(), names.end(), "NET_DVR_StopRealPlay");
  const auto cleanup = std::find(names.begin(), names.end(), "NET_DVR_Cleanup");
  EXPECT_LT(stop, cleanup);
}

TEST_F(MainDialog, WebScreensAnswerFromTheDialogsStartToTheProgramsEnd) {
  const uint16_t port = testing_device::LoopbackSocket(false).Port();  // nothing listens there
  WriteConfig("[SysParam]\nwebListen=" + std::to_string(port) + "\n");
  CTarnviewDlg dlg;
  Soon([&] {
    webtest::Client bare(port);
    bare.Send(webtest::Get("/status"));
    EXPECT_EQ(webtest::Status(bare.ReadAll()), 403) << "no token";
    const std::string ini = testutil::ReadFile(m_dir.Path() + "/web.ini");
    const size_t at = ini.find("viewToken=") + std::string("viewToken=").size();
    webtest::Client viewer(port);
    viewer.Send(webtest::Get("/status?t=" + ini.substr(at, kTokenHexDigits)));
    const std::string reply = viewer.ReadAll();
    EXPECT_EQ(webtest::Status(reply), 200);
    EXPECT_NE(reply.find("\"session\":false"), std::string::npos) << reply;
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  EXPECT_FALSE(webtest::Client(port).Connected()) << "still listening after the dialog";
}

// The coach's phone at the API, as the real dialog answers it: a start that
// fails tells the phone (no box waits on the laptop), one that works runs
// the session as the start button does, the keys act on it, and the stop
// ends it as Escape does.
TEST_F(MainDialog, ThePhoneStartsActsOnAndStopsASessionThroughTheDialog) {
  const uint16_t port = testing_device::LoopbackSocket(false).Port();
  WriteConfig("[SysParam]\nwebListen=" + std::to_string(port) + "\n");
  fakedevice::SetRealPlayResult(1);
  fakeplayer::SetPort(2);
  CTarnviewDlg dlg;
  std::vector<std::string> replies;
  Soon([&] {
    const std::string ini = testutil::ReadFile(m_dir.Path() + "/web.ini");
    const std::string header = "X-Tarnview-Token: " +
                               ini.substr(ini.find("coachToken=") + 11, kTokenHexDigits) + "\r\n";
    // The phone's calls wait for this (the GUI) thread: they go from another.
    const auto post = [&](const std::string& path, const std::string& body) {
      std::string reply;
      std::atomic<bool> replied{false};
      std::thread phone([&] {
        webtest::Client client(port);
        client.Send("POST " + path + " HTTP/1.1\r\nHost: h\r\n" + header +
                    "Content-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n\r\n" + body);
        reply = client.ReadAll();
        replied = true;
      });
      EXPECT_TRUE(ProcessUntil([&] { return replied.load(); }));
      phone.join();
      return reply.substr(reply.find("\r\n\r\n") + 4);
    };
    fakedevice::SetLoginResult(-1);
    replies.push_back(post("/api/session", "{\"action\":\"start\"}"));
    replies.push_back(post("/api/key", "{\"key\":\"Space\"}"));
    fakedevice::SetLoginResult(0);
    replies.push_back(post("/api/session", "{\"action\":\"start\"}"));
    fakedevice::Deliver(1, {0x47, 0x40, 0, 0x10});  // the stream header starts the DecThread
    replies.push_back(post("/api/key", "{\"key\":\"Space\"}"));
    replies.push_back(post("/api/session", "{\"action\":\"stop\"}"));
    EXPECT_TRUE(ProcessUntil([] { return g_hDecThread.load() == nullptr; }));
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  EXPECT_EQ(replies, (std::vector<std::string>{
                         "{\"done\":false,\"message\":\"登录失败！\"}",
                         "{\"done\":false,\"message\":\"没有进行中的教学\"}",
                         "{\"done\":true,\"message\":\"\"}",
                         "{\"done\":true,\"message\":\"\"}",
                         "{\"done\":true,\"message\":\"\"}"}));
  // The same lines in the work log as the button and Escape write.
  const std::vector<std::string> log = LogMessages();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Login error, 0\n") +
                std::count(log.begin(), log.end(), "play suc\n"),
            2);
  EXPECT_NE(std::find(log.begin(), log.end(), "logout suc\n"), log.end());
}

}  // namespace
