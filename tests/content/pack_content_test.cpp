// The real pack built from assets/: it loads with the game's own loaders, every picture the
// game copies lies inside its bank and has something drawn in it, the palette is laid out for
// the fixed indices the game draws with, and every effect is clean at both ends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "engine/screen.h"
#include "engine/sound.h"
#include "media.h"
#include "pack/pack.h"
#include "packtool.h"
#include "rects.h"
#include "support/test_pack.h"

namespace {

const std::map<std::string_view, uint8_t> kBankOf = {
    {"FONT.CHR", 0}, {"PIXBRK.CHR", 1}, {"TITLE.CHR", 2}, {"ALL.CHR", 3}};

struct EffectUse {
  uint8_t slot;
  const char* entry;
  double max_ms;  // how long the effect may last for its use
};
const EffectUse kEffects[] = {
    {5, "EFF08.PCM", 300}, {6, "EFF09.PCM", 200}, {8, "EFF01.PCM", 80},  {10, "EFF02.PCM", 200},
    {11, "EFF03.PCM", 200}, {12, "EFF04.PCM", 200}, {13, "EFF05.PCM", 200}, {7, "EFF06.PCM", 400},
    {3, "EFF07.PCM", 1500}, {4, "EFF00.PCM", 300}, {1, "EFF10.PCM", 80},  {2, "EFF11.PCM", 300},
    {0, "EFF12.PCM", 800},
};

class RealPack : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = real_pack_path();
    ASSERT_FALSE(path_.empty()) << "ROMDATA.BIN has not been built";
    pack_unload();
    ASSERT_EQ(loadbin(path_.c_str()), 0);
    for (auto [entry, bank] : kBankOf) ASSERT_EQ(nox_loadchr(bank, std::string(entry).c_str()), 0) << entry;
    for (const EffectUse& e : kEffects) ASSERT_EQ(nox_loadpcm(e.slot, e.entry), 0) << e.entry;
  }
  void TearDown() override {
    nox_free_banks();
    nox_free_slots();
    pack_unload();
  }
  TempWorkDir dir_;  // loadbin writes LOG.TXT
  std::string path_;
};

double luminance(uint32_t c) {
  auto lin = [](uint32_t v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(c >> 16 & 0xFF) + 0.7152 * lin(c >> 8 & 0xFF) + 0.0722 * lin(c & 0xFF);
}

double contrast(uint32_t a, uint32_t b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

TEST_F(RealPack, HoldsExactlyTheSeventeenEntriesTheGameLoads) {
  EXPECT_EQ(pack_count(), 17);
  for (int slot : {9, 14, 255}) EXPECT_EQ(nox_slots[slot].size, 0u) << slot;
}

TEST_F(RealPack, EveryFixedRectangleLiesInsideItsBankAndShowsSomething) {
  for (const FixedRect& r : kFixedRects) {
    const NoxBank& b = nox_banks[kBankOf.at(r.entry)];
    SCOPED_TRACE(std::string(r.entry) + " " + std::string(r.what));
    ASSERT_GE(r.x, 0);
    ASSERT_GE(r.y, 0);
    ASSERT_LE(r.x + r.w, b.width);
    ASSERT_LE(r.y + r.h, b.height);
    int ink = 0;
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x) ink += b.pixels[y * b.width + x] != 0;
    if (r.what == "small blank") EXPECT_EQ(ink, 0);
    else if (r.what == "small full stop") EXPECT_GT(ink, 0);
    else EXPECT_GT(ink, r.w * r.h / 10) << "picture is (nearly) empty";
  }
}

TEST_F(RealPack, FrameTilesAreFullyOpaqueBecauseTheyAreCopiedOntoTheBackground) {
  const NoxBank& b = nox_banks[1];
  for (const FixedRect& r : kFixedRects) {
    if (r.what.substr(0, 5) != "frame") continue;
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x) EXPECT_NE(b.pixels[y * b.width + x], 0) << r.what << " " << x << "," << y;
  }
}

TEST_F(RealPack, LargeFontHasAGlyphForEveryPrintableCode) {
  const NoxBank& b = nox_banks[0];
  for (int ch = 33; ch < 128; ++ch) {
    const int gx = 8 * ((ch - 32) % 16), gy = 8 * ((ch - 32) / 16);
    int ink = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) ink += b.pixels[(gy + y) * b.width + gx + x] != 0;
    EXPECT_GT(ink, 2) << "code " << ch;
  }
  // Distinct letters must not share a picture.
  auto glyph = [&](int ch) {
    std::string s;
    const int gx = 8 * ((ch - 32) % 16), gy = 8 * ((ch - 32) / 16);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) s += static_cast<char>(b.pixels[(gy + y) * b.width + gx + x]);
    return s;
  };
  std::map<std::string, int> seen;
  for (int ch = 33; ch < 127; ++ch) {
    auto [it, fresh] = seen.emplace(glyph(ch), ch);
    EXPECT_TRUE(fresh) << "codes " << it->second << " and " << ch << " look the same";
  }
}

TEST_F(RealPack, PaletteRampsFadeFromDarkToBright) {
  // Sparks and stars step one index down every other frame within a group of sixteen.
  for (int k = 0; k < 16; ++k) {
    for (int i = 16 * k; i < 16 * k + 15; ++i)
      EXPECT_LT(luminance(nox_palette[i]), luminance(nox_palette[i + 1])) << "index " << i;
    EXPECT_LT(luminance(nox_palette[16 * k]), 0.03) << "group " << k << " does not fade out";
    EXPECT_GT(luminance(nox_palette[16 * k + 15]), 0.15) << "group " << k << " starts too dim";
  }
}

TEST_F(RealPack, AllFourPicturesCarryTheSamePalette) {
  uint32_t size = 0;
  const uint8_t* all = findbin("ALL.CHR", &size);
  ASSERT_NE(all, nullptr);
  for (const char* name : {"FONT.CHR", "PIXBRK.CHR", "TITLE.CHR"}) {
    const uint8_t* p = findbin(name, &size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p + 4, all + 4, 1024), 0) << name;
  }
}

TEST_F(RealPack, FixedIndicesStandOutWhereTheGameDrawsThem) {
  const uint32_t bg = nox_palette[2];
  // Button fills differ from the playfield, outlines from their fills, the highlight from both.
  EXPECT_GT(contrast(nox_palette[6], bg), 1.3);
  EXPECT_GT(contrast(nox_palette[15], nox_palette[6]), 2.0);
  EXPECT_GT(contrast(nox_palette[54], nox_palette[6]), 2.0);
  EXPECT_GT(contrast(nox_palette[53], nox_palette[6]), 2.0);
  EXPECT_GT(contrast(nox_palette[63], nox_palette[15]), 2.0);
  EXPECT_GT(contrast(nox_palette[99], nox_palette[102]), 1.3);
  // Pointer marks, ranking mark, guide dots and every barrier row show on the playfield.
  for (int i : {8, 10, 70, 72, 74, 173, 62, 60, 58, 56, 54})
    EXPECT_GT(contrast(nox_palette[i], bg), 1.5) << "index " << i;
}

TEST_F(RealPack, TextInkIsLegibleOnEveryFillItIsDrawnOver) {
  // Collect the font's ink colours (its shadow is the darkest of them).
  const NoxBank& b = nox_banks[0];
  std::map<uint8_t, int> counts;
  for (int i = 0; i < b.width * b.height; ++i)
    if (b.pixels[i]) ++counts[b.pixels[i]];
  ASSERT_GE(counts.size(), 2u);
  uint8_t shadow = counts.begin()->first;
  for (auto [c, n] : counts)
    if (luminance(nox_palette[c]) < luminance(nox_palette[shadow])) shadow = c;
  for (int fill : {2, 6, 15, 70, 102}) {
    for (auto [c, n] : counts) {
      if (c == shadow) continue;
      // Every letter colour must stand out from the fill or, failing that, have a shadow that does.
      const double body = contrast(nox_palette[c], nox_palette[fill]);
      const double edge = contrast(nox_palette[c], nox_palette[shadow]);
      EXPECT_TRUE(body >= 3.0 || (body >= 2.0 && edge >= 7.0))
          << "ink " << int(c) << " on fill " << fill << ": " << body << ", against its shadow " << edge;
    }
  }
}

TEST_F(RealPack, EveryEffectIsCleanAndFitsItsUse) {
  for (const EffectUse& e : kEffects) {
    SCOPED_TRACE(e.entry);
    const NoxSlot& s = nox_slots[e.slot];
    ASSERT_GT(s.size, 0u);
    ASSERT_EQ(s.size % 2, 0u);
    const size_t n = s.size / 2;
    auto sample = [&](size_t i) { return static_cast<int16_t>(s.data[2 * i] | s.data[2 * i + 1] << 8); };
    int peak = 0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      peak = std::max(peak, std::abs(int{sample(i)}));
      sum += sample(i);
    }
    EXPECT_LT(peak, 32000) << "clips";
    EXPECT_GT(peak, 3000) << "too quiet to hear";
    EXPECT_LT(std::abs(sum / static_cast<double>(n)), 100.0) << "DC offset";
    EXPECT_LT(std::abs(int{sample(0)}), 200);
    EXPECT_LT(std::abs(int{sample(n - 1)}), 200);
    EXPECT_LE(static_cast<double>(n) * 1000.0 / 22050, e.max_ms);
  }
}

TEST_F(RealPack, MarchNotesFormADescendingBassCycle) {
  // Count rising zero crossings of each note: four different low pitches, each lower than the last.
  double previous = 1e9;
  for (int slot : {10, 11, 12, 13}) {
    const NoxSlot& s = nox_slots[slot];
    const size_t n = s.size / 2;
    // Period from the first to the last rising zero crossing.
    int crossings = 0;
    size_t first = 0, latest = 0;
    int16_t last = 0;
    for (size_t i = 0; i < n; ++i) {
      const auto v = static_cast<int16_t>(s.data[2 * i] | s.data[2 * i + 1] << 8);
      if (last < 0 && v >= 0) {
        if (crossings++ == 0) first = i;
        latest = i;
      }
      last = v;
    }
    ASSERT_GE(crossings, 3);
    const double hz = 22050.0 * (crossings - 1) / static_cast<double>(latest - first);
    EXPECT_GT(hz, 40);
    EXPECT_LT(hz, 160);
    EXPECT_LT(hz, previous) << "slot " << int(slot);
    previous = hz;
  }
}

TEST(PackBuild, IsReproducibleAndMatchesTheBuiltPack) {
  TempWorkDir dir;
  ASSERT_EQ(build_pack(PIXBRK_ASSETS_DIR, "a.bin"), "");
  ASSERT_EQ(build_pack(PIXBRK_ASSETS_DIR, "b.bin"), "");
  std::vector<uint8_t> a, b;
  ASSERT_EQ(read_whole_file("a.bin", a), "");
  ASSERT_EQ(read_whole_file("b.bin", b), "");
  EXPECT_TRUE(a == b) << "two builds of the same sources differ";
  const std::string real = real_pack_path();
  if (!real.empty()) {
    std::vector<uint8_t> r;
    ASSERT_EQ(read_whole_file(real, r), "");
    EXPECT_TRUE(a == r) << "the build's ROMDATA.BIN differs from a fresh build of assets/";
  }
}

TEST(PackBuild, ExtractThenBuildGivesTheSamePack) {
  TempWorkDir dir;
  ASSERT_EQ(build_pack(PIXBRK_ASSETS_DIR, "first.bin"), "");
  std::vector<uint8_t> first;
  ASSERT_EQ(read_whole_file("first.bin", first), "");
  std::vector<PackEntry> entries;
  ASSERT_EQ(parse_pack(first, entries), "");
  ASSERT_EQ(extract_pack(entries, "out"), "");
  EXPECT_TRUE(std::filesystem::exists("out/font.chr.png"));
  EXPECT_TRUE(std::filesystem::exists("out/eff07.pcm.wav"));
  ASSERT_EQ(build_pack("out", "second.bin"), "");
  std::vector<uint8_t> second;
  ASSERT_EQ(read_whole_file("second.bin", second), "");
  EXPECT_TRUE(first == second) << "extract then build changed the pack";
}

TEST(PackBuild, SourcePicturesDefineAllTheirColours) {
  for (const char* f : {"font.png", "pixbrk.png", "title.png", "all.png"}) {
    IndexedImage img;
    ASSERT_EQ(read_indexed_png(std::string(PIXBRK_ASSETS_DIR) + "/" + f, img), "");
    EXPECT_EQ(img.palette_count, 256) << f;
  }
}
