#include "host/frame_schedule.h"

#include "host/log_lines.h"
#include "pack/log.h"

namespace {

int64_t frame_time_ns(int64_t n) { return n / PACER_RATE * PACER_NS_PER_S + n % PACER_RATE * PACER_NS_PER_S / PACER_RATE; }

// A timer run starts afresh at now_ns: the frames whose time had come by then and that did not
// run (or are not running now) are given up.
void restart_after_stall(Pacer* p, int64_t now_ns) {
  const int64_t slots = ((now_ns - p->base_ns) * PACER_RATE + PACER_NS_PER_S / 2) / PACER_NS_PER_S;
  if (slots > p->frames) p->given_up += slots - p->frames;
  p->base_ns = now_ns;
  p->frames = 0;
  p->rebases++;
}

}  // namespace

void pacer_start(Pacer* p, PaceMode mode, int64_t now_ns) {
  p->mode = mode;
  p->base_ns = now_ns;
  p->last_ns = 0;
  p->frames = 0;
  p->check_start_ns = now_ns;
  p->check_frames = 0;
  p->warmup = 0;
}

int64_t pacer_deadline(const Pacer* p) {
  if (p->mode == PaceMode::Vsync) return p->last_ns == 0 ? 0 : p->last_ns + PACER_VSYNC_FLOOR_NS;
  return p->base_ns + frame_time_ns(p->frames);
}

int pacer_presented(Pacer* p, int64_t now_ns) {
  p->last_ns = now_ns;
  if (p->shown++ == 0) p->first_shown_ns = now_ns;
  p->last_shown_ns = now_ns;
  if (p->mode == PaceMode::Timer) {
    p->frames++;
    if (now_ns - pacer_deadline(p) > PACER_MAX_LAG_FRAMES * PACER_NS_PER_S / PACER_RATE) {
      // A long stall (the window was dragged, the machine was suspended): do not race to catch up.
      restart_after_stall(p, now_ns);
    }
    return 0;
  }
  if (p->warmup < PACER_WARMUP_FRAMES) {
    p->warmup++;
    p->check_start_ns = now_ns;
    p->check_frames = 0;
    return 0;
  }
  p->check_frames++;
  if (p->check_frames < PACER_CHECK_FRAMES) return 0;
  const int64_t elapsed = now_ns - p->check_start_ns;
  const int64_t expected = frame_time_ns(p->check_frames);
  const int64_t diff = elapsed > expected ? elapsed - expected : expected - elapsed;
  if (diff * 1000000 > expected * PACER_TOLERANCE_PPM) {
    p->mode = PaceMode::Timer;
    p->base_ns = now_ns;
    p->frames = 0;
    return 1;
  }
  p->check_start_ns = now_ns;
  p->check_frames = 0;
  return 0;
}

int pacer_frames_due(Pacer* p, int64_t now_ns, int64_t early_ns) {
  const int64_t horizon = now_ns + early_ns;
  int due = 0;
  while (due <= PACER_MAX_BURST && p->base_ns + frame_time_ns(p->frames + due) <= horizon) due++;
  if (due > PACER_MAX_BURST) {
    // Further behind than one burst makes up: this wake-up runs one frame and the schedule
    // goes on from here.
    restart_after_stall(p, now_ns);
    p->frames = 1;
    p->last_ns = now_ns;
    return 1;
  }
  p->frames += due;
  if (due > 0) p->last_ns = now_ns;
  return due;
}

void pacer_log_summary(const Pacer* p) {
  putlog(putlog_source(), LOG_LINE_FRAMES, "Presented %llu frames in %lld ms (%lld given up after %u stalls).",
         static_cast<unsigned long long>(p->shown),
         static_cast<long long>((p->last_shown_ns - p->first_shown_ns) / 1000000),
         static_cast<long long>(p->given_up), p->rebases);
}
