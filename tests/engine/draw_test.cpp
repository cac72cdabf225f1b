#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "engine/draw.h"
#include "engine_test_util.h"

namespace {
using Points = std::vector<std::pair<int, int>>;

// Puts a w x h picture straight into a bank; pixel (x, y) = 1 + x + 16 * y, zero where `hole`.
void make_bank(uint8_t bank, int w, int h, bool hole = false) {
  std::free(nox_banks[bank].pixels);
  auto* px = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w * h)));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[y * w + x] = static_cast<uint8_t>(hole && x == 1 ? 0 : 1 + x + 16 * y);
  nox_banks[bank] = NoxBank{w, h, px};
}

class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_planes();
    nox_free_banks();
    make_bank(1, 16, 8);
  }
  void TearDown() override { nox_free_banks(); }
};

struct Blit {
  const char* what;
  int32_t sx, sy, w, h, dx, dy;
  // Expected result: columns [first_x, first_x + cols) of rows [first_y, first_y + rows) hold the
  // source starting at (src_x, src_y); nothing else is drawn. cols == 0 means nothing at all.
  int first_x, first_y, cols, rows, src_x, src_y;
};

class BlitTest : public DrawTest, public ::testing::WithParamInterface<Blit> {};

TEST_P(BlitTest, ClipsToScreenAndSource) {
  const Blit& b = GetParam();
  for (Plane p : {Plane::BG, Plane::SP}) {
    clear_planes();
    nox_put(p, 1, b.sx, b.sy, b.w, b.h, b.dx, b.dy);
    const uint8_t* plane = p == Plane::BG ? nox_bg : nox_sp;
    Points want;
    for (int y = 0; y < b.rows; ++y)
      for (int x = 0; x < b.cols; ++x) want.emplace_back(b.first_x + x, b.first_y + y);
    std::sort(want.begin(), want.end(), [](auto a, auto c) { return std::pair(a.second, a.first) < std::pair(c.second, c.first); });
    ASSERT_EQ(lit_pixels(plane), want);
    for (int y = 0; y < b.rows; ++y)
      for (int x = 0; x < b.cols; ++x)
        ASSERT_EQ(plane[(b.first_y + y) * NOX_W + b.first_x + x], 1 + (b.src_x + x) + 16 * (b.src_y + y));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Draw, BlitTest,
    ::testing::Values(Blit{"inside", 0, 0, 16, 8, 10, 20, 10, 20, 16, 8, 0, 0},
                      Blit{"sub_rect", 3, 2, 5, 4, 0, 0, 0, 0, 5, 4, 3, 2},
                      Blit{"left_edge", 0, 0, 16, 8, -4, 0, 0, 0, 12, 8, 4, 0},
                      Blit{"right_edge", 0, 0, 16, 8, 236, 0, 236, 0, 4, 8, 0, 0},
                      Blit{"top_edge", 0, 0, 16, 8, 0, -5, 0, 0, 16, 3, 0, 5},
                      Blit{"bottom_edge", 0, 0, 16, 8, 0, 317, 0, 317, 16, 3, 0, 0},
                      Blit{"corner", 2, 1, 10, 6, -3, 316, 0, 316, 7, 4, 5, 1},
                      Blit{"touches_left", 0, 0, 16, 8, -16, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"past_right", 0, 0, 16, 8, 240, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"past_left", 0, 0, 16, 8, -17, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"past_bottom", 0, 0, 16, 8, 0, 320, 0, 0, 0, 0, 0, 0},
                      Blit{"source_x_negative", -1, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"source_too_wide", 13, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"source_too_tall", 0, 5, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"source_y_negative", 0, -1, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"negative_width", 8, 0, -4, 4, 50, 50, 0, 0, 0, 0, 0, 0},
                      Blit{"negative_height", 0, 4, 4, -4, 50, 50, 0, 0, 0, 0, 0, 0},
                      Blit{"huge_width", 0, 0, 0x7FFFFFFF, 4, 0, 0, 0, 0, 0, 0, 0, 0},
                      Blit{"huge_offsets", 0, 0, 4, 4, -0x7FFFFFFF, 0x7FFFFFFF, 0, 0, 0, 0, 0, 0}),
    [](const auto& p) { return std::string(p.param.what); });

TEST_F(DrawTest, EmptyBankIsRefused) {
  int32_t sx = 0, sy = 0, w = 1, h = 1, dx = 0, dy = 0;
  EXPECT_FALSE(clip_put(2, sx, sy, w, h, dx, dy));
  nox_put_bg(2, 0, 0, 1, 1, 0, 0);
  EXPECT_TRUE(lit_pixels(nox_bg).empty());
}

TEST_F(DrawTest, TransparentBlitSkipsZeroOpaqueCopiesIt) {
  make_bank(3, 4, 2, /*hole=*/true);
  std::memset(nox_sp, 9, 16);
  std::memset(nox_bg, 9, 16);
  nox_put_sp(3, 0, 0, 4, 1, 0, 0);
  nox_put_bg(3, 0, 0, 4, 1, 0, 0);
  EXPECT_EQ(nox_sp[1], 9);  // a 0 source pixel keeps what was there
  EXPECT_EQ(nox_bg[1], 0);  // the opaque copy takes it as it is
  EXPECT_EQ(nox_sp[0], 1);
  EXPECT_EQ(nox_sp[2], 3);
}

// Wide rows go eight pixels at a time: every byte value, zeros anywhere in a group, any
// width and alignment must still give exactly "non-zero source pixels replace, zeros keep".
TEST_F(DrawTest, TransparentBlitOfWideRowsKeepsEveryZeroPixel) {
  constexpr int w = 37, h = 7;
  auto* px = static_cast<uint8_t*>(std::malloc(w * h));
  for (int i = 0; i < w * h; ++i) px[i] = static_cast<uint8_t>((i * 97 + 13) % 5 == 0 ? 0 : (i * 131) & 0xFF);
  std::free(nox_banks[4].pixels);
  nox_banks[4] = NoxBank{w, h, px};
  for (int32_t width : {1, 7, 8, 9, 16, 23, 37})
    for (int32_t dx : {0, 3, 201}) {
      for (int i = 0; i < NOX_W * NOX_H; ++i) nox_sp[i] = static_cast<uint8_t>(i * 7 + 1);
      std::vector<uint8_t> want(nox_sp, nox_sp + NOX_W * NOX_H);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < width && dx + x < NOX_W; ++x)
          if (px[y * w + x] != 0) want[(10 + y) * NOX_W + dx + x] = px[y * w + x];
      nox_put_sp(4, 0, 0, width, h, dx, 10);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), nox_sp)) << "width " << width << " at x " << dx;
    }
}

struct LineCase {
  int x0, y0, x1, y1;
  Points points;  // in plotting order
};

class LineTest : public DrawTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineTest, PlotsExactPointSet) {
  const LineCase& c = GetParam();
  nox_line_bg(c.x0, c.y0, c.x1, c.y1, 6);
  using PointSet = std::set<std::pair<int, int>>;
  const PointSet want(c.points.begin(), c.points.end());
  const Points lit = lit_pixels(nox_bg);
  EXPECT_EQ(PointSet(lit.begin(), lit.end()), want);
  EXPECT_EQ(lit.size(), want.size());
}

INSTANTIATE_TEST_SUITE_P(
    Draw, LineTest,
    ::testing::Values(LineCase{0, 0, 4, 1, {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}},
                      LineCase{0, 0, 1, 4, {{0, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}}},
                      LineCase{0, 0, 6, 1, {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}}},
                      LineCase{9, 9, 8, 3, {{9, 9}, {8, 8}, {8, 7}, {8, 6}, {8, 5}, {8, 4}, {8, 3}}},
                      LineCase{4, 1, 0, 0, {{4, 1}, {3, 0}, {2, 0}, {1, 0}, {0, 0}}},
                      LineCase{5, 9, 1, 9, {{1, 9}, {2, 9}, {3, 9}, {4, 9}, {5, 9}}},
                      LineCase{3, 3, 3, 3, {{3, 3}}},
                      LineCase{7, 8, 7, 5, {{7, 5}, {7, 6}, {7, 7}, {7, 8}}},
                      LineCase{0, 4, 3, 1, {{0, 4}, {1, 3}, {2, 2}, {3, 1}}},
                      LineCase{10, 10, 4, 12, {{10, 10}, {9, 11}, {8, 11}, {7, 11}, {6, 12}, {5, 12}, {4, 12}}},
                      LineCase{-2, 0, 2, 2, {{0, 1}, {1, 2}, {2, 2}}},
                      LineCase{237, 318, 2000000000, 318, {{237, 318}, {238, 318}, {239, 318}}}));

TEST_F(DrawTest, LongLinesOnlyDrawTheirVisiblePart) {
  nox_line_sp(-2000000000, 7, 2000000000, 7, 1);
  nox_line_sp(3, 2000000000, 3, -2000000000, 1);
  const Points lit = lit_pixels(nox_sp);
  EXPECT_EQ(lit.size(), 240u + 320u - 1u);
  for (auto [x, y] : lit) EXPECT_TRUE(y == 7 || x == 3);
}

TEST_F(DrawTest, FilledRectangleClampsAndOrdersCorners) {
  nox_boxf_bg(250, 10, -5, 20, 3);
  const Points lit = lit_pixels(nox_bg);
  ASSERT_EQ(lit.size(), 240u * 11u);
  EXPECT_EQ(lit.front(), std::pair(0, 10));
  EXPECT_EQ(lit.back(), std::pair(239, 20));
  clear_planes();
  nox_boxf_sp(240, 0, 300, 10, 3);
  nox_boxf_sp(0, -1, 10, -30, 3);
  EXPECT_TRUE(lit_pixels(nox_sp).empty());
}

TEST_F(DrawTest, OutlineIsTheFourEdges) {
  nox_box_sp(12, 20, 10, 17, 8);  // corners in any order
  Points want;
  for (int y = 17; y <= 20; ++y)
    for (int x = 10; x <= 12; ++x)
      if (y == 17 || y == 20 || x == 10 || x == 12) want.emplace_back(x, y);
  EXPECT_EQ(lit_pixels(nox_sp), want);
}

// Radius 7 and 8 are the ones on screen; their walks are one lap of a known length.
TEST_F(DrawTest, CircleWalkLengthAndShape) {
  EXPECT_EQ(nox_circle(Plane::SP, 120, 100, 7, 1), 393);
  clear_planes();
  EXPECT_EQ(nox_circle(Plane::SP, 120, 100, 8, 1), 395);
  const Points ring = lit_pixels(nox_sp);
  EXPECT_EQ(nox_sp[100 * NOX_W + 128], 1);  // first point: (cx + r, cy)
  for (auto [x, y] : ring) {
    const int ddx = x - 120, ddy = y - 100;
    EXPECT_LE(ddx * ddx + ddy * ddy, 8 * 8) << x << "," << y;
    EXPECT_GE(ddx * ddx + ddy * ddy, 6 * 6) << x << "," << y;
  }
  // At the screen's left edge only the right half shows, exactly as the full ring's right half.
  clear_planes();
  nox_circle_sp(0, 100, 8, 1);
  Points half;
  for (auto [x, y] : ring)
    if (x >= 120) half.emplace_back(x - 120, y);
  EXPECT_EQ(lit_pixels(nox_sp), half);
  clear_planes();
  nox_circle_sp(-20, 100, 8, 1);
  EXPECT_TRUE(lit_pixels(nox_sp).empty());
}

// Circles of small radii plot remembered pixels; they must be exactly the pixels of the walk,
// also the second time a radius is drawn and where the ring is cut by the screen's edges.
TEST_F(DrawTest, RememberedCirclesMatchTheWalk) {
  auto walk = [](int32_t cx, int32_t cy, int32_t r) {
    std::vector<uint8_t> plane(NOX_W * NOX_H);
    float X = static_cast<float>(r), Y = 0.0f;
    for (int step = 0; step < 4096; ++step) {
      X = X - Y / 64.0f;
      Y = Y + X / 64.0f;
      const int64_t x = cx + static_cast<int64_t>(X), y = cy + static_cast<int64_t>(Y);
      if (x >= 0 && x < NOX_W && y >= 0 && y < NOX_H) plane[y * NOX_W + x] = 9;
      if (static_cast<float>(r) - 1.0f < X && X < static_cast<float>(r) && -1.0f < Y && Y < 0.0f) break;
    }
    return plane;
  };
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t r = 1; r <= 40; ++r)
      for (auto [cx, cy] : {std::pair{120, 160}, {0, 0}, {239, 319}, {3, 200}, {r + 1, r + 1}, {238 - r, 318 - r}}) {
        clear_planes();
        nox_circle_sp(cx, cy, r, 9);
        ASSERT_TRUE(std::equal(nox_sp, nox_sp + NOX_W * NOX_H, walk(cx, cy, r).begin()))
            << "radius " << r << " at " << cx << "," << cy << " pass " << pass;
      }
}

// Centres far off the screen, up to the ends of the coordinate range, never reach the planes
// (nor memory beside them), whether the radius is a remembered one or walked in full.
TEST_F(DrawTest, FarOffCirclesDrawNothing) {
  constexpr int32_t lo = INT32_MIN, hi = INT32_MAX;
  for (int32_t r : {8, 40})
    for (auto [cx, cy] : {std::pair{hi, 100}, {hi - 9, 100}, {120, hi}, {120, hi - 9}, {hi, hi}, {lo, 100},
                          {lo + 9, 100}, {120, lo}, {120, lo + 9}, {lo, lo}}) {
      clear_planes();
      nox_circle_sp(cx, cy, r, 5);
      nox_circle_bg(cx, cy, r, 5);
      ASSERT_TRUE(lit_pixels(nox_sp).empty() && lit_pixels(nox_bg).empty()) << r << " at " << cx << "," << cy;
    }
}

TEST_F(DrawTest, EveryRadiusTerminates) {
  for (int32_t r = 1; r <= 534; ++r) ASSERT_LE(nox_circle(Plane::BG, 120, 160, r, 1), 402) << r;
  for (int32_t r : {0, -1, -534, 535, 100000, 0x7FFFFFFF, -0x7FFFFFFF - 1}) {
    const int32_t n = nox_circle(Plane::BG, 120, 160, r, 1);
    EXPECT_GT(n, 0);
    EXPECT_LE(n, 4096) << r;
  }
}
}  // namespace
