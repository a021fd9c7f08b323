#include <gtest/gtest.h>

#include "platform/Placement.h"

using corvane::platform::centredOver;

TEST(Placement, CentredOverTheOtherWindowAndKeptOnTheScreen) {
  const QRect screen(0, 0, 1600, 1200);
  EXPECT_EQ(centredOver(QRect(100, 100, 1000, 700), QSize(400, 300), screen), QRect(400, 300, 400, 300));
  // Near the right and bottom edges it is pushed back inside; near the top-left as well.
  EXPECT_EQ(centredOver(QRect(1300, 1000, 300, 200), QSize(400, 300), screen), QRect(1200, 900, 400, 300));
  EXPECT_EQ(centredOver(QRect(-200, -100, 100, 100), QSize(400, 300), screen), QRect(0, 0, 400, 300));
  // Larger than the screen: the top-left corner (with the title bar) stays in view.
  EXPECT_EQ(centredOver(QRect(0, 0, 100, 100), QSize(2000, 1500), screen).topLeft(), QPoint(0, 0));
  // No screen known: only centred.
  const QRect offScreen(-500, 0, 100, 100);
  EXPECT_LE((centredOver(offScreen, QSize(50, 50), QRect()).center() - offScreen.center()).manhattanLength(), 1);
}
