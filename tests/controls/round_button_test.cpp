#include <gtest/gtest.h>

#include <QFont>
#include <QTest>

#include "controls/RoundButton.h"
#include "platform/ui/syscolor.h"
#include "tests/controls/button_fixture.h"

namespace {

constexpr COLORREF kUnset = RGB(255, 0, 255);  // no routine under test draws magenta

QImage Surface(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 255));
  return image;
}

std::set<std::pair<int, int>> Drawn(const QImage& image) {
  std::set<std::pair<int, int>> drawn;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Pixel(image, x, y) != kUnset) drawn.insert({x, y});
  return drawn;
}

TEST(RoundButtonDrawing, ShadedCircleOfRadiusTenHasTheListedColours) {
  QImage image = Surface(41);
  CDC dc(&image, QFont());
  CRoundButton::PlotShadedCircle(&dc, CPoint(20, 20), 10, RGB(255, 255, 255), RGB(0, 0, 0));
  EXPECT_EQ(Drawn(image).size(), 56u);
  EXPECT_EQ(Pixel(image, 30, 20), 0x00252525u);
  EXPECT_EQ(Pixel(image, 20, 30), 0x00242424u);
  EXPECT_EQ(Pixel(image, 20, 10), 0x00D9D9D9u);
  EXPECT_EQ(Pixel(image, 13, 13), 0x00FEFEFEu);  // truncation keeps it below white
  EXPECT_EQ(Pixel(image, 27, 27), 0x00000000u);
  EXPECT_EQ(Pixel(image, 13, 27), 0x007E7E7Eu);
  EXPECT_EQ(Pixel(image, 27, 13), 0x007F7F7Fu);
  // (10, 20) is set twice in the first step; the later angle, -pi, wins.
  EXPECT_EQ(Pixel(image, 10, 20), 0x00D9D9D9u);
  EXPECT_NE(CRoundButton::BlendForAngle(3.141592654, 0xFFFFFF, 0),
            CRoundButton::BlendForAngle(-3.141592654, 0xFFFFFF, 0));
}

TEST(RoundButtonDrawing, BlendMixesEachChannelByTheLightWeight) {
  // Facing the light the bright colour wins, facing away the dark one.
  EXPECT_EQ(CRoundButton::BlendForAngle(-2.356, RGB(200, 100, 50), RGB(10, 20, 30)),
            RGB(200, 100, 50));
  EXPECT_EQ(CRoundButton::BlendForAngle(-2.356 + 3.1415926, RGB(200, 100, 50), RGB(10, 20, 30)),
            RGB(10, 20, 30));
}

TEST(RoundButtonDrawing, CircleOfRadiusThreeHasSixteenPixels) {
  QImage image = Surface(9);
  CDC dc(&image, QFont());
  CRoundButton::PlotCircle(&dc, CPoint(4, 4), 3, RGB(0, 0, 0), FALSE);
  std::set<std::pair<int, int>> expected;
  for (const auto& [x, y] : std::initializer_list<std::pair<int, int>>{
           {3, -1}, {3, 0}, {3, 1}, {-3, -1}, {-3, 0}, {-3, 1}, {2, 2}, {2, -2},
           {-2, 2}, {-2, -2}, {-1, 3}, {0, 3}, {1, 3}, {-1, -3}, {0, -3}, {1, -3}})
    expected.insert({x + 4, y + 4});
  EXPECT_EQ(Drawn(image), expected);
}

TEST(RoundButtonDrawing, DottedCircleDrawsEveryOtherStep) {
  QImage solid = Surface(25);
  QImage dotted = Surface(25);
  CDC solidDc(&solid, QFont());
  CDC dottedDc(&dotted, QFont());
  CRoundButton::PlotCircle(&solidDc, CPoint(12, 12), 10, RGB(0, 0, 0), FALSE);
  CRoundButton::PlotCircle(&dottedDc, CPoint(12, 12), 10, RGB(0, 0, 0), TRUE);
  EXPECT_EQ(Drawn(solid).size(), 56u);
  EXPECT_EQ(Drawn(dotted).size(), 28u);
  EXPECT_EQ(Pixel(dotted, 22, 12), 0u);       // the first step is drawn
  EXPECT_EQ(Pixel(dotted, 22, 13), kUnset);  // the second is not
}

class RoundButtonTest : public ::testing::Test {
 protected:
  ButtonDialog dialog;
  CRoundButton button;
};

TEST_F(RoundButtonTest, BecomesASquareAtTheSameCornerWithItsCircle) {
  dialog.Bind(button, kFirstButton, 12, 9, 75, 34);
  const QWidget* widget = ui::WidgetOf(button.m_hWnd);
  EXPECT_EQ(widget->geometry(), QRect(12, 9, 34, 34));
  EXPECT_EQ(button.m_ptCenter.x, 17);
  EXPECT_EQ(button.m_ptCenter.y, 17);
  EXPECT_EQ(button.m_nRingRadius, 16);
  EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, BS_OWNERDRAW);

  CRoundButton tall;
  dialog.Bind(tall, kSecondButton, 5, 60, 30, 50);
  EXPECT_EQ(ui::WidgetOf(tall.m_hWnd)->size(), QSize(30, 30));
  EXPECT_EQ(tall.m_ptCenter.x, 15);
  EXPECT_EQ(tall.m_ptCenter.y, 15);
  EXPECT_EQ(tall.m_nRingRadius, 14);
}

TEST_F(RoundButtonTest, RegionIsTheSymmetricPixelCircleOfTheSquare) {
  dialog.Bind(button, kFirstButton, 0, 0, 75, 34);
  const QRegion region = ui::WidgetOf(button.m_hWnd)->mask();
  // Row 0 holds the eight pixels 13..20; corners are outside.
  for (int x = 0; x < 34; ++x) EXPECT_EQ(region.contains(QPoint(x, 0)), x >= 13 && x <= 20) << x;
  EXPECT_TRUE(region.contains(QPoint(0, 17)));
  EXPECT_TRUE(region.contains(QPoint(17, 17)));
  EXPECT_FALSE(region.contains(QPoint(3, 3)));
  // Symmetric under both mirrors and the diagonal.
  for (int y = 0; y < 34; ++y) {
    for (int x = 0; x < 34; ++x) {
      const bool in = region.contains(QPoint(x, y));
      ASSERT_EQ(in, region.contains(QPoint(33 - x, y))) << x << "," << y;
      ASSERT_EQ(in, region.contains(QPoint(x, 33 - y))) << x << "," << y;
      ASSERT_EQ(in, region.contains(QPoint(y, x))) << x << "," << y;
    }
  }
  // The window owns the region now; the member holds no handle to free twice.
  EXPECT_EQ(button.m_rgnWindow.m_hObject, nullptr);
}

TEST_F(RoundButtonTest, ClicksOutsideTheCircleDoNotReachIt) {
  dialog.Bind(button, kFirstButton, 0, 0, 40, 40);
  QWidget* widget = ui::WidgetOf(button.m_hWnd);
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(dialog.clicks, 0);
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(dialog.clicks, 1);
}

TEST_F(RoundButtonTest, PressedReversesTheShadingAndMovesTheCaption) {
  dialog.Bind(button, kFirstButton, 0, 0, 40, 40);
  const QImage released = Draw(button, 0);
  const QImage pressed = Draw(button, ODS_SELECTED);
  const auto brightness = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); };
  // Outer ring (radius 19): the left and top face the light, right and bottom do not.
  EXPECT_GT(brightness(Pixel(released, 1, 20)), brightness(Pixel(released, 39, 20)));
  EXPECT_GT(brightness(Pixel(released, 20, 1)), brightness(Pixel(released, 20, 39)));
  EXPECT_LT(brightness(Pixel(pressed, 1, 20)), brightness(Pixel(pressed, 39, 20)));
  EXPECT_LT(brightness(Pixel(pressed, 20, 1)), brightness(Pixel(pressed, 20, 39)));

  // The caption (black, the device context's text colour) moves by (1, 1).
  const auto text = [](const QImage& image) {
    QRect box;
    for (const auto& [x, y] : PixelsOf(image, RGB(0, 0, 0))) box |= QRect(x, y, 1, 1);
    return box;
  };
  ASSERT_FALSE(text(released).isEmpty());
  EXPECT_EQ(text(pressed), text(released).translated(1, 1));
}

TEST_F(RoundButtonTest, CaptionIsClippedToTheInnerCircle) {
  dialog.Bind(button, kFirstButton, 0, 0, 40, 40);
  button.SetWindowText("一二三四五六七八九十");
  const QImage image = Draw(button, 0);
  // Radius 19: the rim takes 19 and 18, the caption stays within radius 17.
  for (const auto& [x, y] : PixelsOf(image, RGB(0, 0, 0)))
    EXPECT_TRUE(ui::EllipsePixels(20 - 17, 20 - 17, 20 + 17, 20 + 17).contains(QPoint(x, y)));
  EXPECT_FALSE(PixelsOf(image, RGB(0, 0, 0)).empty());
}

TEST_F(RoundButtonTest, FlatStyleDrawsABlackAndAHighlightRingInEitherState) {
  dialog.Bind(button, kFirstButton, 0, 0, 40, 40);
  button.ModifyStyle(0, BS_FLAT);
  QImage outer = Surface(40);
  QImage inner = Surface(40);
  CDC outerDc(&outer, QFont());
  CDC innerDc(&inner, QFont());
  CRoundButton::PlotCircle(&outerDc, CPoint(20, 20), 19, 0, FALSE);
  CRoundButton::PlotCircle(&innerDc, CPoint(20, 20), 18, 0, FALSE);
  for (const UINT state : {0u, ODS_SELECTED}) {
    const QImage image = Draw(button, state);
    for (const auto& [x, y] : Drawn(outer)) EXPECT_EQ(Pixel(image, x, y), 0u);
    for (const auto& [x, y] : Drawn(inner))
      EXPECT_EQ(Pixel(image, x, y), GetSysColor(COLOR_BTNHIGHLIGHT));
  }
}

TEST_F(RoundButtonTest, FocusAddsABlackRingAndADottedCircle) {
  dialog.Bind(button, kFirstButton, 0, 0, 40, 40);
  button.SetWindowText("");
  const QImage image = Draw(button, ODS_FOCUS);
  EXPECT_EQ(Pixel(image, 39, 20), 0u);  // ring at radius 19
  EXPECT_EQ(Pixel(image, 34, 20), 0u);  // dotted circle at 19 - 5, first step drawn
  EXPECT_EQ(Pixel(image, 34, 21), GetSysColor(COLOR_BTNFACE));  // second step skipped
}

TEST_F(RoundButtonTest, DisabledCaptionIsEmbossed) {
  dialog.Bind(button, kFirstButton, 0, 0, 40, 40);
  const QImage image = Draw(button, ODS_DISABLED);
  int highlight = 0;
  int shadow = 0;
  for (int y = 8; y < 32; ++y) {
    for (int x = 8; x < 32; ++x) {
      highlight += Pixel(image, x, y) == GetSysColor(COLOR_BTNHIGHLIGHT) ? 1 : 0;
      shadow += Pixel(image, x, y) == GetSysColor(COLOR_BTNSHADOW) ? 1 : 0;
    }
  }
  EXPECT_GT(highlight, 0);
  EXPECT_GT(shadow, 0);
  EXPECT_TRUE(PixelsOf(image, RGB(0, 0, 0)).empty());
}

}  // namespace
