// The ring between the game's mixer and an audio device: the mixer's output (16-bit mono,
// 22,050 Hz) goes in in pieces of the host's choosing, the device takes out whatever its own
// period needs. One producer and one consumer, which may be different threads.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/sound.h"

using MixFunction = void (*)(uint8_t* buffer, int32_t length);

constexpr int32_t SOUND_RATE = 22050;          // samples per second, 16-bit mono
constexpr uint32_t SOUND_RING_BYTES = 32768;   // about 740 ms

struct SoundRing {
  uint8_t bytes[SOUND_RING_BYTES];
  uint8_t piece[NOX_CHUNK_BYTES];        // the producer's mixing buffer
  std::atomic<uint64_t> written;         // bytes ever put in
  std::atomic<uint64_t> read;            // bytes ever taken out
  std::atomic<uint32_t> underrun_bytes;  // silence handed out after sound had started
};

void sound_ring_reset(SoundRing* r);

// Bytes waiting to be taken, and room for more.
uint32_t sound_ring_fill(const SoundRing* r);
uint32_t sound_ring_space(const SoundRing* r);

// Producer: mixes the next `bytes` of output (at most NOX_CHUNK_BYTES and the ring's space)
// with one call of `mix` and puts them in. Returns the bytes put in.
uint32_t sound_ring_mix(SoundRing* r, MixFunction mix, uint32_t bytes);

// Consumer: fills out[0..n) with waiting bytes, silence where none wait; silence handed out
// once sound has started counts as an underrun. Returns the bytes of real sound taken.
uint32_t sound_ring_take(SoundRing* r, uint8_t* out, uint32_t n);
