// The sound thread: mixes the game's sound a device period at a time, just before the audio
// device needs it.
#pragma once
#include <cstdint>

#include "host/sound_ring.h"
#include "host/sound_thread.h"

constexpr uint16_t AUDIO_DEVICE_SAMPLES = SOUND_PERIOD_SAMPLES;  // per device callback, about 11.6 ms

// Opens the default audio device and starts the sound thread, which takes its sound from `mix`.
// Without an audio device the thread still runs, mixing 100 ms chunks at their pace, and the
// output is dropped: the game plays silently and the log says so once (the audio library's own
// complaints are kept off the terminal). Returns 0 when the thread runs, -1 when it could not
// be started (logged; the game then runs without sound too).
int audio_init(MixFunction mix);

// Stops the sound thread (at once), then closes the device. Safe to call at any time and more
// than once.
void audio_term();

// Pausing stops the sound at once (the device plays silence and nothing more is mixed);
// resuming goes on from where it stopped.
void audio_pause(bool paused);

// The sound thread's state (host/sound_thread.h).
uint8_t audio_state();
// 1 when the sound goes to a real audio device.
int audio_has_device();
// Bytes of silence the device had to play because no sound was ready (0 in a healthy run).
uint32_t audio_underrun_bytes();

// Called on the device's thread with every period handed to the device and the time it was
// handed over (monotonic ns). Null in the game; measurements set it.
extern void (*audio_device_hook)(const uint8_t* bytes, int32_t length, int64_t now_ns);
