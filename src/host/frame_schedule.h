// The frame schedule: the game advances 60 frames per second of wall time on any display.
#pragma once
#include <cstdint>

constexpr int64_t PACER_RATE = 60;                      // game frames per second
constexpr int64_t PACER_NS_PER_S = 1000000000;
constexpr int64_t PACER_MAX_LAG_FRAMES = 6;             // later than this: start counting afresh
constexpr int64_t PACER_MAX_BURST = 2;                  // most frames one display callback runs
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
  int64_t given_up;    // frames whose time passed during those stalls and that never ran
  uint64_t shown;      // frames presented (pacer_presented) in all runs
  int64_t first_shown_ns, last_shown_ns;  // when the first and the latest of them were
};

// Starts a run at now_ns. The counts of stalls (rebases, given_up) and of frames shown go on
// across runs: they cover everything since the Pacer was zeroed.
void pacer_start(Pacer* p, PaceMode mode, int64_t now_ns);

// The moment the next frame is to be shown; 0 when it may be shown at once.
int64_t pacer_deadline(const Pacer* p);

// Records that a frame was presented at now_ns. Returns 1 when the pacer has just left vsync
// mode (the caller then turns the display's vsync off), else 0.
int pacer_presented(Pacer* p, int64_t now_ns);

// For a host that the display wakes at its own rate (a browser's animation callback), in timer
// mode: how many game frames to run now, advancing the schedule by as many. A frame whose time
// is less than early_ns away counts as due (pass about half the display's refresh interval, so
// a wake-up a hair early does not put the frame off to the next one). At most PACER_MAX_BURST
// frames are run at once; a host that fell further behind (a stall, a hidden page) starts the
// schedule afresh from now rather than racing through the frames it missed.
int pacer_frames_due(Pacer* p, int64_t now_ns, int64_t early_ns);

// The run's pacing line in the log, as every desktop host ends with it: the frames given up
// after stalls (a busy machine, a dragged window) and those shown account for the time between
// the first picture and the last, whatever the machine's load.
void pacer_log_summary(const Pacer* p);
