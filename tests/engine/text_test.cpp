#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/screen.h"
#include "engine_test_util.h"
#include "game/text.h"

namespace {
// Bank 0 as a 128 x 64 font in which every pixel of a glyph cell holds that cell's own id.
uint8_t large_id(int ch) { return static_cast<uint8_t>(1 + (ch - 32)); }  // cell (ch-32)%16, (ch-32)/16
uint8_t digit_id(char ch) { return static_cast<uint8_t>(100 + (ch - '0')); }
uint8_t capital_id(char ch) { return static_cast<uint8_t>(140 + (ch - 'A')); }
constexpr uint8_t kStopId = 140 + 26;
constexpr uint8_t kBlankId = 140 + 27;

void make_font() {
  std::free(nox_banks[0].pixels);
  auto* px = static_cast<uint8_t*>(std::malloc(128 * 64));
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      px[y * 128 + x] = static_cast<uint8_t>(y < 48 ? 1 + (y / 8) * 16 + x / 8 : (y < 56 ? 100 : 140) + x / 4);
  nox_banks[0] = NoxBank{128, 64, px};
}

uint8_t sp_at(int x, int y) { return nox_sp[y * NOX_W + x]; }
uint8_t bg_at(int x, int y) { return nox_bg[y * NOX_W + x]; }

// True when the whole w x 8 cell at (x, y) of the plane holds v.
bool cell_is(const uint8_t* plane, int x, int y, int w, uint8_t v) {
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < w; ++c)
      if (plane[(y + r) * NOX_W + x + c] != v) return false;
  return true;
}

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_planes();
    make_font();
  }
  void TearDown() override { nox_free_banks(); }
};

TEST_F(TextTest, SmallTextKeepsCellsForSkippedCharacters) {
  std::memset(nox_sp + 311 * NOX_W, 0xEE, 8 * NOX_W);  // whatever was drawn there before
  print_small(0, 9, 311, "NO COMBO.");
  EXPECT_TRUE(cell_is(nox_sp, 9, 311, 4, capital_id('N')));
  EXPECT_TRUE(cell_is(nox_sp, 13, 311, 4, capital_id('O')));
  EXPECT_TRUE(cell_is(nox_sp, 17, 311, 4, 0xEE));  // the space is skipped on SP
  const char* rest = "COMBO";
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(cell_is(nox_sp, 21 + 4 * i, 311, 4, capital_id(rest[i]))) << i;
  EXPECT_TRUE(cell_is(nox_sp, 41, 311, 4, kStopId));
  EXPECT_TRUE(cell_is(nox_sp, 45, 311, 4, 0xEE));

  clear_planes();
  print_small(0, 50, 10, "Ab1");
  EXPECT_TRUE(cell_is(nox_sp, 50, 10, 4, capital_id('A')));
  EXPECT_TRUE(cell_is(nox_sp, 54, 10, 4, 0));
  EXPECT_TRUE(cell_is(nox_sp, 58, 10, 4, digit_id('1')));
  EXPECT_EQ(lit_pixels(nox_sp).size(), 2u * 32u);
}

TEST_F(TextTest, OpaqueSpaceBlanksItsCell) {
  std::memset(nox_bg, 0xEE, sizeof nox_bg);
  print_small(1, 0, 0, "1 2");
  EXPECT_TRUE(cell_is(nox_bg, 0, 0, 4, digit_id('1')));
  EXPECT_TRUE(cell_is(nox_bg, 4, 0, 4, kBlankId));
  EXPECT_TRUE(cell_is(nox_bg, 8, 0, 4, digit_id('2')));
  EXPECT_TRUE(lit_pixels(nox_sp).empty());
  print_large(1, 0, 20, "A B");
  EXPECT_TRUE(cell_is(nox_bg, 8, 20, 8, large_id(' ')));
  print_large(0, 0, 40, "A B");
  EXPECT_TRUE(cell_is(nox_sp, 8, 40, 8, 0));
}

TEST_F(TextTest, LargeGlyphPositions) {
  print_large(0, 64, 248, "ON");
  EXPECT_EQ(large_id('O'), 1 + 2 * 16 + 15);  // bank position (120, 16)
  EXPECT_TRUE(cell_is(nox_sp, 64, 248, 8, large_id('O')));
  EXPECT_TRUE(cell_is(nox_sp, 72, 248, 8, large_id('N')));
  print_large(0, 0, 0, "az~\x7F");
  EXPECT_TRUE(cell_is(nox_sp, 0, 0, 8, large_id('a')));
  EXPECT_TRUE(cell_is(nox_sp, 8, 0, 8, large_id('z')));
  EXPECT_TRUE(cell_is(nox_sp, 24, 0, 8, 96));  // code 127: the last cell
  print_small(0, 0, 100, "az~");
  EXPECT_TRUE(cell_is(nox_sp, 0, 100, 12, 0));
}

TEST_F(TextTest, NoGlyphForControlOrHighCodes) {
  for (int32_t bg : {0, 1}) {
    clear_planes();
    print_large(bg, 0, 0, "\x01\x1F\x80\xC1\xFF");
    print_small(bg, 0, 20, "\x80\xB0\xC1\xFF\x2F\x3A\x40\x5B");
    EXPECT_TRUE(lit_pixels(nox_bg).empty());
    EXPECT_TRUE(lit_pixels(nox_sp).empty());
  }
}

TEST_F(TextTest, FormatsLikePrintf) {
  print_small(0, 0, 0, "SC %7d0", 1234);  // "SC    12340"
  EXPECT_TRUE(cell_is(nox_sp, 12, 0, 12, 0));
  const char* digits = "12340";
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(cell_is(nox_sp, 24 + 4 * i, 0, 4, digit_id(digits[i]))) << i;
  print_large(0, 0, 100, "%2d:%s", 7, "X");
  EXPECT_TRUE(cell_is(nox_sp, 8, 100, 8, large_id('7')));
  EXPECT_TRUE(cell_is(nox_sp, 24, 100, 8, large_id('X')));
}

TEST_F(TextTest, CutAtTheScreenEdge) {
  print_large(0, 236, 50, "ABC");
  EXPECT_EQ(lit_pixels(nox_sp).size(), 4u * 8u);
  EXPECT_EQ(sp_at(236, 50), large_id('A'));
  EXPECT_EQ(sp_at(239, 57), large_id('A'));
  print_small(1, -2, 316, "88");  // the first digit half off the left edge, cut at the bottom
  EXPECT_EQ(bg_at(0, 316), digit_id('8'));
  EXPECT_EQ(bg_at(5, 319), digit_id('8'));
  EXPECT_EQ(bg_at(6, 316), 0);
}

// One call draws at most 63 characters, however long its formatted text.
TEST_F(TextTest, LongTextIsCutAt63Characters) {
  const std::string hundred(100, '#');
  print_large(0, -8 * 60, 0, "%s", hundred.c_str());  // characters 60.. land at x 0, 8, 16, ...
  EXPECT_TRUE(cell_is(nox_sp, 16, 0, 8, large_id('#')));
  EXPECT_TRUE(cell_is(nox_sp, 24, 0, 8, 0));
  const std::string zeros(100, '0');
  print_small(0, -4 * 60, 40, "%s", zeros.c_str());
  EXPECT_TRUE(cell_is(nox_sp, 8, 40, 4, digit_id('0')));
  EXPECT_TRUE(cell_is(nox_sp, 12, 40, 4, 0));
  print_large(0, 0x7FFFFFF0, 60, "%s", hundred.c_str());  // cells past the coordinate range
  EXPECT_TRUE(cell_is(nox_sp, 0, 60, 240, 0));
}
}  // namespace
