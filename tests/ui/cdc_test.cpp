#include <gtest/gtest.h>

#include "platform/ui/cdc.h"
#include "platform/ui/dialogfont.h"

namespace {

COLORREF At(const QImage& image, int x, int y) {
  const QRgb c = image.pixel(x, y);
  return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)), static_cast<BYTE>(qBlue(c)));
}

class CdcTest : public ::testing::Test {
 protected:
  CdcTest() : image(20, 20, QImage::Format_RGB32), dc(&image, ui::DialogFont(9)) {
    image.fill(Qt::white);
  }
  QImage image;
  CDC dc;
};

TEST_F(CdcTest, LinesExcludeTheirEndPoint) {
  CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
  CPen* previous = dc.SelectObject(&pen);
  dc.MoveTo(2, 5);
  dc.LineTo(6, 5);
  dc.LineTo(6, 9);
  dc.SelectObject(previous);
  for (int x = 2; x < 6; ++x) EXPECT_EQ(At(image, x, 5), RGB(255, 0, 0)) << x;
  for (int y = 6; y < 9; ++y) EXPECT_EQ(At(image, 6, y), RGB(255, 0, 0)) << y;
  EXPECT_EQ(At(image, 6, 9), RGB(255, 255, 255));
  EXPECT_FALSE(pen.CreatePen(PS_SOLID, 2, 0));  // only one-pixel pens
}

TEST_F(CdcTest, ClippingToAnEllipseStopsPixelsOutsideAndRestoreDcLiftsIt) {
  const int saved = dc.SaveDC();
  CRgn clip;
  clip.CreateEllipticRgn(0, 0, 10, 10);
  dc.SelectClipRgn(&clip);
  dc.SetTextColor(RGB(1, 2, 3));
  EXPECT_FALSE(dc.SetPixelV(0, 0, RGB(0, 0, 0)));
  EXPECT_TRUE(dc.SetPixelV(5, 5, RGB(0, 0, 0)));
  dc.FillSolidRect(0, 0, 20, 20, RGB(0, 0, 255));
  EXPECT_EQ(At(image, 15, 15), RGB(255, 255, 255));
  EXPECT_TRUE(dc.RestoreDC(saved));
  EXPECT_EQ(dc.GetTextColor(), 0u);
  EXPECT_TRUE(dc.SetPixelV(0, 0, RGB(0, 0, 0)));
  EXPECT_FALSE(dc.RestoreDC(saved));  // that level is gone
}

TEST_F(CdcTest, TransparentTextLeavesTheBackgroundAndOpaqueFillsIt) {
  const CSize extent = dc.GetTextExtent("W", 1);
  EXPECT_GT(extent.cx, 0);
  EXPECT_GT(extent.cy, 0);
  dc.SetBkColor(RGB(0, 255, 0));
  dc.TextOut(0, 0, "W", 1);  // opaque by default
  EXPECT_EQ(At(image, 0, 0), RGB(0, 255, 0));
  image.fill(Qt::white);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut(0, 0, "W", 1);
  EXPECT_EQ(At(image, 0, 0), RGB(255, 255, 255));
}

TEST_F(CdcTest, DisabledTextDrawsItsWhiteCopyWholeOnePixelDownRight) {
  image.fill(Qt::black);
  const CSize extent = dc.GetTextExtent("W", 1);
  // The box ends inside the glyph: the white copy's own last column lies one
  // pixel beyond it, where the grey copy is cut off.
  const int boxWidth = extent.cx / 2;
  dc.DrawState(CPoint(2, 2), CSize(boxWidth, extent.cy), "W", DST_PREFIXTEXT | DSS_DISABLED);
  int white = 0;
  for (int y = 0; y < image.height(); ++y) {
    white += At(image, 2 + boxWidth, y) == RGB(255, 255, 255) ? 1 : 0;
    EXPECT_EQ(At(image, 3 + boxWidth, y), RGB(0, 0, 0)) << y;
  }
  EXPECT_GT(white, 0);
}

TEST(EllipsePixels, OddAndEvenCirclesAreSymmetric) {
  for (const int d : {7, 8, 33, 34}) {
    const QRegion region = ui::EllipsePixels(0, 0, d, d);
    for (int y = 0; y < d; ++y)
      for (int x = 0; x < d; ++x)
        ASSERT_EQ(region.contains(QPoint(x, y)), region.contains(QPoint(d - 1 - x, d - 1 - y)));
    EXPECT_TRUE(region.contains(QPoint(d / 2, 0)));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
  }
  EXPECT_TRUE(ui::EllipsePixels(0, 0, 0, 5).isEmpty());
}

}  // namespace
