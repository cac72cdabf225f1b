#include "nox_w/pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

constexpr int64_t kSecond = 1'000'000;

// Runs `frames` loop iterations: each frame's own work takes work_us, then the pacer's wait is
// honoured exactly. Returns the time at which the last frame was presented, from time 0.
int64_t run_frames(FramePacer& p, int frames, int64_t work_us, int64_t start_us = 0) {
  int64_t now = start_us;
  for (int i = 0; i < frames; ++i) {
    now += work_us;
    now += pacer_next_wait(p, now);
  }
  return now;
}

struct PaceCase {
  const char* name;
  int64_t work_us;  // time from one frame's start to its presentation
};

class PacerRate : public ::testing::TestWithParam<PaceCase> {};

// Whatever a frame costs (below one frame time), 601 presented frames span exactly ten seconds,
// and the schedule does not drift by rounding 16,666.67 microseconds per frame.
TEST_P(PacerRate, SixtyFramesPerSecondWithoutDrift) {
  FramePacer p{};
  const int64_t first = run_frames(p, 1, GetParam().work_us);
  const int64_t last = run_frames(p, 600, GetParam().work_us, first);
  EXPECT_EQ(last - first, 10 * kSecond);
}

std::string case_name(const ::testing::TestParamInfo<PaceCase>& c) { return c.param.name; }

INSTANTIATE_TEST_SUITE_P(FrameCosts, PacerRate,
                         ::testing::Values(PaceCase{"present_returns_at_once", 0}, PaceCase{"light", 900},
                                           PaceCase{"heavy", 12'000}, PaceCase{"just_fits", 16'666}),
                         case_name);

// A display that really waits for a 60 Hz retrace already paces the loop; the pacer must not
// add waits of its own, or frames would miss their retrace.
TEST(Pacer, AddsNothingWhenPresentWaitsForA60HzRetrace) {
  FramePacer p{};
  int64_t total_wait = 0;
  for (int64_t k = 0; k < 600; ++k) {
    const int64_t retrace = 123'456 + k * kSecond / 60;
    total_wait += pacer_next_wait(p, retrace);
  }
  EXPECT_LE(total_wait, 600);  // at most a microsecond of rounding per frame
}

// One slow frame is made up by the frames after it: a second still holds 60 frames.
TEST(Pacer, CatchesUpAfterOneSlowFrame) {
  FramePacer p{};
  int64_t now = run_frames(p, 10, 1000);
  const int64_t start = now;
  now += 40'000;  // one frame takes 40 ms
  now += pacer_next_wait(p, now);
  now = run_frames(p, 59, 1000, now);
  EXPECT_EQ(now - start, kSecond);
}

// After a long stall (the window dragged, the machine busy) the game goes on at its normal pace
// instead of racing through the frames it missed.
TEST(Pacer, StartsANewScheduleAfterAStall) {
  FramePacer p{};
  int64_t now = run_frames(p, 30, 1000);
  now += 2 * kSecond;
  EXPECT_EQ(pacer_next_wait(p, now), 0);
  int64_t shortest = kSecond;
  for (int i = 0; i < 30; ++i) {
    now += 1000;
    const int64_t wait = pacer_next_wait(p, now);
    shortest = std::min(shortest, wait);
    now += wait;
  }
  EXPECT_GE(shortest, 15'000);
}

// Small lateness (under a few frames) keeps the schedule, so no frame is lost for good.
TEST(Pacer, KeepsTheScheduleThroughShortLateness) {
  FramePacer p{};
  int64_t now = run_frames(p, 5, 0);
  const int64_t base = now - 4 * kSecond / 60;
  now += 3 * kSecond / 60 - 1000;  // late by almost three frames
  EXPECT_EQ(pacer_next_wait(p, now), 0);
  EXPECT_EQ(p.base_us, base);
}

}  // namespace
