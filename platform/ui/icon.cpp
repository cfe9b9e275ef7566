#include "platform/ui/icon.h"

#include <QImage>
#include <QPixmap>

#include "platform/ui/resources.h"

// An icon handle is the icon's resource id: icons live for the whole run.
HICON LoadIcon(UINT id) {
  return ui::FindIcon(id) == nullptr ? nullptr : reinterpret_cast<HICON>(static_cast<uintptr_t>(id));
}

namespace ui {
QIcon IconOf(HICON icon) {
  const auto* images = FindIcon(static_cast<UINT>(reinterpret_cast<uintptr_t>(icon)));
  QIcon result;
  if (icon == nullptr || images == nullptr) return result;
  for (const IconImage& image : *images) {
    // QImage borrows the pixels; the copy makes the pixmap own them.
    const QImage view(reinterpret_cast<const uchar*>(image.argb.data()), image.size, image.size,
                      QImage::Format_ARGB32);
    result.addPixmap(QPixmap::fromImage(view.copy()));
  }
  return result;
}
}  // namespace ui
