// Frame pacing: the game advances 60 frames per second whatever the display does.
// When Present really waits for a 60 Hz retrace the pacer finds every frame on time and
// never waits; when Present returns at once (a display without vsync, or a faster one) it
// holds each frame back until its slot. Kept free of platform calls so it can be checked
// anywhere; the host feeds it microseconds from its precise clock.
#pragma once
#include <cstdint>

constexpr int64_t PACER_RATE = 60;              // frames per second
constexpr int64_t PACER_SECOND_US = 1'000'000;  // clock units per second
constexpr int64_t PACER_RESYNC_FRAMES = 3;      // this far behind: start a new schedule

struct FramePacer {
  int64_t base_us;  // time of frame 0 of the current schedule
  int64_t frame;    // frames since base_us
  uint8_t started;
};

// Call once per loop iteration, after the frame has been presented, with the current time.
// Returns how many microseconds to wait before the next frame may start (0 = go on now).
// Slots are computed from the schedule's start, so waits never accumulate rounding drift;
// a long stall (window dragged, debugger) starts a new schedule instead of racing to catch up.
constexpr int64_t pacer_next_wait(FramePacer& p, int64_t now_us) {
  if (!p.started) {
    p.started = 1;
    p.base_us = now_us;
    p.frame = 0;
    return 0;
  }
  p.frame += 1;
  const int64_t due = p.base_us + p.frame * PACER_SECOND_US / PACER_RATE;
  if (now_us >= due) {
    if (now_us - due > PACER_RESYNC_FRAMES * PACER_SECOND_US / PACER_RATE) {
      p.base_us = now_us;
      p.frame = 0;
    }
    return 0;
  }
  return due - now_us;
}
