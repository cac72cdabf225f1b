#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "engine/sound.h"
#include "engine_test_util.h"
#include "support/test_pack.h"

namespace {
using Chunk = std::array<uint8_t, NOX_CHUNK_BYTES>;

// An effect of `samples` samples whose every sample is (tag << 8 | n & 0xFF) for sample n, so
// each byte of output tells which effect and where in it.
std::vector<uint8_t> effect(int samples, uint8_t tag) {
  std::vector<int16_t> s(static_cast<size_t>(samples));
  for (int n = 0; n < samples; ++n) s[static_cast<size_t>(n)] = static_cast<int16_t>(tag << 8 | (n & 0xFF));
  return pcm_entry(s);
}

Chunk mix() {
  Chunk c;
  c.fill(0xAA);
  nox_mixpcm(c.data(), NOX_CHUNK_BYTES);
  return c;
}

bool silent(const Chunk& c) {
  for (uint8_t b : c)
    if (b != 0) return false;
  return true;
}

// Which effect a chunk starts with, and at which sample.
int tag_of(const Chunk& c) { return c[1]; }
int sample_of(const Chunk& c) { return c[0]; }

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nox_free_slots();
    nox_set_mute(0);
    ASSERT_EQ(load_pack_entries({{"LONG3.PCM", effect(6000, 3)},  // 12,000 bytes: three chunks
                                 {"LONG5.PCM", effect(6000, 5)},
                                 {"SHORT.PCM", effect(2205, 7)},  // exactly one chunk
                                 {"TINY.PCM", effect(10, 8)}}),
              0);
    ASSERT_EQ(nox_loadpcm(3, "LONG3.PCM"), 0);
    ASSERT_EQ(nox_loadpcm(5, "LONG5.PCM"), 0);
    ASSERT_EQ(nox_loadpcm(7, "SHORT.PCM"), 0);
    ASSERT_EQ(nox_loadpcm(8, "TINY.PCM"), 0);
  }
  void TearDown() override {
    nox_free_slots();
    nox_set_mute(0);
  }
  TempWorkDir dir;
};

TEST_F(MixerTest, NothingRequestedIsSilence) {
  EXPECT_TRUE(silent(mix()));
  nox_playpcm(9);  // empty slot: ignored
  EXPECT_EQ(nox_slots[9].state, 0u);
  EXPECT_TRUE(silent(mix()));
}

TEST_F(MixerTest, EffectPlaysThroughItsChunksThenStops) {
  nox_playpcm(3);
  const Chunk a = mix(), b = mix(), c = mix();
  EXPECT_EQ(tag_of(a), 3);
  EXPECT_EQ(sample_of(a), 0);
  EXPECT_EQ(sample_of(b), 2205 & 0xFF);
  EXPECT_EQ(sample_of(c), 4410 & 0xFF);
  // The tail: 12,000 - 8,820 = 3,180 bytes, then silence up to the chunk's end.
  EXPECT_EQ(c[3179], 3);
  EXPECT_EQ(c[3180], 0);
  EXPECT_EQ(nox_slots[3].state, 0u);
  EXPECT_TRUE(silent(mix()));
}

TEST_F(MixerTest, ShortEffectEndsWithinOneChunk) {
  nox_playpcm(8);
  const Chunk a = mix();
  EXPECT_EQ(tag_of(a), 8);
  EXPECT_EQ(a[19], 8);
  EXPECT_EQ(a[20], 0);
  EXPECT_EQ(nox_slots[8].state, 0u);
  nox_playpcm(7);
  EXPECT_EQ(mix()[NOX_CHUNK_BYTES - 1], 7);
  EXPECT_EQ(nox_slots[7].state, 0u);  // exactly one chunk long: idle at once
}

TEST_F(MixerTest, LowerSlotWinsAndCancelsTheOther) {
  nox_playpcm(5);
  nox_playpcm(3);
  EXPECT_EQ(tag_of(mix()), 3);
  EXPECT_EQ(nox_slots[5].state, 0u);
  EXPECT_EQ(nox_slots[5].position, 0u);
}

TEST_F(MixerTest, HigherRequestWhileLowerPlaysIsDropped) {
  nox_playpcm(3);
  mix();
  nox_playpcm(5);
  EXPECT_EQ(tag_of(mix()), 3);
  EXPECT_EQ(nox_slots[5].state, 0u);
  EXPECT_EQ(tag_of(mix()), 3);  // 3 ends here
  EXPECT_TRUE(silent(mix()));   // 5 was not queued
  nox_playpcm(5);
  const Chunk c = mix();
  EXPECT_EQ(tag_of(c), 5);
  EXPECT_EQ(sample_of(c), 0);  // from its beginning
}

TEST_F(MixerTest, LowerRequestCutsOffHigherInProgress) {
  nox_playpcm(5);
  mix();
  nox_playpcm(3);
  EXPECT_EQ(tag_of(mix()), 3);
  EXPECT_EQ(nox_slots[5].state, 0u);
}

TEST_F(MixerTest, RepeatedRequestRestartsFromTheStart) {
  nox_playpcm(3);
  mix();
  nox_playpcm(3);
  EXPECT_GE(nox_slots[3].state, 2u);
  const Chunk c = mix();
  EXPECT_EQ(sample_of(c), 0);
  EXPECT_EQ(nox_slots[3].state, 1u);
  nox_playpcm(3);
  nox_playpcm(3);  // two requests before the mixer sees them are one restart
  EXPECT_EQ(nox_slots[3].state, 3u);
  EXPECT_EQ(sample_of(mix()), 0);
  EXPECT_EQ(sample_of(mix()), 2205 & 0xFF);
}

TEST_F(MixerTest, MuteSilencesButTimeGoesOn) {
  nox_set_mute(1);
  EXPECT_EQ(nox_get_mute(), 1);
  nox_playpcm(3);
  EXPECT_TRUE(silent(mix()));
  EXPECT_TRUE(silent(mix()));
  nox_set_mute(0);
  const Chunk c = mix();  // the third and last chunk of the effect
  EXPECT_EQ(sample_of(c), 4410 & 0xFF);
  EXPECT_EQ(nox_slots[3].state, 0u);
}

TEST_F(MixerTest, ShortBufferIsNeverOverrun) {
  nox_playpcm(3);
  std::array<uint8_t, 64> buf{};
  buf.fill(0xAA);
  nox_mixpcm(buf.data(), 16);
  EXPECT_EQ(buf[15], 3);
  EXPECT_EQ(buf[16], 0xAA);
  EXPECT_EQ(nox_slots[3].position, 16u);
}

struct BadPcm {
  const char* what;
  std::vector<uint8_t> data;
};
class BadPcmTest : public ::testing::TestWithParam<BadPcm> {};

TEST_P(BadPcmTest, RefusedSlotLeftEmpty) {
  TempWorkDir dir;
  nox_free_slots();
  ASSERT_EQ(load_pack_entries({{"GOOD.PCM", effect(100, 1)}, {"BAD.PCM", GetParam().data}}), 0);
  ASSERT_EQ(nox_loadpcm(4, "GOOD.PCM"), 0);
  EXPECT_EQ(nox_slots[4].size, 200u);
  EXPECT_EQ(nox_loadpcm(4, "BAD.PCM"), -1);
  EXPECT_EQ(nox_slots[4].size, 0u);
  EXPECT_EQ(nox_slots[4].data, nullptr);
  nox_playpcm(4);
  EXPECT_EQ(nox_slots[4].state, 0u);
  EXPECT_EQ(nox_loadpcm(4, "NONE.PCM"), -1);
  nox_free_slots();
}

std::vector<uint8_t> patched(std::vector<uint8_t> d, size_t at, uint8_t v) {
  d[at] = v;
  return d;
}
std::vector<uint8_t> shortened(std::vector<uint8_t> d, size_t n) {
  d.resize(d.size() - n);
  return d;
}

INSTANTIATE_TEST_SUITE_P(Sound, BadPcmTest,
                         ::testing::Values(BadPcm{"magic_then_1", patched(effect(4, 1), 3, 1)},
                                           BadPcm{"magic_eff_lower", patched(effect(4, 1), 2, 'f')},
                                           BadPcm{"length_past_data", shortened(effect(4, 1), 1)},
                                           BadPcm{"length_huge", patched(effect(4, 1), 4, 0xFF)},
                                           BadPcm{"header_only_part", std::vector<uint8_t>{'E', 'F', 'F', 0, 0}},
                                           BadPcm{"empty", {}}),
                         [](const auto& p) { return std::string(p.param.what); });

TEST(Sound, ExtraBytesAfterSamplesAreIgnored) {
  TempWorkDir dir;
  nox_free_slots();
  auto d = effect(4, 2);
  d.push_back(0x55);
  ASSERT_EQ(load_pack_entries({{"E.PCM", d}, {"Z.PCM", pcm_entry({})}}), 0);
  ASSERT_EQ(nox_loadpcm(0, "E.PCM"), 0);
  EXPECT_EQ(nox_slots[0].size, 8u);
  ASSERT_EQ(nox_loadpcm(1, "Z.PCM"), 0);  // an effect of no samples
  nox_free_slots();
}
}  // namespace
