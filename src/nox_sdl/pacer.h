// Frame pacing: the game advances 60 frames per second of wall time on any display.
#pragma once
#include <cstdint>

constexpr int64_t PACER_RATE = 60;                      // game frames per second
constexpr int64_t PACER_NS_PER_S = 1000000000;
constexpr int64_t PACER_MAX_LAG_FRAMES = 6;             // later than this: start counting afresh
constexpr int64_t PACER_CHECK_FRAMES = 120;             // frames per check of a vsync display
constexpr int64_t PACER_WARMUP_FRAMES = 10;             // first vsync frames not measured
constexpr int64_t PACER_TOLERANCE_PPM = 15000;          // vsync must stay within 1.5 % of 60 Hz
constexpr int64_t PACER_VSYNC_FLOOR_NS = 14000000;      // never faster than about 71 Hz, even while
                                                        // a vsync that stopped waiting is found out

enum class PaceMode : uint8_t { Timer, Vsync };

// Timer mode: frame n of the current run is presented at base_ns + n / 60 s (exact integer
// arithmetic, so there is no drift); a frame that comes late is shown at once and the following
// ones catch up, unless it is so late that the run starts again from now.
// Vsync mode: the display's refresh paces presentation; the measured rate is checked every
// PACER_CHECK_FRAMES frames and the pacer falls back to the timer when it is not 60 Hz. Until
// then a frame is never shown sooner than PACER_VSYNC_FLOOR_NS after the one before (a hidden
// window's present may stop waiting for the display at all).
struct Pacer {
  PaceMode mode;
  int64_t base_ns;     // start of the current timer run
  int64_t last_ns;     // latest presentation (0 before the first)
  int64_t frames;      // frames presented in the current timer run
  int64_t check_start_ns;
  int64_t check_frames;
  int64_t warmup;
  uint32_t rebases;    // timer runs restarted after a stall
};

void pacer_start(Pacer* p, PaceMode mode, int64_t now_ns);

// The moment the next frame is to be shown; 0 when it may be shown at once.
int64_t pacer_deadline(const Pacer* p);

// Records that a frame was presented at now_ns. Returns 1 when the pacer has just left vsync
// mode (the caller then turns the display's vsync off), else 0.
int pacer_presented(Pacer* p, int64_t now_ns);

// The monotonic clock in nanoseconds.
int64_t pacer_now_ns();

// Sleeps until deadline_ns: most of the wait in the kernel, the last fraction spinning.
void pacer_wait_until(int64_t deadline_ns);
