// Truncated and random pack images, CHR and PCM entries: every one is loaded or refused
// cleanly, never read past its end, and never makes the loader allocate more than its length
// can justify. Under the sanitizer build any stray read fails the test on the spot.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "engine/screen.h"
#include "engine/sound.h"
#include "engine_test_util.h"
#include "pack/pack.h"
#include "support/test_pack.h"

namespace {
using Bytes = std::vector<uint8_t>;

// Loads an image and checks the invariants that hold whatever the bytes were.
void check_load(const Bytes& image) {
  std::remove("LOG.TXT");
  const int r = load_raw_pack(image);
  ASSERT_TRUE(r == 0 || r == -1);
  // Directory entries cost at most twice their 16-byte name fields, data at most its length.
  ASSERT_LE(pack_peak_bytes(), 64 + 2 * image.size()) << "image of " << image.size() << " bytes";
  if (r == -1) {
    ASSERT_EQ(pack_count(), 0);
    // A pack that claims more than it holds is broken; memory never runs short for it.
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_NE(lines[1].find("File broken: ROMDATA.BIN"), std::string::npos)
        << lines[1] << " for a count of " << (image.size() >= 4 ? image[3] : 0) << "...";
  }
}

TEST(BadInput, EveryTruncationOfAGoodPack) {
  TempWorkDir dir;
  std::vector<PackEntry> entries{{"A.CHR", chr_entry(3, 2, ramp_palette(0), Bytes(6, 1))},
                                 {"B.PCM", pcm_entry(std::vector<int16_t>(5, 9))},
                                 {"EMPTY", {}}};
  const Bytes full = pack_image(entries);
  for (size_t n = 0; n < full.size(); ++n) {
    check_load(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
    ASSERT_EQ(pack_count(), 0) << "a pack cut to " << n << " bytes loaded";
  }
  check_load(full);
  EXPECT_EQ(pack_count(), 3);
}

TEST(BadInput, RandomImagesAndHeaders) {
  TempWorkDir dir;
  std::mt19937 rng(20261207);
  for (int round = 0; round < 300; ++round) {
    Bytes image(rng() % 200);
    for (auto& b : image) b = static_cast<uint8_t>(rng());
    // Half of them get a small plausible count so the name and size paths are reached too.
    if (image.size() >= 4 && round % 2 == 0) {
      image[0] = static_cast<uint8_t>(rng() % 4);
      image[1] = image[2] = image[3] = 0;
      for (size_t i = 4; i < image.size() && i < 4 + 16 * 3; i += 16)
        if (i + 15 < image.size()) image[i + 15] = 0;
    }
    check_load(image);
  }
  // Counts and sizes that promise far more than a 20-byte file holds.
  for (uint32_t count : {0x7FFFFFFFu, 0x10000000u, 0x00010000u, 2u}) {
    Bytes image{uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
    image.resize(20, 0);
    check_load(image);
    EXPECT_EQ(pack_count(), 0);
  }
  for (uint32_t size : {0xFFFFFFFFu, 0x80000000u, 0x40000000u, 5u}) {
    Bytes image{1, 0, 0, 0, 'A' ^ 0x5C};
    image.resize(20, 0);
    for (int s = 24; s >= 0; s -= 8) image.push_back(uint8_t(size >> s));
    image.push_back(1);
    check_load(image);
    EXPECT_EQ(pack_count(), 0);
  }
}

// Random entries that mostly begin like real ones, decoded from a pack where each entry's
// buffer is exactly its length: a decoder reading one byte too far is caught by the sanitizer.
TEST(BadInput, RandomChrAndPcmEntries) {
  TempWorkDir dir;
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<PackEntry> entries;
    for (int k = 0; k < 8; ++k) {
      const size_t len = k < 4 ? rng() % 1400 : rng() % 24;
      Bytes chr(len);
      for (auto& b : chr) b = static_cast<uint8_t>(rng());
      if (len >= 2 && rng() % 4 != 0) chr[0] = 'K', chr[1] = 'R';
      entries.push_back({"C" + std::to_string(k), chr});
      Bytes pcm(rng() % 40);
      for (auto& b : pcm) b = static_cast<uint8_t>(rng() % 48);
      if (pcm.size() >= 4 && rng() % 4 != 0) pcm[0] = 'E', pcm[1] = 'F', pcm[2] = 'F', pcm[3] = 0;
      if (pcm.size() >= 8 && rng() % 2 != 0) pcm[4] = pcm[5] = pcm[6] = 0;
      entries.push_back({"P" + std::to_string(k), pcm});
    }
    ASSERT_EQ(load_pack_entries(entries), 0);
    for (int k = 0; k < 8; ++k) {
      const PackEntry& c = entries[static_cast<size_t>(2 * k)];
      if (nox_loadchr(static_cast<uint8_t>(k), c.name.c_str()) == 0) {
        const NoxBank& b = nox_banks[k];
        ASSERT_EQ(c.data.size() >= 1028u + static_cast<size_t>(b.width * b.height), true);
        ASSERT_EQ(b.width, c.data[2] + 1);
      } else {
        ASSERT_EQ(nox_banks[k].pixels, nullptr);
      }
      const PackEntry& p = entries[static_cast<size_t>(2 * k + 1)];
      if (nox_loadpcm(static_cast<uint8_t>(k), p.name.c_str()) == 0) {
        ASSERT_LE(nox_slots[k].size + 8u, p.data.size());
      } else {
        ASSERT_EQ(nox_slots[k].data, nullptr);
      }
    }
  }
  nox_free_banks();
  nox_free_slots();
}
}  // namespace
