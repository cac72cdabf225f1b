// Frame pacing: exact 60 Hz deadlines, catching up after a short delay, starting afresh after a
// stall, and leaving vsync when the display does not run at 60 Hz.
#include <gtest/gtest.h>

#include <algorithm>

#include "nox_sdl/pacer.h"

namespace {

constexpr int64_t MS = 1000000;
constexpr int64_t BASE = 5000 * MS;

TEST(PacerTimer, TenSecondsOfDeadlinesEndExactlyTenSecondsLaterWithNoDrift) {
  Pacer p{};
  pacer_start(&p, PaceMode::Timer, BASE);
  int64_t previous = pacer_deadline(&p);
  EXPECT_EQ(previous, BASE);
  for (int n = 1; n <= 600; ++n) {
    pacer_presented(&p, pacer_deadline(&p));
    const int64_t d = pacer_deadline(&p);
    const int64_t step = d - previous;
    ASSERT_TRUE(step == 16666666 || step == 16666667) << "frame " << n << " step " << step;
    previous = d;
  }
  EXPECT_EQ(previous, BASE + 10000 * MS);
  EXPECT_EQ(p.rebases, 0u);
}

TEST(PacerTimer, ALateFrameIsCaughtUpOnTheOriginalSchedule) {
  Pacer p{};
  pacer_start(&p, PaceMode::Timer, BASE);
  for (int n = 0; n < 10; ++n) pacer_presented(&p, pacer_deadline(&p));
  // Frame 10 is shown 60 ms late: the next deadlines stay where they were, already passed.
  pacer_presented(&p, pacer_deadline(&p) + 60 * MS);
  EXPECT_EQ(p.rebases, 0u);
  EXPECT_EQ(pacer_deadline(&p), BASE + 11 * 1000 * MS / 60);
}

TEST(PacerTimer, AStallStartsAFreshRunInsteadOfRacing) {
  Pacer p{};
  pacer_start(&p, PaceMode::Timer, BASE);
  for (int n = 0; n < 10; ++n) pacer_presented(&p, pacer_deadline(&p));
  const int64_t late = pacer_deadline(&p) + 500 * MS;
  pacer_presented(&p, late);
  EXPECT_EQ(p.rebases, 1u);
  EXPECT_EQ(pacer_deadline(&p), late);
  pacer_presented(&p, late);
  EXPECT_EQ(pacer_deadline(&p), late + 16666666);
}

struct VsyncCase {
  const char* name;
  int64_t interval_ns;
  bool keeps_vsync;
};

void PrintTo(const VsyncCase& c, std::ostream* os) { *os << c.name; }

class PacerVsync : public ::testing::TestWithParam<VsyncCase> {};

TEST_P(PacerVsync, KeepsVsyncOnlyOnASixtyHertzDisplay) {
  Pacer p{};
  int64_t now = BASE;
  pacer_start(&p, PaceMode::Vsync, now);
  int switched = 0;
  int64_t switched_at_frame = -1;
  EXPECT_EQ(pacer_deadline(&p), 0);
  for (int n = 0; n < 2000; ++n) {
    EXPECT_EQ(p.mode == PaceMode::Vsync ? 0 : 1, switched);
    if (p.mode == PaceMode::Vsync && n > 0) {
      // Held back only if the display were to come round sooner than about 71 Hz.
      EXPECT_EQ(pacer_deadline(&p), now + PACER_VSYNC_FLOOR_NS);
    }
    now = std::max(now + GetParam().interval_ns, pacer_deadline(&p));
    if (pacer_presented(&p, now) != 0) {
      switched++;
      switched_at_frame = n;
      // The timer takes over from the moment of the switch.
      EXPECT_EQ(pacer_deadline(&p), now);
    }
  }
  if (GetParam().keeps_vsync) {
    EXPECT_EQ(switched, 0);
    EXPECT_EQ(p.mode, PaceMode::Vsync);
  } else {
    EXPECT_EQ(switched, 1);
    EXPECT_EQ(p.mode, PaceMode::Timer);
    // Found at the first check, after the warm-up frames.
    EXPECT_EQ(switched_at_frame, PACER_WARMUP_FRAMES + PACER_CHECK_FRAMES - 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Displays, PacerVsync,
                         ::testing::Values(VsyncCase{"exactly_60_hz", 16666667, true},
                                           VsyncCase{"ntsc_59_94_hz", 16683350, true},
                                           VsyncCase{"simulated_vsync_16_ms", 16000000, false},
                                           VsyncCase{"monitor_75_hz", 13333333, false},
                                           VsyncCase{"monitor_144_hz", 6944444, false},
                                           VsyncCase{"present_stopped_waiting", 0, false},
                                           VsyncCase{"display_50_hz", 20000000, false}),
                         [](const ::testing::TestParamInfo<VsyncCase>& p) { return std::string(p.param.name); });

TEST(PacerWait, NeverReturnsBeforeTheDeadline) {
  for (int64_t wait : {0 * MS, MS / 2, 2 * MS, 5 * MS}) {
    const int64_t deadline = pacer_now_ns() + wait;
    pacer_wait_until(deadline);
    EXPECT_GE(pacer_now_ns(), deadline) << "wait " << wait;
  }
}

}  // namespace
