#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
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

// Mixer scripts, one token per step: "pN" requests slot N; "mT:S" mixes a chunk that must start
// with effect T at sample S; "m-" mixes a silent chunk; "iN" expects slot N idle at position 0;
// "u" and "U" turn the mute flag on and off. Effects 3 and 5 last three chunks (the last one
// starts at sample 4410), 7 exactly one, 8 ten samples.
struct Script {
  const char* what;
  const char* steps;
};
class MixerScript : public MixerTest, public ::testing::WithParamInterface<Script> {};

TEST_P(MixerScript, Runs) {
  std::istringstream in(GetParam().steps);
  for (std::string t; in >> t;) {
    SCOPED_TRACE(t);
    const int n = t.size() > 1 && t[1] != '-' ? std::stoi(t.substr(1)) : -1;
    if (t[0] == 'p') nox_playpcm(static_cast<uint8_t>(n));
    if (t[0] == 'u' || t[0] == 'U') nox_set_mute(t[0] == 'u' ? 1 : 0);
    if (t[0] == 'i') {
      EXPECT_EQ(nox_slots[n].state, 0u);
      EXPECT_EQ(nox_slots[n].position, 0u);
    }
    if (t[0] == 'm') {
      const Chunk c = mix();
      if (n < 0) {
        EXPECT_TRUE(silent(c));
      } else {
        EXPECT_EQ(tag_of(c), n);
        EXPECT_EQ(sample_of(c), std::stoi(t.substr(t.find(':') + 1)) & 0xFF);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sound, MixerScript,
    ::testing::Values(Script{"nothing_requested", "m- p9 i9 m-"},
                      Script{"plays_through_then_stops", "p3 m3:0 m3:2205 m3:4410 i3 m-"},
                      Script{"short_effects_end_in_one_chunk", "p8 m8:0 i8 p7 m7:0 i7 m-"},
                      Script{"lower_slot_wins", "p5 p3 m3:0 i5 m3:2205"},
                      Script{"higher_request_dropped", "p3 m3:0 p5 m3:2205 i5 m3:4410 m- p5 m5:0"},
                      Script{"lower_request_cuts_off", "p5 m5:0 p3 m3:0 i5 m3:2205"},
                      Script{"request_again_restarts", "p3 m3:0 m3:2205 p3 m3:0 p3 p3 m3:0 m3:2205"},
                      Script{"mute_lets_time_pass", "u p3 m- m- U m3:4410 i3 m-"}),
    [](const auto& p) { return std::string(p.param.what); });

TEST_F(MixerTest, TailIsFollowedBySilence) {
  nox_playpcm(3);
  mix();
  mix();
  const Chunk c = mix();  // 12,000 - 8,820 = 3,180 bytes of effect
  EXPECT_EQ(c[3179], 3);
  EXPECT_EQ(c[3180], 0);
  EXPECT_EQ(c[NOX_CHUNK_BYTES - 1], 0);
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
