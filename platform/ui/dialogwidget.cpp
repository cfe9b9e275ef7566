#include "platform/ui/dialogwidget.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/dialogfont.h"
#include "platform/ui/handles.h"
#include "platform/ui/icon.h"
#include "platform/ui/keystate.h"
#include "platform/ui/syscolor.h"
#include "platform/ui/widgets.h"

namespace ui {

namespace {

bool IsOwnerDraw(const QWidget* widget) {
  return (StyleOf(HandleOf(widget)) & BS_TYPEMASK) == BS_OWNERDRAW;
}

}  // namespace

DialogWidget::DialogWidget(const DialogTemplate& tmpl, CDialog* owner, QWidget* parent)
    : QDialog(parent, WindowFlagsFor(tmpl.style)), m_template(tmpl), m_owner(owner) {
  StartAppKeyTracking();
  setFont(DialogFont(tmpl.fontPoints));
  setPalette(ClassicPalette());
  setAutoFillBackground(true);
  setWindowTitle(QString::fromUtf8(tmpl.caption));
  const BaseUnits base = BaseUnitsOf(font());
  const CRect frame = DialogUnitsToPixels(tmpl.x, tmpl.y, tmpl.cx, tmpl.cy, base);
  if ((tmpl.style & DS_MODALFRAME) != 0) {
    setFixedSize(frame.Width(), frame.Height());
  } else {
    resize(frame.Width(), frame.Height());
  }
  QWidget* previous = nullptr;
  for (const DialogItem& item : tmpl.items) {
    QWidget* control = BuildControl(item, base);
    if ((item.style & WS_TABSTOP) != 0) {
      if (previous != nullptr) QWidget::setTabOrder(previous, control);
      // Tab goes on from the end of a compound control's own fields.
      auto* ip = dynamic_cast<IpAddressWidget*>(control);
      previous = ip != nullptr ? ip->Field(3) : control;
    }
  }

}

DialogWidget::~DialogWidget() {
  CDialog* owner = m_owner;
  m_owner = nullptr;
  if (owner != nullptr) owner->OnDestroy();
  // Windows it owns or holds as children go before it is finally gone.
  for (DialogWidget* child : findChildren<DialogWidget*>(Qt::FindDirectChildrenOnly)) delete child;
  if (owner != nullptr) owner->WindowGone();
}

QWidget* DialogWidget::BuildControl(const DialogItem& item, const BaseUnits& base) {
  const QString text = QString::fromUtf8(item.text == nullptr ? "" : item.text);
  const CRect place = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy, base);
  QWidget* control = nullptr;
  bool placed = false;  // icons and combo boxes size themselves
  switch (item.kind) {
    case ControlClass::Button: {
      auto* button = new PushButton(this);
      button->setAutoDefault(false);
      button->setDefault((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
      button->setText(text);
      const int id = item.id;
      QObject::connect(button, &QAbstractButton::clicked, this, [this, id] { Command(id); });
      control = button;
      break;
    }
    case ControlClass::Edit: {
      auto* edit = new QLineEdit(this);
      edit->setFrame((item.style & WS_BORDER) != 0);
      if ((item.style & ES_PASSWORD) != 0) edit->setEchoMode(QLineEdit::Password);
      edit->setText(text);
      control = edit;
      break;
    }
    case ControlClass::Static: {
      auto* label = new QLabel(this);
      if ((item.style & SS_TYPEMASK) == SS_ICON) {
        const QIcon icon = IconOf(LoadIcon(static_cast<UINT>(text.toUInt())));
        const int size = GetSystemMetrics(SM_CXICON);
        label->setPixmap(icon.pixmap(size, size));
        label->setGeometry(place.left, place.top, size, size);
        placed = true;
      } else {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(text);
      }
      if ((item.style & WS_BORDER) != 0) label->setFrameStyle(QFrame::Box | QFrame::Plain);
      control = label;
      break;
    }
    case ControlClass::ComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable((item.style & CBS_DROPDOWN) != 0);
      // The template's height includes the drop-down list; the box itself is one line.
      combo->setGeometry(place.left, place.top, place.Width(),
                         std::min(place.Height(), combo->sizeHint().height()));
      placed = true;
      control = combo;
      break;
    }
    case ControlClass::IpAddress:
      control = new IpAddressWidget(this);
      break;
  }
  if (!placed) control->setGeometry(place.left, place.top, place.Width(), place.Height());
  if ((item.style & WS_TABSTOP) == 0 && item.kind != ControlClass::Static)
    control->setFocusPolicy(Qt::ClickFocus);
  if ((item.style & WS_DISABLED) != 0) control->setEnabled(false);
  if ((item.style & WS_VISIBLE) == 0) control->hide();
  RegisterWindow(control, item.style, 0, item.id);
  return control;
}

PushButton* DialogWidget::DefaultButton() const {
  for (PushButton* button : findChildren<PushButton*>(Qt::FindDirectChildrenOnly))
    if (button->isDefault()) return button;
  return nullptr;
}

void DialogWidget::Command(int id) {
  if (m_owner == nullptr) return;
  LRESULT result = 0;
  m_owner->OnWndMsg(WM_COMMAND, static_cast<WPARAM>(static_cast<UINT>(id) & 0xFFFF) |
                                    (static_cast<WPARAM>(BN_CLICKED) << 16),
                    0, &result);
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      Command(IDCANCEL);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // A focused ordinary push button takes Enter itself; otherwise the
      // default push button, or the default command OK when there is none.
      auto* focused = dynamic_cast<PushButton*>(focusWidget());
      if (focused != nullptr && !IsOwnerDraw(focused) && focused->isEnabled()) {
        focused->click();
      } else if (PushButton* button = DefaultButton()) {
        if (button->isEnabled()) button->click();
      } else {
        Command(IDOK);
      }
      return;
    }
    default:
      QWidget::keyPressEvent(event);
  }
}

void DialogWidget::closeEvent(QCloseEvent* event) {
  // The close box is the Cancel command; the dialog decides what ends it.
  event->ignore();
  Command(IDCANCEL);
}

}  // namespace ui
