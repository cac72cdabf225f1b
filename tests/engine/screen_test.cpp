#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/screen.h"
#include "engine_test_util.h"
#include "pack/pack.h"
#include "support/test_pack.h"

namespace {
std::vector<uint8_t> pixels_of(int w, int h, uint8_t seed) {
  std::vector<uint8_t> px(static_cast<size_t>(w * h));
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(seed + i * 7);
  return px;
}

class ChrTest : public ::testing::Test {
 protected:
  void SetUp() override { nox_free_banks(); }
  void TearDown() override { nox_free_banks(); }
  TempWorkDir dir;
};

TEST_F(ChrTest, DecodesSizePixelsAndWholePalette) {
  const auto wide = pixels_of(256, 1, 3);
  const auto tall = pixels_of(2, 3, 9);
  std::vector<PackEntry> entries{{"WIDE.CHR", chr_entry(256, 1, ramp_palette(0x10000), wide)},
                                 {"TALL.CHR", chr_entry(2, 3, ramp_palette(0xAB000000), tall)}};
  // An entry with bytes after its pixels still loads.
  entries.push_back({"LONG.CHR", chr_entry(2, 3, ramp_palette(0x500), tall)});
  entries.back().data.push_back(0xFF);
  ASSERT_EQ(load_pack_entries(entries), 0);

  ASSERT_EQ(nox_loadchr(7, "WIDE.CHR"), 0);  // width byte 255, height byte 0
  EXPECT_EQ(nox_banks[7].width, 256);
  EXPECT_EQ(nox_banks[7].height, 1);
  EXPECT_TRUE(std::equal(wide.begin(), wide.end(), nox_banks[7].pixels));
  EXPECT_EQ(nox_palette[0], 0x10000u);
  EXPECT_EQ(nox_palette[255], 0x100FFu);

  ASSERT_EQ(nox_loadchr(8, "TALL.CHR"), 0);  // every palette entry replaced, used or not
  EXPECT_EQ(nox_banks[8].width, 2);
  EXPECT_EQ(nox_banks[8].height, 3);
  EXPECT_TRUE(std::equal(tall.begin(), tall.end(), nox_banks[8].pixels));
  for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(nox_palette[i], 0xAB000000u + i);
  EXPECT_EQ(nox_banks[7].width, 256);  // other banks keep their pictures

  EXPECT_EQ(nox_loadchr(9, "LONG.CHR"), 0);
}

struct BadChr {
  const char* what;
  bool present;  // false: no such entry in the pack
  std::vector<uint8_t> data;
};

class BadChrTest : public ::testing::TestWithParam<BadChr> {};

TEST_P(BadChrTest, RefusedBankEmptiedPaletteKept) {
  TempWorkDir dir;
  nox_free_banks();
  const auto good = chr_entry(4, 4, ramp_palette(0x777), pixels_of(4, 4, 1));
  std::vector<PackEntry> entries{{"GOOD.CHR", good}};
  if (GetParam().present) entries.push_back({"BAD.CHR", GetParam().data});
  ASSERT_EQ(load_pack_entries(entries), 0);
  ASSERT_EQ(nox_loadchr(3, "GOOD.CHR"), 0);  // the bank held a picture before
  EXPECT_EQ(nox_loadchr(3, "BAD.CHR"), -1);
  EXPECT_EQ(nox_banks[3].width, 0);
  EXPECT_EQ(nox_banks[3].height, 0);
  EXPECT_EQ(nox_banks[3].pixels, nullptr);
  for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(nox_palette[i], 0x777u + i);
  nox_free_banks();
}

std::vector<uint8_t> with_magic(std::vector<uint8_t> d, uint8_t a, uint8_t b) {
  d[0] = a;
  d[1] = b;
  return d;
}
std::vector<uint8_t> cut(std::vector<uint8_t> d, size_t n) {
  d.resize(d.size() - n);
  return d;
}
const std::vector<uint8_t> k16x8 = chr_entry(16, 8, ramp_palette(0xF00), pixels_of(16, 8, 2));

INSTANTIATE_TEST_SUITE_P(Chr, BadChrTest,
                         ::testing::Values(BadChr{"missing", false, {}}, BadChr{"empty_entry", true, {}},
                                           BadChr{"magic_kx", true, with_magic(k16x8, 'K', 'X')},
                                           BadChr{"magic_lower", true, with_magic(k16x8, 'k', 'r')},
                                           BadChr{"one_pixel_short", true, cut(k16x8, 1)},
                                           BadChr{"no_pixels", true, cut(k16x8, 128)},
                                           BadChr{"palette_cut", true, cut(k16x8, 500)},
                                           BadChr{"magic_only", true, std::vector<uint8_t>{'K', 'R'}}),
                         [](const auto& p) { return std::string(p.param.what); });

// Scrolling moves pixel (x, y) to (x + dx, y + dy) and leaves 0 wherever nothing arrived.
class ScrollTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(ScrollTest, MovesAndUncoversZero) {
  const auto [dx, dy] = GetParam();
  std::mt19937 rng(5);
  std::vector<uint8_t> before(NOX_W * NOX_H);
  for (auto& v : before) v = static_cast<uint8_t>(1 + rng() % 255);
  std::memcpy(nox_bg, before.data(), before.size());
  nox_scroll(dx, dy);
  for (int y = 0; y < NOX_H; ++y)
    for (int x = 0; x < NOX_W; ++x) {
      const int ox = x - dx, oy = y - dy;
      const bool inside = ox >= 0 && ox < NOX_W && oy >= 0 && oy < NOX_H;
      const uint8_t want = inside ? before[oy * NOX_W + ox] : 0;
      ASSERT_EQ(nox_bg[y * NOX_W + x], want) << "at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Screen, ScrollTest,
                         ::testing::Values(std::pair{240, 0}, std::pair{0, -320}, std::pair{-240, 5},
                                           std::pair{3, 320}, std::pair{0, 0}, std::pair{-1, 0}, std::pair{3, 2},
                                           std::pair{-239, 319}, std::pair{239, -319}, std::pair{17, -44},
                                           std::pair{-100, 1}));

// The simplest reading of composition: sprite pixel if not 0, else background, per pixel.
void reference_compose(const std::vector<uint8_t>& bg, const std::vector<uint8_t>& sp, int32_t pitch,
                       std::vector<uint32_t>& out) {
  const int32_t stride = pitch >> 2;
  for (int y = 0; y < NOX_H; ++y)
    for (int x = 0; x < NOX_W; ++x) {
      const int i = y * NOX_W + x;
      out[static_cast<size_t>(y * stride + x)] = nox_palette[sp[i] != 0 ? sp[i] : bg[i]];
    }
}

class ComposeTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(ComposeTest, EqualsPerPixelRuleAndEmptiesSprites) {
  const int32_t pitch = GetParam();
  std::mt19937 rng(static_cast<uint32_t>(pitch));
  for (uint32_t i = 0; i < 256; ++i) nox_palette[i] = 0x01000000u * (i & 0x7F) + i * 0x10203u + 1;
  std::vector<uint8_t> bg(NOX_W * NOX_H), sp(NOX_W * NOX_H, 0);
  for (auto& v : bg) v = static_cast<uint8_t>(rng());
  // Sprites in sparse single pixels, full 16-pixel runs, and one row-crossing band.
  for (int k = 0; k < 3000; ++k) sp[rng() % sp.size()] = static_cast<uint8_t>(1 + rng() % 255);
  for (int k = 0; k < 40; ++k) {
    const size_t at = (rng() % (sp.size() / 16)) * 16;
    for (size_t j = 0; j < 16; ++j) sp[at + j] = static_cast<uint8_t>(200 + j);
  }
  for (size_t j = 0; j < 300; ++j) sp[100 * NOX_W + 230 + j] = 77;
  std::memcpy(nox_bg, bg.data(), bg.size());
  std::memcpy(nox_sp, sp.data(), sp.size());

  const size_t words = static_cast<size_t>(pitch) * NOX_H / 4 + 1;
  std::vector<uint32_t> got(words, 0xDEADBEEF), want(words, 0xDEADBEEF);
  reference_compose(bg, sp, pitch, want);
  nox_compose(pitch, got.data());
  EXPECT_EQ(got, want);  // also: columns beyond 240 in each longer row stay untouched
  EXPECT_TRUE(lit_pixels(nox_sp).empty());
  EXPECT_EQ(0, std::memcmp(nox_bg, bg.data(), bg.size()));
}

INSTANTIATE_TEST_SUITE_P(Screen, ComposeTest, ::testing::Values(960, 962, 964, 1024, 1283, 4096));

// Frames in a row: whatever changed in between (one background pixel, one palette entry, a
// load that replaces the palette) shows in the very next composition.
TEST(Screen, ComposeFollowsEveryChangeBetweenFrames) {
  TempWorkDir dir;
  clear_planes();
  for (uint32_t i = 0; i < 256; ++i) nox_palette[i] = 0x100u + i;
  for (int i = 0; i < NOX_W * NOX_H; ++i) nox_bg[i] = static_cast<uint8_t>(i % 251);
  std::vector<uint32_t> out(NOX_W * NOX_H), want(NOX_W * NOX_H);
  auto check = [&](const char* step) {
    const std::vector<uint8_t> bg(nox_bg, nox_bg + NOX_W * NOX_H), sp(nox_sp, nox_sp + NOX_W * NOX_H);
    reference_compose(bg, sp, NOX_W * 4, want);
    nox_compose(NOX_W * 4, out.data());
    ASSERT_EQ(out, want) << step;
  };
  check("first frame");
  check("nothing changed");
  nox_bg[12345] = 200;
  check("one background pixel");
  nox_palette[200] = 0xABCDEF;
  check("one palette entry");
  nox_sp[12345] = 7;
  check("a sprite over the changed pixel");
  check("the sprite is gone again");
  ASSERT_EQ(load_pack_entries({{"P.CHR", chr_entry(1, 1, ramp_palette(0x5000), std::vector<uint8_t>{1})}}), 0);
  ASSERT_EQ(nox_loadchr(0, "P.CHR"), 0);
  check("a newly loaded palette");
  nox_clear(3);
  check("a cleared background");
  nox_free_banks();
}

}  // namespace
