#include "display/VideoSurface.h"

#include <algorithm>

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

#include "display/QrCode.h"
#include "platform/ui/handles.h"

VideoSurface::VideoSurface(QWidget* window) : QWidget(window) {
  // Clicks go to the window underneath; every pixel is painted when shown.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_OpaquePaintEvent);
  window->installEventFilter(this);
  Follow(window->size());
  // Hidden until the first picture: the window's own face shows until then.
  hide();
  m_addressTimer.setSingleShot(true);
  connect(&m_addressTimer, &QTimer::timeout, this, [this] {
    m_strAddress.clear();
    m_qrCode = QImage();
    update();
  });
  m_remoteTimer.setSingleShot(true);
  connect(&m_remoteTimer, &QTimer::timeout, this, [this] {
    m_strRemote.clear();
    update();
  });
  m_hReplay = ui::RegisterWindow(this, 0, 0, 0);
  player::RegisterVideoSink(m_hReplay, &m_replaySink);
}

VideoSurface::~VideoSurface() { player::UnregisterVideoSink(m_hReplay); }

void VideoSurface::ShowLive() {
  m_source = Source::kLive;
  m_llStepWanted = -1;
  m_strMarker.clear();
  update();
}

void VideoSurface::ShowReplay(const QString& marker) {
  m_source = Source::kReplay;
  m_strMarker = marker;
  update();
}

void VideoSurface::ShowAddress(const QString& address, int forMs) {
  m_strAddress = address.isEmpty() ? QString::fromUtf8("网页画面未开启（webListen=0，或端口无法打开）")
                                   : address;
  m_qrCode = address.isEmpty() ? QImage() : QrCodeImage(address);
  m_addressTimer.start(forMs);
  update();
}

void VideoSurface::ShowRemote(const QString& marker, int forMs) {
  m_strRemote = marker;
  m_remoteTimer.start(forMs);
  update();
}

void VideoSurface::Freeze() {
  m_source = Source::kFrozen;
  m_llStepWanted = -1;
  m_strMarker.clear();
  update();
}

int64_t VideoSurface::ShownPts() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_latest ? m_latest->Pts() : -1;
}

void VideoSurface::ExpectStep(int64_t pts) { m_llStepWanted = pts; }

void VideoSurface::TakeReplayPicture(const player::PictureRef& picture) {
  const Source source = m_source;
  if (source == Source::kReplay) {
    Take(picture);
  } else if (source == Source::kFrozen && picture->Pts() >= 0 && picture->Pts() == m_llStepWanted) {
    Take(picture);
  }
}

void VideoSurface::Follow(const QSize& size) { setGeometry(0, 0, size.width(), size.height()); }

bool VideoSurface::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent() && event->type() == QEvent::Resize) {
    Follow(static_cast<QResizeEvent*>(event)->size());
  }
  return QWidget::eventFilter(watched, event);
}

void VideoSurface::OnDecodedPicture(const player::PictureRef& picture) {
  if (m_source == Source::kLive) {
    Take(picture);  // the live port goes on underneath a replay or a freeze
  }
}

void VideoSurface::Take(const player::PictureRef& picture) {
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
  int below = picture.top();
  if (!m_strMarker.isEmpty()) {
    below = DrawMarker(painter, picture, m_strMarker, below);
  }
  if (!m_strRemote.isEmpty()) {
    DrawMarker(painter, picture, m_strRemote, below);
  }
  if (!m_strAddress.isEmpty()) {
    DrawAddress(painter, picture);
  }
}

void VideoSurface::DrawAddress(QPainter& painter, const QRect& picture) {
  // A white card in the picture's bottom right corner: the code a third of
  // the picture's height (whole pixels a module, so it stays sharp), the
  // address under it for a laptop's keyboard.
  QFont font = painter.font();
  font.setPixelSize(std::max(12, picture.height() / 45));
  painter.setFont(font);
  const int pad = font.pixelSize();
  const int scale = m_qrCode.isNull() ? 0 : std::max(2, picture.height() / 3 / m_qrCode.width());
  const QSize code = m_qrCode.size() * scale;
  const QRect text = painter.fontMetrics().boundingRect(m_strAddress);
  const int width = std::max(code.width(), text.width()) + 2 * pad;
  const int height = code.height() + text.height() + 2 * pad;
  const QRect card(picture.right() - width - pad, picture.bottom() - height - pad, width, height);
  painter.fillRect(card, Qt::white);
  if (!m_qrCode.isNull()) {
    painter.drawImage(QRect(QPoint(card.center().x() - code.width() / 2, card.top() + pad / 2), code),
                      m_qrCode);
  }
  painter.setPen(Qt::black);
  painter.drawText(QRect(card.left(), card.bottom() - text.height() - pad / 2, card.width(),
                         text.height()),
                   Qt::AlignCenter, m_strAddress);
}

int VideoSurface::DrawMarker(QPainter& painter, const QRect& picture, const QString& marker,
                             int top) {
  // Small, in the picture's top left corner: a dark box so it reads on snow or water.
  QFont font = painter.font();
  font.setPixelSize(std::max(14, picture.height() / 30));
  painter.setFont(font);
  const QRect text = painter.fontMetrics().boundingRect(marker);
  const int pad = font.pixelSize() / 3;
  const QRect box(picture.left() + pad, top + pad, text.width() + 2 * pad, text.height() + pad);
  painter.fillRect(box, QColor(0, 0, 0, 160));
  painter.setPen(Qt::white);
  painter.drawText(box, Qt::AlignCenter, marker);
  return box.bottom() + 1;
}
