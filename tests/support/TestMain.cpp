// Shared main of the test programs: widget tests need the application object, and every
// program runs under the offscreen platform that CTest sets.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
