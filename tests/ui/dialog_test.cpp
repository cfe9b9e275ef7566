#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "platform/ui/dialog.h"
#include "platform/ui/dialogfont.h"
#include "platform/ui/handles.h"
#include "platform/ui/keystate.h"
#include "platform/ui/widgets.h"
#include "res/resource.h"
#include "res/resources.h"

namespace {

constexpr UINT WM_FIRST = WM_USER + 3;
constexpr UINT WM_SECOND = WM_USER + 4;

// The main dialog's controls with its data exchange, as the program binds them.
class MainDialog : public CDialog {
 public:
  MainDialog() : CDialog(IDD_TARNVIEW_DIALOG) { res::RegisterResources(); }

  CString m_strPort;
  CIPAddressCtrl m_ipAddr;
  CComboBox m_cmbStreamType;
  std::vector<std::pair<UINT, WPARAM>> received;
  std::vector<bool> onGuiThread;
  bool destroyed = false;

  LRESULT OnFirst(WPARAM wParam, LPARAM) { return Record(WM_FIRST, wParam); }
  LRESULT OnSecond(WPARAM wParam, LPARAM) { return Record(WM_SECOND, wParam); }
  void OnDestroy() override { destroyed = true; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_IPADDRESS, m_ipAddr);
    DDX_Text(pDX, IDC_EDIT_PORT, m_strPort);
    DDX_Control(pDX, IDC_CMB_STREAMTYPE, m_cmbStreamType);
  }

 private:
  LRESULT Record(UINT message, WPARAM wParam) {
    received.emplace_back(message, wParam);
    onGuiThread.push_back(ui::OnGuiThread());
    return 1;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MainDialog, CDialog)
  ON_MESSAGE(WM_FIRST, OnFirst)
  ON_MESSAGE(WM_SECOND, OnSecond)
END_MESSAGE_MAP()

// A modeless display dialog that records its teardown.
class DisplayDialog : public CDialog {
 public:
  explicit DisplayDialog(bool* gone) : CDialog(IDD_DISPLAY_DIALOG), m_gone(gone) {}
  void PostNcDestroy() override {
    *m_gone = true;
    delete this;
  }

 private:
  bool* m_gone;
};

QWidget* Widget(const CDialog& dialog, int id) { return ui::WidgetOf(dialog.GetDlgItem(id)->m_hWnd); }

// Runs `action` on the GUI thread once the modal loop runs.
void Soon(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

TEST(DialogUnits, MapEachFieldWithHalfAwayFromZeroRounding) {
  EXPECT_EQ(MulDiv(1, 6, 4), 2);    // 1.5
  EXPECT_EQ(MulDiv(3, 6, 4), 5);    // 4.5
  EXPECT_EQ(MulDiv(-3, 6, 4), -5);  // -4.5
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  const CRect pixels = ui::DialogUnitsToPixels(98, 50, 100, 15, {6, 16});
  EXPECT_EQ(pixels, CRect(147, 100, 297, 130));
}

TEST(DialogFontCheck, TheCjkDialogFontResolves) {
  const ui::FontCheck check = ui::CheckDialogFont();
  EXPECT_TRUE(check.resolved) << "resolved to " << check.family;
}

TEST(MainDialogTemplate, BuildsEveryControlWithItsTextVisibilityAndTabOrder) {
  MainDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TARNVIEW_DIALOG));
  EXPECT_EQ(ui::WidgetOf(dialog.m_hWnd)->windowTitle(), QString::fromUtf8("Divora"));
  const std::vector<std::pair<int, const char*>> texts = {
      {IDC_BTN_START, "开始教学"}, {IDC_BTN_CANCEL, "取消"}, {IDC_STATIC_BOX, "静态"}};
  for (const auto& [id, text] : texts) {
    CString actual;
    dialog.GetDlgItem(id)->GetWindowText(actual);
    EXPECT_STREQ(actual, text);
  }
  for (int id = IDC_BTN_START; id <= IDC_STATIC_BOX; ++id)
    EXPECT_TRUE(dialog.GetDlgItem(id)->IsWindowVisible()) << id;
  EXPECT_FALSE(dialog.GetDlgItem(IDC_CMB_STREAMTYPE)->IsWindowVisible());
  EXPECT_FALSE(dialog.GetDlgItem(IDC_CMB_LINKMODE)->IsWindowVisible());
  EXPECT_EQ(dialog.GetDlgItem(IDC_BTN_START)->GetStyle(), 0x5001000Bu);
  EXPECT_EQ(dynamic_cast<QLineEdit*>(Widget(dialog, IDC_EDIT_PSD))->echoMode(), QLineEdit::Password);

  QStringList shown;
  QStringList hidden;
  for (const QLabel* label : ui::WidgetOf(dialog.m_hWnd)->findChildren<QLabel*>())
    if (ui::HandleOf(label) != nullptr) (label->isVisible() ? shown : hidden) << label->text();
  for (const char* text : {"输入端口号：", "输入登录名：", "输 入 密 码：", "设 置 延 时：", "输入初始IP："})
    EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text;
  EXPECT_TRUE(hidden.contains(QString::fromUtf8("码流类型")));
  EXPECT_TRUE(hidden.contains(QString::fromUtf8("传输协议")));

  // Tab order is template order: the password box comes before the user name.
  const std::vector<int> order = {IDC_BTN_START, IDC_BTN_CANCEL, IDC_IPADDRESS, IDC_EDIT_PORT,
                                  IDC_EDIT_PSD, IDC_EDIT_USER, IDC_EDIT_DELAYTIME,
                                  IDC_BTN_START};
  QWidget* window = ui::WidgetOf(dialog.m_hWnd);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  dialog.GetDlgItem(IDC_BTN_START)->SetFocus();
  for (size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* expected = Widget(dialog, order[i]);
    QWidget* focused = QApplication::focusWidget();
    // The IP address control hands its focus to its first field.
    EXPECT_TRUE(focused == expected || focused->parentWidget() == expected) << "step " << i;
  }
}

TEST(ModalDialog, EnterInAnEditBoxEndsWithOkAfterTheExchange) {
  MainDialog dialog;
  Soon([&] {
    auto* port = dynamic_cast<QLineEdit*>(Widget(dialog, IDC_EDIT_PORT));
    port->setText(QStringLiteral("8000"));
    QTest::keyClick(port, Qt::Key_Return);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_STREQ(dialog.m_strPort, "8000");
  EXPECT_TRUE(dialog.destroyed);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(ModalDialog, EscapeEndsWithCancelWithoutTheExchange) {
  MainDialog dialog;
  Soon([&] {
    auto* port = dynamic_cast<QLineEdit*>(Widget(dialog, IDC_EDIT_PORT));
    port->setText(QStringLiteral("8000"));
    QTest::keyClick(port, Qt::Key_Escape);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(dialog.m_strPort.IsEmpty());
}

TEST(ModalDialog, EnterInTheAboutBoxPressesItsDefaultButton) {
  res::RegisterResources();
  CDialog about(IDD_ABOUTBOX);
  Soon([&] { QTest::keyClick(ui::WidgetOf(about.m_hWnd), Qt::Key_Return); });
  EXPECT_EQ(about.DoModal(), IDOK);
}

TEST(PostedMessages, ArriveInOrderOnTheGuiThread) {
  MainDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TARNVIEW_DIALOG));
  constexpr int kCount = 200;
  const HWND target = dialog.m_hWnd;
  std::thread poster([target] {
    for (int i = 0; i < kCount; ++i)
      PostMessage(target, i % 2 == 0 ? WM_FIRST : WM_SECOND, static_cast<WPARAM>(i), 0);
  });
  poster.join();
  EXPECT_TRUE(dialog.received.empty());  // nothing runs before the GUI thread takes it
  QCoreApplication::processEvents();
  ASSERT_EQ(dialog.received.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(dialog.received[static_cast<size_t>(i)].second, static_cast<WPARAM>(i));
    EXPECT_EQ(dialog.received[static_cast<size_t>(i)].first, i % 2 == 0 ? WM_FIRST : WM_SECOND);
  }
  EXPECT_EQ(std::count(dialog.onGuiThread.begin(), dialog.onGuiThread.end(), true), kCount);
}

TEST(PostedMessages, AWindowGoneBeforeDeliveryGetsNothing) {
  auto dialog = std::make_unique<MainDialog>();
  ASSERT_TRUE(dialog->Create(IDD_TARNVIEW_DIALOG));
  const HWND target = dialog->m_hWnd;
  EXPECT_TRUE(PostMessage(target, WM_FIRST, 0, 0));
  dialog.reset();  // the queued message must not reach a freed object
  QCoreApplication::processEvents();
  EXPECT_FALSE(PostMessage(target, WM_FIRST, 0, 0));
}

TEST(Controls, IpAddressRoundTripsDottedText) {
  MainDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TARNVIEW_DIALOG));
  dialog.GetDlgItem(IDC_IPADDRESS)->SetWindowText("10.0.0.5");
  BYTE b[4] = {};
  EXPECT_EQ(dialog.m_ipAddr.GetAddress(b[0], b[1], b[2], b[3]), 4);
  EXPECT_EQ(b[0], 10);
  EXPECT_EQ(b[3], 5);
  CString text;
  dialog.m_ipAddr.GetWindowText(text);
  EXPECT_STREQ(text, "10.0.0.5");

  dialog.m_ipAddr.SetWindowText("300.1.2.3");  // not an address: every field blank
  EXPECT_EQ(dialog.m_ipAddr.GetAddress(b[0], b[1], b[2], b[3]), 0);
}

TEST(Controls, IpAddressControlIsFramedLikeTheEditBoxes) {
  MainDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TARNVIEW_DIALOG));
  const QImage address = Widget(dialog, IDC_IPADDRESS)->grab().toImage();
  const QImage port = Widget(dialog, IDC_EDIT_PORT)->grab().toImage();
  ASSERT_EQ(address.size(), port.size());
  // Both frame rings on every side, and the white inside them.
  const int w = port.width();
  const int h = port.height();
  for (const QPoint& at : {QPoint(0, 0), QPoint(1, 1), QPoint(w - 1, h - 1), QPoint(w - 2, h - 2),
                           QPoint(w / 2, 0), QPoint(0, h / 2), QPoint(2, 2)}) {
    EXPECT_EQ(address.pixel(at), port.pixel(at)) << at.x() << "," << at.y();
  }
}

TEST(Controls, ComboBoxInsertsAtTheGivenIndexDespiteSorting) {
  MainDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TARNVIEW_DIALOG));
  CComboBox& combo = dialog.m_cmbStreamType;
  EXPECT_EQ(combo.InsertString(0, "主码流"), 0);
  EXPECT_EQ(combo.InsertString(1, "辅码流"), 1);
  EXPECT_EQ(combo.InsertString(0, "ZZZ"), 0);
  EXPECT_EQ(combo.InsertString(5, "beyond"), CB_ERR);
  EXPECT_EQ(combo.SetCurSel(1), 1);
  CString text;
  combo.GetLBText(1, text);
  EXPECT_STREQ(text, "主码流");
  EXPECT_EQ(combo.SetCurSel(7), CB_ERR);
  EXPECT_EQ(combo.GetCurSel(), -1);
}

TEST(ModelessDialog, EmbedsAsAChildAndGoesWithItsOwner) {
  bool gone = false;
  auto main = std::make_unique<MainDialog>();
  ASSERT_TRUE(main->Create(IDD_TARNVIEW_DIALOG));
  auto* display = new DisplayDialog(&gone);
  ASSERT_TRUE(display->Create(IDD_DISPLAY_DIALOG, main.get()));
  EXPECT_FALSE(display->IsWindowVisible());
  EXPECT_EQ(display->GetParent(), main.get());

  display->ShowWindow(SW_SHOW);
  display->ModifyStyle(WS_POPUP | WS_CHILD, WS_CHILD, 0);
  SetParent(display->m_hWnd, main->m_hWnd);
  display->MoveWindow(237, 0, 237, 400, TRUE);
  QWidget* widget = ui::WidgetOf(display->m_hWnd);
  EXPECT_FALSE(widget->isWindow());
  EXPECT_TRUE(widget->isVisible());
  EXPECT_EQ(widget->geometry(), QRect(237, 0, 237, 400));
  EXPECT_EQ(display->GetStyle() & (WS_POPUP | WS_CHILD), WS_CHILD);

  main.reset();
  EXPECT_TRUE(gone);  // destroyed with its owner, and freed itself
}

TEST(ModelessDialog, ShowWindowFromAnotherThreadIsCarriedOutByTheGuiThread) {
  bool gone = false;
  MainDialog main;
  ASSERT_TRUE(main.Create(IDD_TARNVIEW_DIALOG));
  auto* display = new DisplayDialog(&gone);
  display->Create(IDD_DISPLAY_DIALOG, &main);
  display->ShowWindow(SW_SHOW);
  const HWND hwnd = display->m_hWnd;
  std::thread([hwnd] { ShowWindow(hwnd, SW_HIDE); }).join();
  EXPECT_TRUE(display->IsWindowVisible());  // the other thread never waits for the GUI
  QCoreApplication::processEvents();
  EXPECT_FALSE(display->IsWindowVisible());
}

TEST(Application, ClassicLookWithTheFrameworksTextsInChinese) {
  EXPECT_EQ(QApplication::style()->name(), QStringLiteral("windows"));
  QString button;
  QString caption;
  Soon([&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      button = box->buttons().value(0)->text();
      caption = box->windowTitle();
      EXPECT_EQ(box->palette().color(QPalette::Window), QColor(212, 208, 200));
      box->accept();
    }
  });
  CWnd nobody;
  EXPECT_EQ(nobody.MessageBox("登录失败！"), IDOK);
  EXPECT_EQ(button, QStringLiteral("确定"));
  EXPECT_EQ(caption, QStringLiteral("Tarnview"));
  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  EXPECT_TRUE(menu->actions().value(0)->text().startsWith(QStringLiteral("撤消")))
      << menu->actions().value(0)->text().toStdString();
}

TEST(SystemQueries, ScreenSizeAndMessageBoxCaption) {
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
  CString caption;
  ui::SetMessageBoxHandler([&](const CString&, const CString& title) {
    caption = title;
    return IDOK;
  });
  CWnd nobody;
  EXPECT_EQ(nobody.MessageBox("登录失败！"), IDOK);
  ui::SetMessageBoxHandler(nullptr);
  EXPECT_STREQ(caption, QCoreApplication::applicationName().toUtf8().constData());
}

TEST(KeyState, FollowsATestSourceAndOtherwiseTheProgramsOwnKeys) {
  ui::SetKeyStateSource([](int vk) { return vk == VK_ESCAPE; });
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0x8000);
  EXPECT_EQ(GetAsyncKeyState('C'), 0);
  ui::SetKeyStateSource(nullptr);

  // Offscreen there is no X server: the program's own key events count.
  MainDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TARNVIEW_DIALOG));
  QWidget* edit = Widget(dialog, IDC_EDIT_PORT);
  QTest::keyPress(edit, Qt::Key_C);
  EXPECT_EQ(GetAsyncKeyState('C') & 0x8000, 0x8000);
  QTest::keyRelease(edit, Qt::Key_C);
  EXPECT_EQ(GetAsyncKeyState('C'), 0);
}

}  // namespace
