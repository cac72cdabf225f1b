// The sound thread: one 100 ms chunk from the mixer at a time, carried to the audio device.
#pragma once
#include <cstdint>

#include "host/sound_ring.h"

constexpr uint16_t AUDIO_DEVICE_SAMPLES = 256;  // per device callback, about 12 ms

// Sound-thread states.
constexpr uint8_t SOUND_NOT_RUNNING = 0;
constexpr uint8_t SOUND_RUNNING = 1;
constexpr uint8_t SOUND_STOP_REQUESTED = 254;
constexpr uint8_t SOUND_STOPPED = 255;

// Opens the default audio device and starts the sound thread, which takes its chunks from `mix`.
// Without an audio device the thread still runs, paced by a timer, and the output is dropped:
// the game plays silently and the log says so once. Returns 0 when the thread runs, -1 when it
// could not be started (logged; the game then runs without sound too).
int audio_init(MixFunction mix);

// Stops the sound thread (within a few milliseconds), then closes the device. Safe to call at
// any time and more than once.
void audio_term();

// Pausing stops the sound at once (the device plays silence and nothing more is mixed);
// resuming goes on from where it stopped.
void audio_pause(bool paused);

uint8_t audio_state();
// 1 when the chunks go to a real audio device.
int audio_has_device();
// Bytes of silence the device had to play because no chunk was ready (0 in a healthy run).
uint32_t audio_underrun_bytes();
