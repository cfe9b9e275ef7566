#include "platform/ui/widgets.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include "platform/ui/button.h"
#include "platform/ui/cdc.h"
#include "platform/ui/handles.h"
#include "platform/ui/syscolor.h"

namespace ui {

namespace {
constexpr int kFieldCount = 4;
constexpr int kMaxByte = 255;
constexpr int kFieldDigits = 3;
}  // namespace

IpAddressWidget::IpAddressWidget(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  // The fields sit inside the frame that paintEvent draws.
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  layout->setContentsMargins(frame, frame, frame, frame);
  layout->setSpacing(0);
  for (int i = 0; i < kFieldCount; ++i) {
    auto* field = new QLineEdit(this);
    field->setFrame(false);
    field->setAlignment(Qt::AlignCenter);
    field->setMaxLength(kFieldDigits);
    field->setValidator(new QIntValidator(0, kMaxByte, field));
    // Tab leaves the control as a whole; the fields are reached by click or '.'.
    field->setFocusPolicy(Qt::ClickFocus);
    field->installEventFilter(this);
    m_fields[static_cast<size_t>(i)] = field;
    layout->addWidget(field, 1);
    if (i + 1 < kFieldCount) {
      auto* dot = new QLabel(QStringLiteral("."), this);
      dot->setAlignment(Qt::AlignCenter);
      layout->addWidget(dot);
    }
    QObject::connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
      if (text.size() == kFieldDigits && i + 1 < kFieldCount) {
        Field(i + 1)->setFocus();
        Field(i + 1)->selectAll();
      }
    });
  }
  // The control itself is the tab stop; focus passes on to its first field.
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
}

bool IpAddressWidget::SetText(const QString& dotted) {
  const QStringList parts = dotted.trimmed().split(u'.');
  std::array<BYTE, 4> bytes{};
  bool valid = parts.size() == kFieldCount;
  for (int i = 0; valid && i < kFieldCount; ++i) {
    const QString& part = parts[i];
    bool number = false;
    const int value = part.toInt(&number);
    valid = number && !part.isEmpty() && part.size() <= kFieldDigits && value >= 0 &&
            value <= kMaxByte;
    if (valid) bytes[static_cast<size_t>(i)] = static_cast<BYTE>(value);
  }
  if (!valid) {
    Clear();
    return false;
  }
  SetAddress(bytes);
  return true;
}

QString IpAddressWidget::Text() const {
  std::array<BYTE, 4> bytes{};
  Address(bytes);
  return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

int IpAddressWidget::Address(std::array<BYTE, 4>& bytes) const {
  int filled = 0;
  for (int i = 0; i < kFieldCount; ++i) {
    const QString text = Field(i)->text();
    bytes[static_cast<size_t>(i)] = static_cast<BYTE>(text.isEmpty() ? 0 : text.toInt());
    if (!text.isEmpty()) ++filled;
  }
  return filled;
}

void IpAddressWidget::SetAddress(const std::array<BYTE, 4>& bytes) {
  for (int i = 0; i < kFieldCount; ++i)
    Field(i)->setText(QString::number(bytes[static_cast<size_t>(i)]));
}

void IpAddressWidget::Clear() {
  for (QLineEdit* field : m_fields) field->clear();
}

void IpAddressWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionFrame option;
  option.initFrom(this);
  option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
}

void IpAddressWidget::focusInEvent(QFocusEvent* event) {
  if (event->reason() == Qt::BacktabFocusReason && m_fields[0]->hasFocus()) {
    focusPreviousChild();
    return;
  }
  m_fields[0]->setFocus(event->reason());
}

bool IpAddressWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Period) {
      for (int i = 0; i + 1 < kFieldCount; ++i) {
        if (watched == Field(i) && !Field(i)->text().isEmpty()) {
          Field(i + 1)->setFocus();
          Field(i + 1)->selectAll();
        }
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

UINT PushButton::ItemState() const {
  UINT state = 0;
  if (isDown()) state |= ODS_SELECTED;
  if (hasFocus()) state |= ODS_FOCUS;
  if (!isEnabled()) state |= ODS_DISABLED;
  if (isDefault()) state |= ODS_DEFAULT;
  return state;
}

QImage PushButton::RenderOwnerDraw(UINT itemState) {
  QImage surface(size(), QImage::Format_RGB32);
  surface.setDevicePixelRatio(1.0);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  surface.fill(QColor(GetRValue(face), GetGValue(face), GetBValue(face)));
  const HWND hwnd = HandleOf(this);
  auto* owner = dynamic_cast<CButton*>(ObjectOf(hwnd));
  if (owner != nullptr) {
    CDC dc(&surface, font());
    DRAWITEMSTRUCT item;
    item.CtlID = static_cast<UINT>(CtrlIdOf(hwnd));
    item.itemState = itemState;
    item.hwndItem = hwnd;
    item.hDC = dc.GetSafeHdc();
    item.rcItem = RECT{0, 0, width(), height()};
    owner->DrawItem(&item);
  }
  return surface;
}

void PushButton::paintEvent(QPaintEvent* event) {
  if ((StyleOf(HandleOf(this)) & BS_TYPEMASK) != BS_OWNERDRAW) {
    QPushButton::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.drawImage(0, 0, RenderOwnerDraw(ItemState()));
}

bool PushButton::hitButton(const QPoint& pos) const {
  if (!mask().isEmpty() && !mask().contains(pos)) return false;
  return QPushButton::hitButton(pos);
}

QString WidgetText(const QWidget* widget) {
  if (const auto* ip = dynamic_cast<const IpAddressWidget*>(widget)) return ip->Text();
  if (const auto* edit = dynamic_cast<const QLineEdit*>(widget)) return edit->text();
  if (const auto* button = dynamic_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* label = dynamic_cast<const QLabel*>(widget)) return label->text();
  if (const auto* combo = dynamic_cast<const QComboBox*>(widget)) return combo->currentText();
  return widget == nullptr ? QString() : widget->windowTitle();
}

void SetWidgetText(QWidget* widget, const QString& text) {
  if (auto* ip = dynamic_cast<IpAddressWidget*>(widget)) {
    ip->SetText(text);
  } else if (auto* edit = dynamic_cast<QLineEdit*>(widget)) {
    edit->setText(text);
  } else if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
    button->setText(text);
    button->update();
  } else if (auto* label = dynamic_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* combo = dynamic_cast<QComboBox*>(widget)) {
    combo->setEditText(text);
  } else if (widget != nullptr) {
    widget->setWindowTitle(text);
  }
}

}  // namespace ui

namespace ui {
Qt::WindowFlags WindowFlagsFor(DWORD style) {
  if ((style & WS_CHILD) != 0) return Qt::Widget;
  if ((style & WS_CAPTION) == WS_CAPTION) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if ((style & WS_SYSMENU) != 0) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
  }
  return Qt::Dialog | Qt::FramelessWindowHint;
}
}  // namespace ui
