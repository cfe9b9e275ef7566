#include "display/VideoSurface.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QRegion>
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

void VideoSurface::Follow(const QSize& size) { setGeometry(0, 0, size.width(), size.height()); }

bool VideoSurface::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent() && event->type() == QEvent::Resize) {
    Follow(static_cast<QResizeEvent*>(event)->size());
  }
  return QWidget::eventFilter(watched, event);
}

void VideoSurface::OnDecodedPicture(const player::PictureRef& picture) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latest = picture;
  }
  // One paint request at a time: a paint takes whatever is newest by then,
  // so pictures that came in between are passed over, never queued stale.
  if (m_paintQueued.exchange(true)) {
    return;
  }
  // Queued to the GUI thread; dropped by Qt if this widget is gone by then.
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_paintQueued = false;
        {
          std::lock_guard<std::mutex> lock(m_mutex);
          if (!m_latest) {
            return;  // dropped since: the window's own face stays
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
    m_latest = nullptr;
  }
  m_shown = nullptr;
  m_converted = QImage();
  hide();
}

void VideoSurface::paintEvent(QPaintEvent*) {
  player::PictureRef latest;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    latest = m_latest;
  }
  QPainter painter(this);
  const player::PlaceRect place =
      latest ? player::FitPicture(latest->DisplayAspect(), width(), height()) : player::PlaceRect{};
  const QRect picture(place.x, place.y, place.width, place.height);
  if (picture.isEmpty()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  if (latest != m_shown || m_converted.size() != picture.size()) {
    if (m_converted.size() != picture.size()) {
      m_converted = QImage(picture.size(), QImage::Format_RGB32);
    }
    m_shown = latest;
    if (!m_converter.Convert(latest->Frame(), m_converted.bits(),
                             static_cast<int>(m_converted.bytesPerLine()), picture.width(),
                             picture.height())) {
      m_converted.fill(Qt::black);
    }
  }
  for (const QRect& bar : QRegion(rect()).subtracted(picture)) {
    painter.fillRect(bar, Qt::black);
  }
  painter.drawImage(picture.topLeft(), m_converted);
}
