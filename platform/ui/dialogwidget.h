// The window of a CDialog: built from its template, it turns keys, button
// clicks and the close box into the dialog's commands.
#pragma once

#include <QDialog>

#include "platform/ui/resources.h"

class CDialog;

namespace ui {

class PushButton;

class DialogWidget : public QDialog {
 public:
  // Builds the window and every control of `tmpl`, registering their handles.
  DialogWidget(const DialogTemplate& tmpl, CDialog* owner, QWidget* parent);
  ~DialogWidget() override;  // runs the owner's OnDestroy and PostNcDestroy

  const DialogTemplate& Template() const { return m_template; }
  // Drops the owner: the window then goes without calling it.
  void Release() { m_owner = nullptr; }
  void Command(int id);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildControl(const DialogItem& item, const struct BaseUnits& base);
  PushButton* DefaultButton() const;

  const DialogTemplate& m_template;
  CDialog* m_owner;
};

}  // namespace ui
