#include "display/VideoSurface.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

VideoSurface::VideoSurface(QWidget* window) : QWidget(window) {
  // Clicks go to the window underneath; every pixel is painted when shown.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_OpaquePaintEvent);
  window->installEventFilter(this);
  Follow(window->size());
  // Hidden until the first picture: the window's own face shows until then.
  hide();
}

void VideoSurface::Follow(const QSize& size) {
  setGeometry(0, 0, size.width(), size.height());
  m_width = size.width();
  m_height = size.height();
}

bool VideoSurface::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent() && event->type() == QEvent::Resize) {
    Follow(static_cast<QResizeEvent*>(event)->size());
  }
  return QWidget::eventFilter(watched, event);
}

player::SurfaceSize VideoSurface::Surface() { return {m_width.load(), m_height.load()}; }

void VideoSurface::OnPicture(const player::VideoPicture& picture) {
  if (m_pendingPaints.load() >= kMaxPendingPaints) {
    return;
  }
  unsigned generation = 0;
  {
    const QImage view(picture.pixels, picture.width, picture.height, picture.strideBytes,
                      QImage::Format_RGB32);
    std::lock_guard<std::mutex> lock(m_mutex);
    generation = m_generation;
    if (m_latest.size() != view.size()) {
      m_latest = QImage(view.size(), QImage::Format_RGB32);
    }
    for (int y = 0; y < view.height(); ++y) {
      std::copy_n(view.constScanLine(y), static_cast<size_t>(view.width()) * 4, m_latest.scanLine(y));
    }
  }
  ++m_pendingPaints;
  // Queued to the GUI thread; dropped by Qt if this widget is gone by then.
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        --m_pendingPaints;
        {
          std::lock_guard<std::mutex> lock(m_mutex);
          if (generation != m_generation) {
            return;  // dropped since: this picture must not show again
          }
        }
        if (isHidden()) {
          show();
        }
        update();
      },
      Qt::QueuedConnection);
}

void VideoSurface::DropPicture() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latest = QImage();
    ++m_generation;
  }
  hide();
}

void VideoSurface::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_latest.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // The player scales to the surface; a picture made for an older size is
  // stretched until the next one arrives.
  painter.drawImage(rect(), m_latest);
}
