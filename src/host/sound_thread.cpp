#include "host/sound_thread.h"

#include "host/clock.h"
#include "host/log_lines.h"
#include "pack/log.h"

namespace {
// Looks for the state `wanted` every millisecond (only while starting and stopping); false when
// the thread has ended without reaching it.
bool sound_thread_wait(SoundThread* t, uint8_t wanted) {
  for (;;) {
    if (t->state.load() == wanted) return true;
    host_sleep_until_ns(host_now_ns() + 1000000);
    if (!t->alive.load()) return t->state.load() == wanted;
  }
}
}  // namespace

void sound_thread_prepare(SoundThread* t) {
  t->state.store(SOUND_NOT_RUNNING);
  t->alive.store(true);
}

void sound_thread_run(SoundThread* t, bool (*begin)(), bool (*step)(), void (*halt)()) {
  putlog(putlog_source(), LOG_LINE_SOUND_STARTED, "Sound-thread has started.");
  t->state.store(SOUND_RUNNING);
  bool ok = begin();
  while (ok && t->state.load() == SOUND_RUNNING) ok = step();
  if (halt != nullptr) halt();
  if (ok) {
    putlog(putlog_source(), LOG_LINE_SOUND_STOPS, "Sound-thread will now stop.");
    t->state.store(SOUND_STOPPED);
  }
  t->alive.store(false);
}

bool sound_thread_started(SoundThread* t) {
  if (sound_thread_wait(t, SOUND_RUNNING)) return true;
  putlog(putlog_source(), LOG_LINE_SOUND_DOWN, "Sound-thread has down.");
  return false;
}

bool sound_thread_stop(SoundThread* t, void (*wake)()) {
  if (!sound_thread_wait(t, SOUND_RUNNING)) return false;
  t->state.store(SOUND_STOP_REQUESTED);
  if (wake != nullptr) wake();
  return sound_thread_wait(t, SOUND_STOPPED);
}
