#include "nox_sdl/audio.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/sound.h"
#include "host/clock.h"
#include "nox_sdl/host.h"
#include "pack/log.h"

namespace {

constexpr int64_t CHUNK_NS = 100000000;  // one chunk is 100 ms of sound

std::atomic<uint8_t> sound_state{SOUND_NOT_RUNNING};
std::atomic<uint8_t> thread_alive{0};
SDL_Thread* sound_thread = nullptr;
SDL_AudioDeviceID device = 0;
SDL_sem* wake = nullptr;
bool audio_subsystem = false;
MixFunction mixer = nullptr;
std::atomic<bool> paused{false};
std::atomic<bool> device_started{false};  // the first chunk has reached the device

// The ring between the thread and the device's callback.
SoundRing ring;
uint32_t low_water = 0;  // the thread mixes the next chunk once no more than this is left
uint8_t silent_chunk[NOX_CHUNK_BYTES];  // where the chunks go without a device

void SDLCALL device_callback(void*, Uint8* stream, int len) {
  sound_ring_take(&ring, stream, static_cast<uint32_t>(len));
  if (sound_ring_fill(&ring) <= low_water) SDL_SemPost(wake);
}

// One step of the running thread: mixes a chunk when the output needs one, else waits a little
// (never more than 10 ms, so a stop request is seen at once).
void sound_step(bool* started, int64_t* next_ns) {
  if (paused.load()) {
    // Nothing is mixed, so the effects go on from where they were when the game resumes (which
    // wakes the thread; a stop request is seen within 100 ms).
    SDL_SemWaitTimeout(wake, 100);
    *next_ns = host_now_ns();
    return;
  }
  if (device != 0) {
    if (sound_ring_fill(&ring) <= low_water) {
      sound_ring_mix(&ring, mixer, NOX_CHUNK_BYTES);
      if (!*started) {
        *started = true;
        device_started.store(true);
        if (!paused.load()) SDL_PauseAudioDevice(device, 0);
      }
      return;
    }
    SDL_SemWaitTimeout(wake, 10);
    return;
  }
  // No device: keep the mixer's pace so effects start and end as they would be heard.
  const int64_t now = host_now_ns();
  if (now >= *next_ns) {
    mixer(silent_chunk, NOX_CHUNK_BYTES);
    *next_ns += CHUNK_NS;
    if (now - *next_ns > 10 * CHUNK_NS) *next_ns = now + CHUNK_NS;
    return;
  }
  SDL_Delay(static_cast<Uint32>(std::min<int64_t>(10, (*next_ns - now) / 1000000 + 1)));
}

int SDLCALL sound_main(void*) {
  putlog(putlog_source(), LOG_LINE_SOUND_STARTED, "Sound-thread has started.");
  sound_state.store(SOUND_RUNNING);
  bool started = false;
  int64_t next_ns = host_now_ns();
  for (;;) {
    while (sound_state.load() == SOUND_RUNNING) sound_step(&started, &next_ns);
    if (sound_state.load() == SOUND_STOP_REQUESTED) {
      putlog(putlog_source(), LOG_LINE_SOUND_STOPS, "Sound-thread will now stop.");
      sound_state.store(SOUND_STOPPED);
      break;
    }
    sound_state.store(SOUND_RUNNING);
  }
  thread_alive.store(0);
  return 0;
}

// Polls for a state value every 10 ms; gives up when the thread has ended without reaching it.
bool wait_state(uint8_t wanted) {
  for (;;) {
    if (sound_state.load() == wanted) return true;
    SDL_Delay(10);
    if (thread_alive.load() == 0) return sound_state.load() == wanted;
  }
}

void open_device() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    putlog(putlog_source(), LOG_LINE_NO_SOUND_DEVICE, "No sound device (%s): the game runs without sound.",
           SDL_GetError());
    return;
  }
  audio_subsystem = true;
  SDL_AudioSpec want{};
  SDL_AudioSpec have{};
  want.freq = SOUND_RATE;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = AUDIO_DEVICE_SAMPLES;
  want.callback = device_callback;
  // No changes allowed: SDL converts to whatever the device really takes.
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    putlog(putlog_source(), LOG_LINE_NO_SOUND_DEVICE, "No sound device (%s): the game runs without sound.",
           SDL_GetError());
    return;
  }
  // Two device periods in reserve: enough to ride out a late wake-up, short enough that an
  // effect is heard well within 200 ms of being requested.
  low_water = std::min<uint32_t>(2 * have.size, SOUND_RING_BYTES - NOX_CHUNK_BYTES);
}

}  // namespace

int audio_init(MixFunction mix) {
  mixer = mix;
  paused.store(false);
  device_started.store(false);
  sound_state.store(SOUND_NOT_RUNNING);
  sound_ring_reset(&ring);
  open_device();
  wake = SDL_CreateSemaphore(0);
  if (wake == nullptr) {
    putlog(putlog_source(), LOG_LINE_SOUND_EVENT_FAILED, "SDL_CreateSemaphore failed: %s", SDL_GetError());
    audio_term();
    return -1;
  }
  thread_alive.store(1);
  sound_thread = SDL_CreateThreadWithStackSize(sound_main, "sound", 65536, nullptr);
  if (sound_thread == nullptr) {
    thread_alive.store(0);
    putlog(putlog_source(), LOG_LINE_SOUND_THREAD_FAILED, "SDL_CreateThread failed: %s", SDL_GetError());
    audio_term();
    return -1;
  }
  if (!wait_state(SOUND_RUNNING)) {
    putlog(putlog_source(), LOG_LINE_SOUND_DOWN, "Sound-thread has down.");
    audio_term();
    return -1;
  }
  return 0;
}

void audio_term() {
  if (sound_thread != nullptr) {
    if (wait_state(SOUND_RUNNING)) {
      sound_state.store(SOUND_STOP_REQUESTED);
      wait_state(SOUND_STOPPED);
    }
    SDL_WaitThread(sound_thread, nullptr);
    sound_thread = nullptr;
  }
  if (device != 0) {
    SDL_CloseAudioDevice(device);
    device = 0;
  }
  if (wake != nullptr) {
    SDL_DestroySemaphore(wake);
    wake = nullptr;
  }
  if (audio_subsystem) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio_subsystem = false;
  }
}

void audio_pause(bool on) {
  paused.store(on);
  if (device != 0 && device_started.load()) SDL_PauseAudioDevice(device, on ? 1 : 0);
  if (!on && wake != nullptr) SDL_SemPost(wake);
}

uint8_t audio_state() { return sound_state.load(); }
int audio_has_device() { return device != 0 ? 1 : 0; }
uint32_t audio_underrun_bytes() { return ring.underrun_bytes.load(); }
