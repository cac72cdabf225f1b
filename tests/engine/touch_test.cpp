#include <gtest/gtest.h>

#include "engine/touch.h"

namespace {
struct Read {
  int32_t pressed, x, y, dx, dy;
  bool operator==(const Read&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Read& r) {
  return os << "{" << r.pressed << "," << r.x << "," << r.y << "," << r.dx << "," << r.dy << "}";
}
Read read() {
  Read r{};
  nox_get_touch(&r.pressed, &r.x, &r.y, &r.dx, &r.dy);
  return r;
}
void move(int32_t px, int32_t py) { nox_touch_move(px, py, 480, 640); }

class TouchTest : public ::testing::Test {
 protected:
  void SetUp() override { nox_touch_leave(); }
};

TEST_F(TouchTest, PressCountsFramesWhileHeld) {
  move(101, 201);
  nox_touch_down();
  EXPECT_EQ(read(), (Read{1, 50, 100, 0, 0}));
  nox_touch_tick();
  EXPECT_EQ(read().pressed, 2);
  nox_touch_tick();
  EXPECT_EQ(read().pressed, 3);
  nox_touch_up();
  nox_touch_tick();  // an up pointer does not count
  EXPECT_EQ(read(), (Read{0, 50, 100, 0, 0}));
}

TEST_F(TouchTest, MotionIsFromTheLastReadAndConsumed) {
  move(100, 200);
  nox_touch_down();
  read();
  move(110, 190);
  EXPECT_EQ(read(), (Read{1, 55, 95, 5, -5}));
  EXPECT_EQ(read(), (Read{1, 55, 95, 0, 0}));  // no move between reads: no motion
  move(120, 200);
  move(130, 220);  // only the latest move's step counts
  EXPECT_EQ(read(), (Read{1, 65, 110, 5, 10}));
}

TEST_F(TouchTest, MovesWhileUpUpdatePositionOnly) {
  move(40, 40);
  move(80, 60);
  EXPECT_EQ(read(), (Read{0, 40, 30, 0, 0}));
}

TEST_F(TouchTest, ZeroMeansNoPreviousPosition) {
  nox_touch_down();
  move(1, 300);  // virtual x 0
  move(50, 300);
  EXPECT_EQ(read(), (Read{1, 25, 150, 0, 0}));
  nox_touch_leave();
  nox_touch_down();
  move(60, 60);  // first move after leaving: previous position forgotten
  EXPECT_EQ(read(), (Read{1, 30, 30, 0, 0}));
}

TEST_F(TouchTest, LeaveClearsEverything) {
  move(200, 200);
  nox_touch_down();
  nox_touch_tick();
  nox_touch_leave();
  EXPECT_EQ(read(), (Read{0, 0, 0, 0, 0}));
  EXPECT_EQ(nox_touch.prev_x, 0);
  EXPECT_EQ(nox_touch.prev_y, 0);
}

TEST_F(TouchTest, ScalingUsesUnsignedLow16BitsAndClientSize) {
  nox_touch_move(0x10000 + 479, -1, 480, 640);  // high bits dropped; -1 is 65535
  EXPECT_EQ(nox_touch.x, 239);
  EXPECT_EQ(nox_touch.y, 65535 * 32000 / 640 / 100);
  nox_touch_move(333, 333, 240, 320);  // a 1:1 client
  EXPECT_EQ(nox_touch.x, 333);
  EXPECT_EQ(nox_touch.y, 333);
  nox_touch_move(100, 100, 0, 640);  // no usable client area: position kept
  EXPECT_EQ(nox_touch.x, 333);
  EXPECT_EQ(nox_touch.prev_x, 239);
}
}  // namespace
