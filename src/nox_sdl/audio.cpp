#include "nox_sdl/audio.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>

#include "game/core.h"
#include "host/clock.h"
#include "nox_sdl/host.h"
#include "pack/log.h"

void (*audio_device_hook)(const uint8_t* bytes, int32_t length, int64_t now_ns) = nullptr;

namespace {

constexpr int64_t CHUNK_NS = 100000000;  // one chunk is 100 ms of sound

SoundThread sound;
SDL_Thread* sound_thread = nullptr;
SDL_AudioDeviceID device = 0;
SDL_sem* wake = nullptr;  // posted when the device has used up a period, and by a stop request
bool audio_subsystem = false;
MixFunction mixer = nullptr;
std::atomic<bool> paused{false};
std::atomic<bool> device_started{false};  // the first chunk has reached the device

// The ring between the thread and the device's callback.
SoundRing ring;
uint32_t period_bytes = 0;              // what the device takes per callback
bool device_thread_raised = false;      // set by the device's thread on its first call
uint8_t silent_chunk[NOX_CHUNK_BYTES];  // where the chunks go without a device
int64_t next_ns = 0;                    // when the next chunk is due without a device

// Woken late, the sound thread would leave the device short, and on a busy machine an ordinary
// thread can wait tens of milliseconds for a core. Where the system allows, the sound thread and
// the device's thread take real-time scheduling (each runs for microseconds at a time, then
// waits). False where it is not allowed.
bool take_real_time() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_RR) + 9;
  return pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
}

void SDLCALL device_callback(void*, Uint8* stream, int len) {
  if (!device_thread_raised) {
    device_thread_raised = true;
    take_real_time();
  }
  sound_ring_take(&ring, stream, static_cast<uint32_t>(len));
  if (sound_ring_needs_piece(&ring, period_bytes)) SDL_SemPost(wake);
  if (audio_device_hook != nullptr) audio_device_hook(stream, len, host_now_ns());
}

// The sound thread starts before ordinary work, where it may.
bool raise_thread() {
  if (!take_real_time()) SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
  next_ns = host_now_ns();
  return true;
}

// One step of the running thread: mixes the next period when the device has taken the one
// before (down to its reserve), else sleeps until the device or a stop request wakes it.
void sound_step() {
  if (paused.load()) {
    // Nothing is mixed, so the effects go on from where they were when the game resumes (which
    // wakes the thread; a stop request is seen within 100 ms).
    SDL_SemWaitTimeout(wake, 100);
    next_ns = host_now_ns();
    return;
  }
  if (device != 0) {
    if (sound_ring_needs_piece(&ring, period_bytes)) {
      sound_ring_mix(&ring, mixer, period_bytes);
      // The device starts once a period is ready, so it never begins short.
      if (!device_started.load() && !sound_ring_needs_piece(&ring, period_bytes)) {
        device_started.store(true);
        if (!paused.load()) SDL_PauseAudioDevice(device, 0);
      }
      return;
    }
    SDL_SemWait(wake);
    return;
  }
  // No device: keep the mixer's pace so effects start and end as they would be heard.
  const int64_t now = host_now_ns();
  if (now >= next_ns) {
    mixer(silent_chunk, NOX_CHUNK_BYTES);
    next_ns += CHUNK_NS;
    if (now - next_ns > 10 * CHUNK_NS) next_ns = now + CHUNK_NS;
    return;
  }
  SDL_SemWaitTimeout(wake, static_cast<Uint32>((next_ns - now + 999999) / 1000000));
}

int SDLCALL sound_main(void*) {
  sound_thread_run(&sound, raise_thread, [] { sound_step(); return true; }, nullptr);
  return 0;
}

void post_wake() { SDL_SemPost(wake); }

void silent_alsa_error(const char*, int, const char*, int, const char*, ...) {}

// ALSA reports every step of a failed device search on standard error, a screenful on a
// machine without a sound card; the log's one line says what matters. The library stays
// loaded (SDL uses it anyway), so the quiet handler stays in place.
void quiet_alsa() {
  using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (alsa == nullptr) return;
  auto set_handler = reinterpret_cast<int (*)(ErrorHandler)>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (set_handler != nullptr) set_handler(silent_alsa_error);
}

void open_device() {
  quiet_alsa();
  SDL_AudioSpec want{};
  SDL_AudioSpec have{};
  want.freq = SOUND_RATE;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = AUDIO_DEVICE_SAMPLES;
  want.callback = device_callback;
  audio_subsystem = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  // No changes allowed: SDL converts to whatever the device really takes.
  if (audio_subsystem) device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    putlog(putlog_source(), LOG_LINE_NO_SOUND_DEVICE, "No sound device (%s): the game runs without sound.",
           SDL_GetError());
    return;
  }
  period_bytes = std::min<uint32_t>(have.size, NOX_CHUNK_BYTES);
}

}  // namespace

int audio_init(MixFunction mix) {
  mixer = mix;
  paused.store(false);
  device_started.store(false);
  sound_ring_reset(&ring);
  device_thread_raised = false;
  open_device();
  wake = SDL_CreateSemaphore(0);
  if (wake == nullptr) {
    putlog(putlog_source(), LOG_LINE_SOUND_EVENT_FAILED, "SDL_CreateSemaphore failed: %s", SDL_GetError());
    audio_term();
    return -1;
  }
  sound_thread_prepare(&sound);
  sound_thread = SDL_CreateThreadWithStackSize(sound_main, "sound", 65536, nullptr);
  if (sound_thread == nullptr) {
    putlog(putlog_source(), LOG_LINE_SOUND_THREAD_FAILED, "SDL_CreateThread failed: %s", SDL_GetError());
    audio_term();
    return -1;
  }
  if (!sound_thread_started(&sound)) {
    audio_term();
    return -1;
  }
  return 0;
}

void audio_term() {
  // The device stops taking sound first, so the ring running dry behind the stopped thread
  // is not counted as an underrun.
  if (device != 0) SDL_PauseAudioDevice(device, 1);
  if (sound_thread != nullptr) {
    sound_thread_stop(&sound, post_wake);
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

uint8_t audio_state() { return sound.state.load(); }
int audio_has_device() { return device != 0 ? 1 : 0; }
uint32_t audio_underrun_bytes() { return ring.underrun_bytes.load(); }
