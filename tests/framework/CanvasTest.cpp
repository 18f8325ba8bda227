// The canvas drawn into a QImage, checked pixel by pixel.
#include "framework/Canvas.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <functional>

using framework::TBrushStyle;
using framework::TCanvas;
using framework::TColor;
using framework::TPenStyle;
using framework::TRect;
using framework::TTextAlign;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;

// A white image drawn on through a canvas.
QImage Draw(int width, int height, const std::function<void(TCanvas&)>& draw) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  TCanvas canvas(&painter);
  draw(canvas);
  painter.end();
  return image;
}

int CountNotWhite(const QImage& image, QRect area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixel(x, y) != kWhite) ++count;
  return count;
}

// The smallest rectangle holding every non-white pixel (null when there is none).
QRect InkBounds(const QImage& image) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != kWhite) bounds |= QRect(x, y, 1, 1);
  return bounds;
}

}  // namespace

TEST(ColorConversion, RedIsTheLowByteAndBlueTheThird) {
  EXPECT_EQ(framework::ColorToQColor(framework::clRed), QColor(255, 0, 0));
  EXPECT_EQ(framework::ColorToQColor(framework::clBlue), QColor(0, 0, 255));
  EXPECT_EQ(framework::ColorToQColor(0x00336699), QColor(0x99, 0x66, 0x33));
  EXPECT_EQ(framework::QColorToColor(QColor(0x99, 0x66, 0x33)), 0x00336699u);
}

// --- lines -------------------------------------------------------------------------------

struct LineCase {
  const char* name;
  QPoint from;
  QPoint to;
};

class LineEndPixel : public testing::TestWithParam<LineCase> {};

TEST_P(LineEndPixel, StartIsDrawnEndIsLeftOut) {
  const LineCase& c = GetParam();
  const QImage image = Draw(20, 20, [&](TCanvas& canvas) {
    canvas.MoveTo(c.from.x(), c.from.y());
    canvas.LineTo(c.to.x(), c.to.y());
  });
  EXPECT_EQ(image.pixel(c.from), kBlack);
  EXPECT_EQ(image.pixel(c.to), kWhite);
  const int length = std::max(std::abs(c.to.x() - c.from.x()), std::abs(c.to.y() - c.from.y()));
  EXPECT_EQ(CountNotWhite(image, image.rect()), length);
}

INSTANTIATE_TEST_SUITE_P(
    Directions, LineEndPixel,
    testing::Values(LineCase{"Right", {2, 5}, {12, 5}}, LineCase{"Left", {12, 5}, {2, 5}},
                    LineCase{"Down", {5, 2}, {5, 12}}, LineCase{"Up", {5, 12}, {5, 2}},
                    LineCase{"DownRight", {2, 2}, {10, 10}}, LineCase{"UpLeft", {10, 10}, {2, 2}},
                    LineCase{"UpRight", {2, 10}, {10, 2}}, LineCase{"DownLeft", {10, 2}, {2, 10}},
                    LineCase{"ShallowLeft", {15, 8}, {3, 4}}, LineCase{"SteepUp", {6, 17}, {9, 3}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(Lines, APolylineCoversEveryJointOnce) {
  // A closed square: each corner is the end of one side (left out) and the start of the next.
  const QImage image = Draw(20, 20, [](TCanvas& canvas) {
    canvas.MoveTo(3, 3);
    canvas.LineTo(13, 3);
    canvas.LineTo(13, 13);
    canvas.LineTo(3, 13);
    canvas.LineTo(3, 3);
  });
  EXPECT_EQ(CountNotWhite(image, image.rect()), 40);
  for (QPoint corner : {QPoint(3, 3), QPoint(13, 3), QPoint(13, 13), QPoint(3, 13)})
    EXPECT_EQ(image.pixel(corner), kBlack);
}

TEST(Lines, LinesTowardsFarOffPointsAreDrawnWhereTheyCrossThePicture) {
  const QImage image = Draw(40, 40, [](TCanvas& canvas) {
    canvas.MoveTo(5, 10);
    canvas.LineTo(100000005, 10);
    canvas.MoveTo(5, 20);
    canvas.LineTo(100000005, 20 + 10000000);  // slanted: one row down every 10 pixels
    canvas.MoveTo(-100000000, -5000000);      // from far off, up-left, into the picture
    canvas.LineTo(30, 35);
  });
  EXPECT_EQ(CountNotWhite(image, QRect(5, 10, 35, 1)), 35);
  EXPECT_EQ(CountNotWhite(image, QRect(0, 10, 5, 1)), 0);
  EXPECT_EQ(image.pixel(5, 20), kBlack);
  EXPECT_EQ(image.pixel(39, 23), kBlack);
  EXPECT_EQ(image.pixel(29, 35), kBlack);
  EXPECT_EQ(image.pixel(30, 35), kWhite);
}

TEST(Lines, MoveToSetsThePenPositionAndLineToMovesIt) {
  QImage image(4, 4, QImage::Format_RGB32);
  QPainter painter(&image);
  TCanvas canvas(&painter);
  canvas.MoveTo(1, 2);
  EXPECT_EQ(canvas.PenPos(), QPoint(1, 2));
  canvas.LineTo(3, 3);
  EXPECT_EQ(canvas.PenPos(), QPoint(3, 3));
}

TEST(Lines, PenColourIsConvertedFromBlueGreenRed) {
  const QImage image = Draw(10, 10, [](TCanvas& canvas) {
    canvas.SetPenColor(framework::clRed);
    canvas.MoveTo(0, 1);
    canvas.LineTo(9, 1);
    canvas.SetPenColor(framework::clBlue);
    canvas.MoveTo(0, 5);
    canvas.LineTo(9, 5);
  });
  EXPECT_EQ(image.pixel(4, 1), kRed);
  EXPECT_EQ(image.pixel(4, 5), kBlue);
}

TEST(Lines, AWidePenCoversSeveralRows) {
  const QImage image = Draw(30, 20, [](TCanvas& canvas) {
    canvas.SetPenWidth(5);
    canvas.MoveTo(5, 10);
    canvas.LineTo(25, 10);
  });
  for (int y = 8; y <= 12; ++y) EXPECT_EQ(image.pixel(15, y), kBlack) << y;
  EXPECT_EQ(image.pixel(15, 5), kWhite);
  EXPECT_EQ(image.pixel(15, 15), kWhite);
}

TEST(Lines, ADottedPenLeavesGaps) {
  const QImage image = Draw(40, 4, [](TCanvas& canvas) {
    canvas.SetPenStyle(TPenStyle::psDot);
    canvas.MoveTo(0, 1);
    canvas.LineTo(36, 1);
  });
  const int drawn = CountNotWhite(image, QRect(0, 1, 36, 1));
  EXPECT_GT(drawn, 10);
  EXPECT_LT(drawn, 26);
  EXPECT_EQ(image.pixel(0, 1), kBlack);
}

TEST(Lines, AClearPenDrawsNothing) {
  const QImage image = Draw(10, 10, [](TCanvas& canvas) {
    canvas.SetPenStyle(TPenStyle::psClear);
    canvas.MoveTo(0, 5);
    canvas.LineTo(9, 5);
  });
  EXPECT_EQ(CountNotWhite(image, image.rect()), 0);
}

// --- rectangles --------------------------------------------------------------------------

TEST(Rectangles, OutlineInPenFillInBrushRightAndBottomOutside) {
  const QImage image = Draw(20, 20, [](TCanvas& canvas) {
    canvas.SetBrushColor(framework::clRed);
    canvas.Rectangle(12, 14, 2, 4);  // corners in any order
  });
  EXPECT_EQ(InkBounds(image), QRect(QPoint(2, 4), QPoint(11, 13)));
  EXPECT_EQ(image.pixel(2, 4), kBlack);
  EXPECT_EQ(image.pixel(11, 13), kBlack);
  EXPECT_EQ(image.pixel(7, 9), kRed);
}

TEST(Rectangles, AClearBrushLeavesTheInside) {
  const QImage image = Draw(20, 20, [](TCanvas& canvas) {
    canvas.SetBrushStyle(TBrushStyle::bsClear);
    canvas.Rectangle(2, 2, 12, 12);
  });
  EXPECT_EQ(image.pixel(2, 7), kBlack);
  EXPECT_EQ(image.pixel(7, 7), kWhite);
}

TEST(Rectangles, FrameRectDrawsOnePixelInsideInTheBrushColour) {
  const QImage image = Draw(20, 20, [](TCanvas& canvas) {
    canvas.SetPenColor(framework::clRed);
    canvas.SetBrushColor(framework::clBlue);
    canvas.FrameRect(TRect{3, 3, 10, 8});
  });
  EXPECT_EQ(InkBounds(image), QRect(QPoint(3, 3), QPoint(9, 7)));
  EXPECT_EQ(image.pixel(3, 3), kBlue);
  EXPECT_EQ(image.pixel(9, 7), kBlue);
  EXPECT_EQ(image.pixel(5, 5), kWhite);
  EXPECT_EQ(CountNotWhite(image, image.rect()), 2 * 7 + 2 * 3);
}

TEST(Rectangles, FillRectFillsWithTheBrush) {
  const QImage image = Draw(10, 10, [](TCanvas& canvas) {
    canvas.SetBrushColor(framework::clBlue);
    canvas.FillRect(TRect{1, 1, 4, 3});
  });
  EXPECT_EQ(CountNotWhite(image, image.rect()), 6);
  EXPECT_EQ(image.pixel(3, 2), kBlue);
}

// --- text --------------------------------------------------------------------------------

TEST(Text, TopLeftAlignmentPutsTheTextBelowY) {
  const QImage image = Draw(60, 60, [](TCanvas& canvas) {
    canvas.SetTransparentBackground(true);
    canvas.TextOut(10, 20, "H");
  });
  const QRect ink = InkBounds(image);
  ASSERT_FALSE(ink.isNull());
  EXPECT_GE(ink.top(), 20);
  EXPECT_GE(ink.left(), 10);
}

TEST(Text, BaselineAlignmentPutsTheTextAboveY) {
  const QImage image = Draw(60, 60, [](TCanvas& canvas) {
    canvas.SetTransparentBackground(true);
    canvas.SetTextAlign(TTextAlign::taBaselineLeft);
    canvas.TextOut(10, 40, "H");
  });
  const QRect ink = InkBounds(image);
  ASSERT_FALSE(ink.isNull());
  EXPECT_LT(ink.bottom(), 40);
  EXPECT_GE(ink.bottom(), 37);
}

TEST(Text, AnOpaqueBackgroundFillsTheTextCellWithTheBrush) {
  int width = 0;
  int height = 0;
  const QImage image = Draw(80, 40, [&](TCanvas& canvas) {
    canvas.SetBrushColor(framework::clBlue);
    width = canvas.TextWidth("Hi");
    height = canvas.TextHeight("Hi");
    canvas.TextOut(5, 5, "Hi");
  });
  EXPECT_EQ(image.pixel(5, 5), kBlue);
  EXPECT_EQ(image.pixel(5 + width - 1, 5 + height - 1), kBlue);
  EXPECT_EQ(image.pixel(5 + width + 1, 5), kWhite);
}

TEST(Text, ATransparentBackgroundLeavesTheCell) {
  const QImage image = Draw(80, 40, [](TCanvas& canvas) {
    canvas.SetBrushColor(framework::clBlue);
    canvas.SetTransparentBackground(true);
    canvas.TextOut(5, 5, "Hi");
  });
  EXPECT_EQ(image.pixel(5, 5), kWhite);
  EXPECT_GT(CountNotWhite(image, image.rect()), 0);
}

TEST(Text, TextRectDrawsNothingOutsideItsRectangle) {
  const QImage image = Draw(200, 40, [](TCanvas& canvas) {
    canvas.SetTransparentBackground(true);
    canvas.TextRect(TRect{10, 5, 30, 25}, 10, 5, "WWWWWWWWWW");
  });
  const QRect ink = InkBounds(image);
  ASSERT_FALSE(ink.isNull());
  EXPECT_TRUE(QRect(10, 5, 20, 20).contains(ink)) << ink.x() << "," << ink.right();
}

TEST(Text, TextRectWithAnOpaqueBackgroundFillsTheRectangle) {
  const QImage image = Draw(100, 40, [](TCanvas& canvas) {
    canvas.SetBrushColor(framework::clRed);
    canvas.TextRect(TRect{10, 5, 60, 35}, 12, 6, "x");
  });
  EXPECT_EQ(image.pixel(59, 34), kRed);
  EXPECT_EQ(image.pixel(60, 34), kWhite);
}

TEST(Text, MetricsFollowTheFont) {
  QImage image(10, 10, QImage::Format_RGB32);
  QPainter painter(&image);
  TCanvas canvas(&painter);
  QFont font = canvas.Font();
  font.setPixelSize(10);
  canvas.SetFont(font);
  const int small = canvas.TextWidth("10.00");
  const int smallHeight = canvas.TextHeight("x");
  font.setPixelSize(20);
  canvas.SetFont(font);
  EXPECT_GT(canvas.TextWidth("10.00"), small);
  EXPECT_GT(canvas.TextHeight("x"), smallHeight);
  EXPECT_GT(canvas.TextWidth("-10.00"), canvas.TextWidth("10.00"));
  EXPECT_EQ(canvas.TextHeight("x"), canvas.TextHeight("Hg"));
  EXPECT_EQ(canvas.TextWidth(""), 0);
}

// --- clipping and focus ------------------------------------------------------------------

TEST(Clip, NothingIsDrawnOutsideTheClipRectangleUntilRemoved) {
  const QImage image = Draw(30, 10, [](TCanvas& canvas) {
    canvas.SetClipRect(TRect{10, 0, 20, 10});
    canvas.MoveTo(0, 2);
    canvas.LineTo(30, 2);
    canvas.RemoveClip();
    canvas.MoveTo(0, 6);
    canvas.LineTo(30, 6);
  });
  EXPECT_EQ(CountNotWhite(image, QRect(0, 2, 30, 1)), 10);
  EXPECT_EQ(image.pixel(10, 2), kBlack);
  EXPECT_EQ(image.pixel(19, 2), kBlack);
  EXPECT_EQ(image.pixel(20, 2), kWhite);
  EXPECT_EQ(CountNotWhite(image, QRect(0, 6, 30, 1)), 30);
}

TEST(Clip, AnEmptyClipRectangleHidesEverything) {
  const QImage image = Draw(30, 10, [](TCanvas& canvas) {
    canvas.SetClipRect(TRect{20, 5, 10, 5});
    canvas.Rectangle(0, 0, 30, 10);
  });
  EXPECT_EQ(CountNotWhite(image, image.rect()), 0);
}

TEST(FocusRect, InvertsEveryOtherBorderPixel) {
  const QImage image = Draw(20, 20, [](TCanvas& canvas) { canvas.DrawFocusRect({2, 2, 12, 8}); });
  EXPECT_EQ(image.pixel(2, 2), kBlack);
  EXPECT_EQ(image.pixel(3, 2), kWhite);
  EXPECT_EQ(image.pixel(4, 2), kBlack);
  EXPECT_EQ(image.pixel(2, 3), kWhite);
  EXPECT_EQ(image.pixel(6, 5), kWhite);  // inside untouched
  // 10 × 6 border has 2 × 10 + 2 × 4 = 28 pixels, half of them inverted.
  EXPECT_EQ(CountNotWhite(image, image.rect()), 14);
  EXPECT_EQ(InkBounds(image), QRect(QPoint(2, 2), QPoint(11, 7)));
}

TEST(FocusRect, DrawingItTwiceRestoresThePicture) {
  const QImage image = Draw(20, 20, [](TCanvas& canvas) {
    canvas.SetBrushColor(framework::clRed);
    canvas.FillRect({0, 0, 20, 20});
    canvas.DrawFocusRect({2, 2, 12, 8});
    canvas.DrawFocusRect({2, 2, 12, 8});
  });
  EXPECT_EQ(CountNotWhite(image, image.rect()), 400);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(image.pixel(x, 2), kRed);
}
