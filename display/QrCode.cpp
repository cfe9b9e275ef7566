#include "display/QrCode.h"

#include <qrencode.h>

namespace {

// The margin a reader needs around the code (ISO/IEC 18004): four modules.
constexpr int kQuietModules = 4;

}  // namespace

QImage QrCodeImage(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  // Level M: a code a phone reads across a pool, off a screen with glare.
  QRcode* code = QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
  if (code == nullptr) {
    return {};
  }
  const int side = code->width + 2 * kQuietModules;
  QImage image(side, side, QImage::Format_Mono);
  image.fill(1);  // the colour table's second entry: white
  image.setColor(0, qRgb(0, 0, 0));
  image.setColor(1, qRgb(255, 255, 255));
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      if ((code->data[y * code->width + x] & 1) != 0) {  // a dark module
        image.setPixel(x + kQuietModules, y + kQuietModules, 0);
      }
    }
  }
  QRcode_free(code);
  return image;
}
