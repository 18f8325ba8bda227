// The arrow button's triangle and focus rectangle, through the pixels it paints.
#include "components/ArrowButton.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

using namespace components;

namespace {

// ---------------------------------------------------------------------------------------------
// TArrowButton

QImage Render(QWidget* w) {
  return w->grab().toImage();
}

TEST(ArrowButton, DrawsTheDownTriangleCentred) {
  QWidget window;
  auto* arrow = new TArrowButton(&window);
  arrow->resize(17, 11);
  window.show();
  const QImage image = Render(arrow);
  const int left = (17 - 7) / 2;
  const int top = (11 - 3) / 2;
  EXPECT_EQ(image.pixelColor(left, top), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(left + 6, top), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(left + 3, top + 3), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(left, top + 3), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(left + 3, top + 4), QColor(Qt::black));
}

TEST(ArrowButton, DrawsTheUpTriangleAndGreysItWhenDisabled) {
  QWidget window;
  auto* arrow = new TArrowButton(&window);
  arrow->resize(17, 13);
  arrow->SetUpArrow(true);
  window.show();
  const int left = (17 - 7) / 2;
  const int point = (13 - 3) / 2 - 1;
  QImage image = Render(arrow);
  EXPECT_EQ(image.pixelColor(left + 3, point), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(left, point + 3), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(left, point), QColor(Qt::black));
  arrow->setEnabled(false);
  image = Render(arrow);
  EXPECT_EQ(image.pixelColor(left + 3, point), QColor(0x80, 0x80, 0x80));
}

TEST(ArrowButton, FocusMarkDrawsADottedRectangleInsideTheFace) {
  QWidget window;
  auto* arrow = new TArrowButton(&window);
  arrow->resize(17, 13);
  window.show();
  auto blackOnTopRow = [&](const QImage& image) {
    int black = 0;
    for (int x = 3; x < 14; ++x) black += image.pixelColor(x, 3) == QColor(Qt::black);
    return black;
  };
  EXPECT_EQ(blackOnTopRow(Render(arrow)), 0);
  arrow->SetFocusMark(true);
  const int dots = blackOnTopRow(Render(arrow));
  EXPECT_GT(dots, 0);
  EXPECT_LT(dots, 11);  // dotted, not solid
  // Latched down, the rectangle moves one pixel right and down with the face.
  arrow->SetDown(true);
  EXPECT_EQ(blackOnTopRow(Render(arrow)), 0);
}

}  // namespace
