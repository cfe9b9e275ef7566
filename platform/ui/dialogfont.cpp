#include "platform/ui/dialogfont.h"

#include <cstdlib>

#include <QFontInfo>
#include <QFontMetrics>

namespace {
// Points are 1/72 inch; layouts assume the classic 96 pixels per inch.
constexpr int kPixelsPerInch = 96;
constexpr int kPointsPerInch = 72;
// Average character width is measured over the 52 Latin letters.
constexpr const char* kAverageSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kSampleHalfLength = 26;
}  // namespace

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long product = static_cast<long long>(a) * b;
  const long long half = std::llabs(static_cast<long long>(c)) / 2;
  const bool negative = (product < 0) != (c < 0);
  const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(c));
  return static_cast<int>(negative ? -magnitude : magnitude);
}

namespace ui {

QFont DialogFont(int points) {
  QFont font(QString::fromLatin1(kDialogFontFamily));
  font.setPixelSize(MulDiv(points, kPixelsPerInch, kPointsPerInch));
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int sampleWidth = metrics.horizontalAdvance(QString::fromLatin1(kAverageSample));
  // Average width rounded to whole pixels: (width / 26 + 1) / 2.
  return {(sampleWidth / kSampleHalfLength + 1) / 2, metrics.height()};
}

CRect DialogUnitsToPixels(int x, int y, int cx, int cy, BaseUnits base) {
  const int left = MulDiv(x, base.cx, 4);
  const int top = MulDiv(y, base.cy, 8);
  return CRect(left, top, left + MulDiv(cx, base.cx, 4), top + MulDiv(cy, base.cy, 8));
}

FontCheck CheckDialogFont() {
  const QFontInfo info(DialogFont(9));
  const std::string family = info.family().toStdString();
  return {info.family().compare(QString::fromLatin1(kDialogFontFamily), Qt::CaseInsensitive) == 0,
          family};
}

}  // namespace ui
