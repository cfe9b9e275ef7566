#include <array>

#include "res/resource.h"
#include "res/resources.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kHiddenLabel = WS_CHILD | WS_GROUP | SS_LEFT;
constexpr DWORD kHiddenCombo = WS_CHILD | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT;
// The display dialog's styles, as its template gives them.
constexpr DWORD kRoundButton = kChild | WS_TABSTOP;
constexpr DWORD kDisplayLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kDisplayStyle = WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS;
static_assert(kRoundButton == 0x50010000 && kDisplayLabel == 0x50020000 &&
              kDisplayStyle == 0x80080048);
static_assert((kChild | WS_TABSTOP | BS_OWNERDRAW) == 0x5001000B);

// Dialog 100: the about box.
constexpr std::array kAboutItems = {
    DialogItem{IDC_STATIC, ControlClass::Static, "128", 11, 17, 20, 20, kChild | SS_ICON},
    DialogItem{IDC_STATIC, ControlClass::Static, "Tarnview 1.0 版", 40, 10, 119, 8,
               kLabel | SS_NOPREFIX},
    DialogItem{IDC_STATIC, ControlClass::Static, "延时回放，教练与运动员共用", 40, 25, 119, 8,
               kLabel},
    DialogItem{IDOK, ControlClass::Button, "确定", 178, 7, 50, 16,
               kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
};
constexpr DialogTemplate kAbout{
    IDD_ABOUTBOX, "关于 Tarnview", 0, 0, 235, 55,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS, 0,
    "宋体", 9, kAboutItems};

// Dialog 102: the main dialog. Template order is the tab order.
constexpr std::array kMainItems = {
    DialogItem{IDC_BTN_START, ControlClass::Button, "开始教学", 52, 161, 47, 19,
               kChild | WS_TABSTOP | BS_OWNERDRAW},
    DialogItem{IDC_BTN_CANCEL, ControlClass::Button, "取消", 136, 161, 47, 19,
               kChild | WS_TABSTOP | BS_OWNERDRAW},
    DialogItem{IDC_IPADDRESS, ControlClass::IpAddress, "", 98, 27, 100, 15, kChild | WS_TABSTOP},
    DialogItem{IDC_EDIT_PORT, ControlClass::Edit, "", 98, 50, 100, 15, kEdit},
    DialogItem{IDC_EDIT_PSD, ControlClass::Edit, "", 98, 93, 100, 15, kEdit | ES_PASSWORD},
    DialogItem{IDC_EDIT_USER, ControlClass::Edit, "", 98, 71, 100, 15, kEdit},
    DialogItem{IDC_STATIC, ControlClass::Static, "输入端口号：", 37, 53, 52, 14, kLabel},
    DialogItem{IDC_STATIC, ControlClass::Static, "输入登录名：", 37, 74, 52, 14, kLabel},
    DialogItem{IDC_STATIC, ControlClass::Static, "输 入 密 码：", 37, 96, 52, 14, kLabel},
    DialogItem{IDC_EDIT_DELAYTIME, ControlClass::Edit, "", 98, 116, 100, 15, kEdit},
    DialogItem{IDC_STATIC, ControlClass::Static, "设 置 延 时：", 37, 117, 52, 14, kLabel},
    DialogItem{IDC_STATIC, ControlClass::Static, "输入初始IP：", 37, 30, 52, 14, kLabel},
    DialogItem{IDC_STATIC_BOX, ControlClass::Static, "静态", 9, 139, 36, 16, kLabel | WS_BORDER},
    DialogItem{IDC_CMB_STREAMTYPE, ControlClass::ComboBox, "", 17, 143, 48, 54, kHiddenCombo},
    DialogItem{IDC_STATIC, ControlClass::Static, "码流类型", 26, 139, 36, 14, kHiddenLabel},
    DialogItem{IDC_STATIC, ControlClass::Static, "传输协议", 18, 142, 36, 14, kHiddenLabel},
    DialogItem{IDC_CMB_LINKMODE, ControlClass::ComboBox, "", 7, 141, 48, 54, kHiddenCombo},
    DialogItem{IDC_STATIC, ControlClass::Static, "Tarnview  服务热线：400-000-0000",
               47, 197, 135, 12, kLabel},
};
constexpr DialogTemplate kMain{
    IDD_TARNVIEW_DIALOG, "Divora", 0, 0, 238, 215,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW, "宋体", 9, kMainItems};

// Dialog 129: the display dialog.
constexpr std::array kDisplayItems = {
    DialogItem{IDC_BTN_CAPTURE, ControlClass::Button, "截图", 43, 120, 50, 21, kRoundButton},
    DialogItem{IDC_BTN_CLOSE, ControlClass::Button, "关闭", 156, 121, 50, 21, kRoundButton},
    DialogItem{IDC_STATIC, ControlClass::Static, "播放成功", 20, 11, 246, 101, kDisplayLabel},
};
constexpr DialogTemplate kDisplay{
    IDD_DISPLAY_DIALOG, "", 0, 0, 284, 153, kDisplayStyle, 0, "MS Shell Dlg", 8, kDisplayItems};

}  // namespace

namespace res {
void RegisterResources() {
  ui::RegisterDialogTemplate(&kAbout);
  ui::RegisterDialogTemplate(&kMain);
  ui::RegisterDialogTemplate(&kDisplay);
  ui::RegisterString(IDS_ABOUTBOX, "关于 Tarnview(&A)...");
  ui::RegisterIcon(IDR_MAINFRAME, {DrawAppIcon(48), DrawAppIcon(32), DrawAppIcon(16)});
}
}  // namespace res
