// The sound synthesiser: pitch, envelope and clean ends, and the description parser's errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "synth.h"
#include "support/test_pack.h"

namespace {

SynthSound one_voice(const std::string& voice_line) {
  TempWorkDir tmp;
  std::ofstream("s.txt") << "sound t\n  voice " << voice_line << "\nend\n";
  std::vector<SynthSound> sounds;
  EXPECT_EQ(parse_sounds("s.txt", sounds), "");
  return sounds.empty() ? SynthSound{} : sounds[0];
}

int rising_crossings(const std::vector<int16_t>& s, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; ++i) n += s[i - 1] < 0 && s[i] >= 0;
  return n;
}

}  // namespace

struct PitchCase {
  const char* wave;
  double hz;
  friend void PrintTo(const PitchCase& c, std::ostream* os) { *os << c.wave << " " << c.hz << " Hz"; }
};

class SynthPitch : public ::testing::TestWithParam<PitchCase> {};

TEST_P(SynthPitch, EveryWaveSoundsAtItsFrequency) {
  const auto [wave, hz] = GetParam();
  const SynthSound s = one_voice(std::string(wave) + " len=1000 freq=" + std::to_string(hz) + " vol=40");
  std::vector<int16_t> out;
  ASSERT_EQ(render_sound(s, out), "");
  ASSERT_EQ(out.size(), 22050u);
  // Away from the fades: one rising zero crossing per period.
  EXPECT_NEAR(rising_crossings(out, 1000, 21050) / (20050 / 22050.0), hz, hz * 0.02 + 2);
}

INSTANTIATE_TEST_SUITE_P(Waves, SynthPitch,
                         ::testing::Values(PitchCase{"square", 440}, PitchCase{"triangle", 110},
                                           PitchCase{"saw", 1000}, PitchCase{"sine", 261.63},
                                           PitchCase{"square duty=25", 880}));

TEST(Synth, SweepEndsAtItsTargetPitch) {
  const SynthSound s = one_voice("square len=1000 freq=200>800 vol=30");
  std::vector<int16_t> out;
  ASSERT_EQ(render_sound(s, out), "");
  // First tenth near 230 Hz on average, last tenth near 770 Hz.
  EXPECT_NEAR(rising_crossings(out, 0, 2205) * 10.0, 230, 25);
  EXPECT_NEAR(rising_crossings(out, 19845, 22050) * 10.0, 770, 25);
}

TEST(Synth, EnvelopeFollowsAttackSustainAndRelease) {
  const SynthSound s = one_voice("square len=500 freq=1000 vol=50 attack=100 sustain=50 release=100");
  std::vector<int16_t> out;
  ASSERT_EQ(render_sound(s, out), "");
  auto peak = [&](int from_ms, int to_ms) {
    int p = 0;
    for (int i = from_ms * 22050 / 1000; i < to_ms * 22050 / 1000; ++i) p = std::max(p, std::abs(int{out[static_cast<size_t>(i)]}));
    return p;
  };
  EXPECT_LT(peak(0, 20), peak(80, 100));         // still rising in the attack
  EXPECT_GT(peak(100, 120), 14000);              // at the peak (50 % of full scale)
  EXPECT_NEAR(peak(380, 400), 16383 / 2, 1500);  // settled on the sustain level
  EXPECT_LT(peak(480, 500), 2000);               // released
}

TEST(Synth, RenderingIsDeterministicAndCleanAtTheEnds) {
  const SynthSound s = one_voice("noise len=200 freq=9000>300 curve=out vol=40 lp=3000");
  std::vector<int16_t> a, b;
  ASSERT_EQ(render_sound(s, a), "");
  ASSERT_EQ(render_sound(s, b), "");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.front(), 0);
  EXPECT_EQ(a.back(), 0);
  double sum = 0;
  for (int16_t v : a) sum += v;
  EXPECT_LT(std::abs(sum / static_cast<double>(a.size())), 100.0);
}

TEST(Synth, NarrowSquareHasNoOffset) {
  const SynthSound s = one_voice("square len=400 freq=500 duty=12.5 vol=30 attack=0 release=0");
  std::vector<int16_t> out;
  ASSERT_EQ(render_sound(s, out), "");
  double sum = 0;
  for (int16_t v : out) sum += v;
  EXPECT_LT(std::abs(sum / static_cast<double>(out.size())), 30.0);
}

struct ParseCase {
  const char* text;
  const char* expect;
  friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << "'" << c.expect << "'"; }
};

class SynthParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(SynthParse, ErrorsNameTheLineAndTheProblem) {
  TempWorkDir tmp;
  std::ofstream("bad.txt") << GetParam().text;
  std::vector<SynthSound> sounds;
  const std::string err = parse_sounds("bad.txt", sounds);
  EXPECT_NE(err.find(GetParam().expect), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, SynthParse,
    ::testing::Values(ParseCase{"sound a\n voice buzz len=5 freq=5 vol=5\nend\n", "bad.txt:2: unknown wave"},
                      ParseCase{"sound a\n voice sine freq=5 vol=5\nend\n", "bad.txt:2: voice needs len"},
                      ParseCase{"sound a\n voice sine len=5 freq=5 vol=500\nend\n", "vol is a percentage"},
                      ParseCase{"sound a\n voice sine len=5 freq=5>x vol=5\nend\n", "freq must be"},
                      ParseCase{"sound a\n voice sine len=5 freq=5 vol=5 attack=4 release=4\nend\n", "longer than the voice"},
                      ParseCase{"sound a\n voice sine len=5 freq=5 vol=5\n", "has no 'end'"},
                      ParseCase{"sound a\nend\n", "has no voice"},
                      ParseCase{"sound a\n voice sine len=5 freq=5 vol=5\nend\nsound a\n voice sine len=5 freq=5 vol=5\nend\n",
                                "bad.txt:4: sound 'a' is defined twice"},
                      ParseCase{"voice sine len=5 freq=5 vol=5\n", "bad.txt:1: expected 'sound NAME'"}));
