// A modeless test dialog holding two plain push buttons, 2001 and 2002, that
// the tests size in pixels and bind to a button class.
#pragma once

#include <array>
#include <set>
#include <utility>

#include <QImage>

#include "platform/ui/dialog.h"
#include "platform/ui/handles.h"
#include "platform/ui/resources.h"
#include "platform/ui/widgets.h"

inline constexpr UINT kButtonDialog = 9001;
inline constexpr int kFirstButton = 2001;
inline constexpr int kSecondButton = 2002;

inline const DialogTemplate& ButtonDialogTemplate() {
  static constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  static constexpr std::array items = {
      DialogItem{kFirstButton, ControlClass::Button, "开始", 5, 5, 50, 20, kButton},
      DialogItem{kSecondButton, ControlClass::Button, "关闭", 5, 40, 50, 20, kButton},
  };
  static constexpr DialogTemplate tmpl{kButtonDialog, "buttons", 0, 0, 200, 120,
                                       WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT,
                                       0, "宋体", 9, items};
  return tmpl;
}

class ButtonDialog : public CDialog {
 public:
  ButtonDialog() : CDialog(kButtonDialog) {
    ui::RegisterDialogTemplate(&ButtonDialogTemplate());
    Create(kButtonDialog);
  }
  ~ButtonDialog() override { DestroyWindow(); }

  int clicks = 0;
  void OnFirstClicked() { ++clicks; }

  // Sizes control `id` to width x height pixels at (x, y) and binds `button` to it.
  void Bind(CButton& button, int id, int x, int y, int width, int height) {
    GetDlgItem(id)->MoveWindow(x, y, width, height);
    button.SubclassDlgItem(static_cast<UINT>(id), this);
  }

  DECLARE_MESSAGE_MAP()
};

inline ui::PushButton* ButtonWidget(const CWnd& button) {
  return dynamic_cast<ui::PushButton*>(ui::WidgetOf(button.m_hWnd));
}

// The button drawn by its DrawItem for the given ODS_* state.
inline QImage Draw(const CWnd& button, UINT state) {
  return ButtonWidget(button)->RenderOwnerDraw(state);
}

inline COLORREF Pixel(const QImage& image, int x, int y) {
  const QRgb c = image.pixel(x, y);
  return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)),
             static_cast<BYTE>(qBlue(c)));
}

// Pixels of exactly `colour`, as (x, y) pairs.
inline std::set<std::pair<int, int>> PixelsOf(const QImage& image, COLORREF colour) {
  std::set<std::pair<int, int>> found;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Pixel(image, x, y) == colour) found.insert({x, y});
  return found;
}
