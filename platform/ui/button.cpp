#include "platform/ui/button.h"

#include <QComboBox>

#include "platform/ui/handles.h"
#include "platform/ui/widgets.h"

namespace {
QComboBox* Combo(HWND hwnd) { return dynamic_cast<QComboBox*>(ui::WidgetOf(hwnd)); }
ui::IpAddressWidget* Ip(HWND hwnd) { return dynamic_cast<ui::IpAddressWidget*>(ui::WidgetOf(hwnd)); }
}  // namespace

int CComboBox::InsertString(int index, const char* text) {
  QComboBox* combo = Combo(m_hWnd);
  if (combo == nullptr || index > combo->count()) return CB_ERR;
  const int at = index < 0 ? combo->count() : index;
  combo->insertItem(at, QString::fromUtf8(text));
  return at;
}

int CComboBox::SetCurSel(int index) {
  QComboBox* combo = Combo(m_hWnd);
  if (combo == nullptr) return CB_ERR;
  if (index < 0 || index >= combo->count()) {
    combo->setCurrentIndex(-1);
    return CB_ERR;
  }
  combo->setCurrentIndex(index);
  return index;
}

int CComboBox::GetCurSel() const {
  QComboBox* combo = Combo(m_hWnd);
  return combo == nullptr ? CB_ERR : combo->currentIndex();
}

int CComboBox::GetCount() const {
  QComboBox* combo = Combo(m_hWnd);
  return combo == nullptr ? CB_ERR : combo->count();
}

void CComboBox::GetLBText(int index, CString& text) const {
  QComboBox* combo = Combo(m_hWnd);
  text = combo == nullptr ? CString() : CString(combo->itemText(index).toStdString());
}

int CIPAddressCtrl::GetAddress(BYTE& b0, BYTE& b1, BYTE& b2, BYTE& b3) const {
  ui::IpAddressWidget* ip = Ip(m_hWnd);
  std::array<BYTE, 4> bytes{};
  const int filled = ip == nullptr ? 0 : ip->Address(bytes);
  b0 = bytes[0];
  b1 = bytes[1];
  b2 = bytes[2];
  b3 = bytes[3];
  return filled;
}

void CIPAddressCtrl::SetAddress(BYTE b0, BYTE b1, BYTE b2, BYTE b3) {
  if (ui::IpAddressWidget* ip = Ip(m_hWnd)) ip->SetAddress({b0, b1, b2, b3});
}

void CIPAddressCtrl::ClearAddress() {
  if (ui::IpAddressWidget* ip = Ip(m_hWnd)) ip->Clear();
}
