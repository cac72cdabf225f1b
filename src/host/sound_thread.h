// The life of a desktop host's sound thread, told by one state byte that the thread and the
// main thread share, and logged in the same words on every host ("Sound-thread has started.",
// "Sound-thread will now stop.", "Sound-thread has down."). The host makes the thread its own
// way and runs sound_thread_run in it.
#pragma once
#include <atomic>
#include <cstdint>

constexpr uint8_t SOUND_NOT_RUNNING = 0;
constexpr uint8_t SOUND_RUNNING = 1;
constexpr uint8_t SOUND_STOP_REQUESTED = 254;
constexpr uint8_t SOUND_STOPPED = 255;

struct SoundThread {
  std::atomic<uint8_t> state{SOUND_NOT_RUNNING};
  std::atomic<bool> alive{false};  // set before the thread is made, cleared as it ends
};

// Before the thread is made: not running yet, alive.
void sound_thread_prepare(SoundThread* t);

// The thread's body: logs that it has started, is running, calls begin() once and then step()
// over and over until a stop is requested or one of them fails (returns false). Then halt()
// (when given) silences the device; after a stop request the thread logs that it stops and is
// stopped, after a failure it just ends.
void sound_thread_run(SoundThread* t, bool (*begin)(), bool (*step)(), void (*halt)());

// After the thread is made: waits until it runs. False, logged, when it ended first.
bool sound_thread_started(SoundThread* t);

// Asks the thread to stop once it runs, calls wake() (when given) so that it notices at once,
// and waits until it has stopped. False when it ended without stopping.
bool sound_thread_stop(SoundThread* t, void (*wake)());
