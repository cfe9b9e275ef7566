#include <gtest/gtest.h>

#include <string>

#include "controls/ClrButton.h"
#include "platform/ui/syscolor.h"
#include "tests/controls/button_fixture.h"

namespace {

constexpr COLORREF kFace = RGB(0, 128, 255);
constexpr COLORREF kText = RGB(1, 1, 1);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class ClrButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog.Bind(button, kFirstButton, 10, 10, 75, 25);
    button.m_crFace = kFace;
    button.m_crText = kText;
  }

  // Bounding box of the pixels of `colour` within `area`.
  QRect TextBox(const QImage& image, COLORREF colour, QRect area = QRect(0, 0, 75, 25)) const {
    QRect box;
    for (const auto& [x, y] : PixelsOf(image, colour))
      if (area.contains(x, y)) box |= QRect(x, y, 1, 1);
    return box;
  }

  ButtonDialog dialog;
  CClrButton button;
};

TEST_F(ClrButtonTest, RaisedEdgesKeepTheLaterEdgeOnSharedCorners) {
  const QImage image = Draw(button, 0);
  EXPECT_EQ(Pixel(image, 0, 0), button.m_crHilite);
  EXPECT_EQ(Pixel(image, 74, 0), button.m_crDkShadow);  // right edge drawn after the top
  EXPECT_EQ(Pixel(image, 0, 24), button.m_crDkShadow);  // bottom edge drawn after the left
  EXPECT_EQ(Pixel(image, 74, 24), button.m_crDkShadow);
  EXPECT_EQ(Pixel(image, 1, 1), button.m_cr3DLight);
  EXPECT_EQ(Pixel(image, 73, 1), button.m_crShadow);
  EXPECT_EQ(Pixel(image, 1, 23), button.m_crShadow);
  EXPECT_EQ(Pixel(image, 2, 2), kFace);
  EXPECT_EQ(Pixel(image, 4, 4), kFace);  // no focus rectangle
}

TEST_F(ClrButtonTest, FocusAddsABlackRingAndTheDottedFocusRectangle) {
  const QImage image = Draw(button, ODS_FOCUS);
  for (const auto& [x, y] : {std::pair{0, 0}, {74, 0}, {0, 24}, {74, 24}, {37, 0}, {0, 12}})
    EXPECT_EQ(Pixel(image, x, y), kBlack) << x << "," << y;
  EXPECT_EQ(Pixel(image, 1, 1), button.m_crHilite);
  EXPECT_EQ(Pixel(image, 73, 1), button.m_crDkShadow);
  EXPECT_EQ(Pixel(image, 2, 2), button.m_cr3DLight);
  EXPECT_EQ(Pixel(image, 72, 22), button.m_crShadow);
  // Focus rectangle (4, 4)-(71, 21): every other outline pixel inverted.
  const COLORREF inverted = kFace ^ 0x00FFFFFFu;
  EXPECT_EQ(Pixel(image, 4, 4), inverted);
  EXPECT_EQ(Pixel(image, 5, 4), kFace);
  EXPECT_EQ(Pixel(image, 70, 20), inverted);
  EXPECT_EQ(Pixel(image, 4, 20), inverted);
  EXPECT_EQ(Pixel(image, 3, 4), kFace);   // outside the rectangle
  EXPECT_EQ(Pixel(image, 71, 20), kFace);  // right edge is exclusive
}

TEST_F(ClrButtonTest, DefaultWithoutFocusHasTheRingButNoFocusRectangle) {
  const QImage image = Draw(button, ODS_DEFAULT);
  EXPECT_EQ(Pixel(image, 0, 0), kBlack);
  EXPECT_EQ(Pixel(image, 74, 24), kBlack);
  EXPECT_EQ(Pixel(image, 4, 4), kFace);
}

TEST_F(ClrButtonTest, PressedDrawsTwoSunkenRingsAndMovesTheCaption) {
  const QImage released = Draw(button, ODS_FOCUS);
  const QImage pressed = Draw(button, ODS_SELECTED | ODS_FOCUS);
  for (const auto& [x, y] : {std::pair{0, 0}, {74, 0}, {0, 24}, {74, 24}})
    EXPECT_EQ(Pixel(pressed, x, y), button.m_crDkShadow);
  EXPECT_EQ(Pixel(pressed, 1, 1), button.m_crShadow);
  EXPECT_EQ(Pixel(pressed, 73, 23), button.m_crShadow);
  const QRect before = TextBox(released, kText);
  ASSERT_FALSE(before.isEmpty());
  EXPECT_EQ(TextBox(pressed, kText), before.translated(1, 1));
}

TEST_F(ClrButtonTest, DisabledCaptionIsGreyOverAWhiteCopy) {
  button.m_crFaceDisabled = GetSysColor(COLOR_BTNFACE);
  const QImage image = Draw(button, ODS_DISABLED);
  EXPECT_EQ(Pixel(image, 37, 3), button.m_crFaceDisabled);
  EXPECT_TRUE(PixelsOf(image, kText).empty());
  // Inside the edges, which use the same grey and white.
  const QRect inside(2, 2, 71, 21);
  const QRect grey = TextBox(image, RGB(128, 128, 128), inside);
  const QRect white = TextBox(image, RGB(255, 255, 255), inside);
  ASSERT_FALSE(grey.isEmpty());
  EXPECT_EQ(white.bottomRight(), grey.bottomRight() + QPoint(1, 1));
}

TEST_F(ClrButtonTest, LongCaptionIsDrawnAsItsFirst511Characters) {
  std::string digits;
  for (int i = 0; i < 600; ++i) digits += static_cast<char>('0' + (i * 7) % 10);
  const auto drawnWith = [&](size_t length) {
    button.SetWindowText(digits.substr(0, length).c_str());
    return Draw(button, 0);
  };
  const QImage full = drawnWith(600);
  EXPECT_EQ(full, drawnWith(511));
  EXPECT_NE(full, drawnWith(510));  // one character fewer moves the centred text
}

TEST_F(ClrButtonTest, CaptionLimitCountsCharactersNotBytes) {
  std::string han;
  for (int i = 0; i < 600; ++i) han += "教";  // three bytes each
  button.SetWindowText(han.c_str());
  const QImage full = Draw(button, 0);
  button.SetWindowText(han.substr(0, 511 * 3).c_str());
  EXPECT_EQ(full, Draw(button, 0));
}

}  // namespace
