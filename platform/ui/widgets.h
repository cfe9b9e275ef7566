// The widgets behind the controls of a dialog template.
#pragma once

#include <array>

#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "platform/ui/wintypes.h"

namespace ui {

// Four number fields of 0..255 with dots between; one tab stop.
class IpAddressWidget : public QWidget {
 public:
  explicit IpAddressWidget(QWidget* parent);

  // Dotted text: four numbers 0..255. Anything else leaves every field blank
  // and returns false.
  bool SetText(const QString& dotted);
  QString Text() const;  // blank fields read as 0
  // The four bytes (blank fields give 0); returns the number of filled fields.
  int Address(std::array<BYTE, 4>& bytes) const;
  void SetAddress(const std::array<BYTE, 4>& bytes);
  void Clear();
  QLineEdit* Field(int index) const { return m_fields[static_cast<size_t>(index)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  // The edit boxes' own frame around the fields.
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<QLineEdit*, 4> m_fields{};
};

// A push button that, with the owner-draw style, has its program object draw
// it on a pixel surface (DrawItem) and accepts clicks only inside its region.
class PushButton : public QPushButton {
 public:
  explicit PushButton(QWidget* parent) : QPushButton(parent) {}

  // What DrawItem gets for the button's present state.
  UINT ItemState() const;
  // The button drawn by its object into a fresh surface of its size.
  QImage RenderOwnerDraw(UINT itemState);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;
};

QString WidgetText(const QWidget* widget);
void SetWidgetText(QWidget* widget, const QString& text);

}  // namespace ui

namespace ui {
// The Qt window kind for a window style: child, captioned dialog or bare pop-up.
Qt::WindowFlags WindowFlagsFor(DWORD style);
}  // namespace ui
